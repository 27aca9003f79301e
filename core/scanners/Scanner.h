#pragma once

#include "model/DuplicateGroup.h"
#include "model/ModelSource.h"
#include "model/ScanResult.h"
#include "model/SourceScan.h"
#include "scanners/ScanRequest.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

class QThreadPool;

// A full scan: every source scanner, the merge, unique ids and duplicate marks.
namespace Scanner {

// Probes for a running Ollama server once, runs the source scanners side by side on a
// pool of the call's own, merges them in source order, then runs the loose scanner over what
// they did not claim (when includeLoose), makes ids unique and marks confirmed duplicates.
// Blocks until all of it is done and never fails. The stop is looked at between these steps
// and within them (per folder walked, per file and block hashed): a stopped scan gives nothing
// and writes nothing. Last, the entries in use now are marked (see UsageMarks).
[[nodiscard]] std::optional<ScanResult> scanAll(const ScanRequest& request);

// One source scanner to run, with the source whose label names it in its errors.
struct SourceJob
{
    ModelSource source;
    std::function<SourceScan()> scan;
};

// Runs all jobs at the same time on the pool (growing it to one thread per job) and returns
// their results with job i's in slot i, whatever order they finish in. A job that throws leaves
// its slot with one error, "Could not scan {label}: {reason}" (a BrimvaleError: its message).
// Each job's walks count into the progress and obey the stop; jobs not yet started when the
// stop is requested do not run (their slots stay empty).
[[nodiscard]] QList<SourceScan> runSideBySide(const QList<SourceJob>& jobs, QThreadPool& pool,
                                              ScanProgress* progress = nullptr,
                                              const StopToken* stop = nullptr);

// Models and errors of the slots, slot after slot, each scanner's own order kept.
[[nodiscard]] SourceScan merge(const QList<SourceScan>& slotScans);

// Every path in allPaths of the entries: what the loose scanner leaves out.
[[nodiscard]] QSet<QString> claimedPaths(const QList<ModelEntry>& models);

// Control characters in the ids become "-" first. The first entry with an id keeps it; every
// repeat gets "~n", n counting up from its occurrence number and skipping ids that a scanner
// gave or that were already handed out, so the result is unique ([model, model, model~1] become
// model, model~2, model~1).
void makeIDsUnique(QList<ModelEntry>& models);

// Sets partialHash and isDuplicate of every entry (see DuplicateFinder), using the hash cache
// in the user's cache folder. Hashing runs on the pool when one is given. The confirmed sets of
// copies go to `groups` when given. False when stopped (no entry marked, the cache left as it
// was).
bool markDuplicates(QList<ModelEntry>& models, QThreadPool* pool = nullptr,
                    ScanProgress* progress = nullptr, const StopToken* stop = nullptr,
                    QList<DuplicateGroup>* groups = nullptr);

} // namespace Scanner

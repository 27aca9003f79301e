#include "scanners/Scanner.h"

#include "model/BrimvaleError.h"
#include "scanners/ClaimedPaths.h"
#include "scanners/CodingCacheScanner.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/CustomFolderScanner.h"
#include "scanners/DuplicateFinder.h"
#include "scanners/EntryIds.h"
#include "scanners/HashCache.h"
#include "scanners/HuggingFaceScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/LooseScanner.h"
#include "scanners/OllamaScanner.h"
#include "scanners/WhisperScanner.h"

#include <QHash>
#include <QThreadPool>
#include <algorithm>
#include <latch>
#include <mutex>

namespace Scanner {

ScanResult scanAll(bool includeLoose, const QStringList& customFolders, ScanProgress* progress)
{
    const bool ollamaRunning = OllamaScanner::isRunning();

    // The scanners' own pool: they wait for the walker's jobs, which run on the walker's threads.
    QThreadPool pool;
    const QList<SourceJob> jobs{
        [ollamaRunning] { return OllamaScanner::scan(ollamaRunning); },
        [] { return LMStudioScanner::scan(); },
        [] { return HuggingFaceScanner::scan(); },
        [] { return WhisperScanner::scan(); },
        [] { return ComfyUIScanner::scan(); },
        [] { return CodingCacheScanner::scan(); },
        [&customFolders] { return CustomFolderScanner::scan(customFolders); },
    };
    SourceScan merged = merge(runSideBySide(jobs, pool, progress));

    if (includeLoose) {
        const SourceScan loose = LooseScanner::scan(claimedPaths(merged.models));
        merged.models += loose.models;
        merged.errors += loose.errors;
    }
    ClaimedPaths::dropRepeats(merged.models);
    makeIDsUnique(merged.models);
    markDuplicates(merged.models, &pool, progress);

    ScanResult result;
    result.models = std::move(merged.models);
    result.errors = std::move(merged.errors);
    result.ollamaRunning = ollamaRunning;
    return result;
}

QList<SourceScan> runSideBySide(const QList<SourceJob>& jobs, QThreadPool& pool,
                                ScanProgress* progress)
{
    QList<SourceScan> slotScans(jobs.size());
    if (jobs.isEmpty())
        return slotScans;
    pool.setMaxThreadCount(std::max(pool.maxThreadCount(), static_cast<int>(jobs.size())));
    std::mutex slotsLock;
    std::latch done(static_cast<std::ptrdiff_t>(jobs.size()));
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        pool.start([&, i] {
            SourceScan scan;
            try {
                scan = jobs[i]();
            } catch (const BrimvaleError& error) {
                scan.errors.push_back(error.message());
            } catch (...) {
                // A scanner never fails the scan as a whole.
            }
            {
                const std::lock_guard lock(slotsLock);
                slotScans[i] = std::move(scan);
            }
            if (progress != nullptr)
                progress->scannersDone.fetch_add(1);
            done.count_down();
        });
    }
    done.wait();
    return slotScans;
}

SourceScan merge(const QList<SourceScan>& slotScans)
{
    SourceScan merged;
    for (const SourceScan& slot : slotScans) {
        merged.models += slot.models;
        merged.errors += slot.errors;
    }
    return merged;
}

QSet<QString> claimedPaths(const QList<ModelEntry>& models)
{
    QSet<QString> paths;
    for (const ModelEntry& entry : models) {
        for (const QString& path : entry.allPaths)
            paths.insert(path);
    }
    return paths;
}

void makeIDsUnique(QList<ModelEntry>& models)
{
    QSet<QString> reserved;
    for (ModelEntry& entry : models)
        reserved.insert(entry.id = EntryIds::withoutControlCharacters(entry.id));
    QSet<QString> given;
    QHash<QString, qint64> occurrences;
    QHash<QString, qint64> lastSuffix; // the highest n handed out per id, so repeats stay linear
    for (ModelEntry& entry : models) {
        const QString original = entry.id;
        const qint64 n = occurrences[original]++;
        if (n == 0) {
            given.insert(original);
            continue;
        }
        qint64 suffix = std::max(n, lastSuffix.value(original, 0) + 1);
        QString candidate = original + u'~' + QString::number(suffix);
        while (reserved.contains(candidate) || given.contains(candidate))
            candidate = original + u'~' + QString::number(++suffix);
        lastSuffix[original] = suffix;
        given.insert(candidate);
        entry.id = candidate;
    }
}

void markDuplicates(QList<ModelEntry>& models, QThreadPool* pool, ScanProgress* progress)
{
    DuplicateFinder finder(HashCache::defaultPath(), pool, progress);
    finder.run(models);
}

} // namespace Scanner

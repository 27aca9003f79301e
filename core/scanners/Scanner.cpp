#include "scanners/Scanner.h"

#include "fs/WalkScope.h"
#include "model/BrimvaleError.h"
#include "scanners/ClaimedPaths.h"
#include "scanners/CodingCacheScanner.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/CustomFolderScanner.h"
#include "scanners/DockerModelsScanner.h"
#include "scanners/DuplicateFinder.h"
#include "scanners/EntryIds.h"
#include "scanners/Gpt4AllScanner.h"
#include "scanners/HashCache.h"
#include "scanners/HiddenStores.h"
#include "scanners/HuggingFaceScanner.h"
#include "scanners/InvokeAiScanner.h"
#include "scanners/JanScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/LlamaCppScanner.h"
#include "scanners/LooseScanner.h"
#include "scanners/ModelScopeScanner.h"
#include "scanners/OllamaLoaded.h"
#include "scanners/OllamaScanner.h"
#include "scanners/PyTorchHubScanner.h"
#include "scanners/SdWebUiScanner.h"
#include "scanners/TextGenWebUiScanner.h"
#include "scanners/UsageMarks.h"
#include "scanners/WhisperScanner.h"

#include <QHash>
#include <QThreadPool>
#include <algorithm>
#include <exception>
#include <latch>
#include <mutex>

namespace Scanner {

namespace {

// The counter the walks of a scan add to, if its progress is watched.
std::atomic<qint64>* entriesCounter(ScanProgress* progress)
{
    return progress != nullptr ? &progress->entriesWalked : nullptr;
}

// The source scanners run side by side; the probe's answer is read when the jobs run.
QList<SourceJob> sourceJobs(const bool& ollamaRunning, const QStringList& customFolders)
{
    return {
        {ModelSource::ollama, [&ollamaRunning] { return OllamaScanner::scan(ollamaRunning); }},
        {ModelSource::lmStudio, [] { return LMStudioScanner::scan(); }},
        {ModelSource::huggingFace, [] { return HuggingFaceScanner::scan(); }},
        {ModelSource::whisper, [] { return WhisperScanner::scan(); }},
        {ModelSource::comfyUI, [] { return ComfyUIScanner::scan(); }},
        {ModelSource::codingCache, [] { return CodingCacheScanner::scan(); }},
        // Before the custom folders, whose files inside such a store give way to it.
        {ModelSource::huggingFace, [&customFolders] { return HiddenStores::scan(customFolders); }},
        {ModelSource::custom,
         [&customFolders] { return CustomFolderScanner::scan(customFolders); }},
        // The later sources, in source order: each gives way to the files listed above.
        {ModelSource::llamaCpp, [] { return LlamaCppScanner::scan(); }},
        {ModelSource::gpt4All, [] { return Gpt4AllScanner::scan(); }},
        {ModelSource::jan, [] { return JanScanner::scan(); }},
        {ModelSource::dockerModels, [] { return DockerModelsScanner::scan(); }},
        {ModelSource::pyTorchHub, [] { return PyTorchHubScanner::scan(); }},
        {ModelSource::sdWebUi, [] { return SdWebUiScanner::scan(); }},
        {ModelSource::invokeAi, [] { return InvokeAiScanner::scan(); }},
        {ModelSource::textGenWebUi, [] { return TextGenWebUiScanner::scan(); }},
        {ModelSource::modelScope, [] { return ModelScopeScanner::scan(); }},
    };
}

// Runs one job, turning what it throws into an error of its slot.
SourceScan runJob(const SourceJob& job)
{
    const auto failed = [&job](const QString& reason) {
        return SourceScan{{},
                          {QStringLiteral("Could not scan ") + job.source.englishLabel() +
                           QStringLiteral(": ") + reason}};
    };
    try {
        return job.scan();
    } catch (const BrimvaleError& error) {
        return SourceScan{{}, {error.message()}};
    } catch (const std::exception& error) {
        return failed(QString::fromUtf8(error.what()));
    } catch (...) {
        return failed(QStringLiteral("Unknown error"));
    }
}

} // namespace

std::optional<ScanResult> scanAll(const ScanRequest& request)
{
    ScanProgress* progress = request.progress;
    bool ollamaRunning = false;
    const QList<SourceJob> jobs = sourceJobs(ollamaRunning, request.folders);
    if (progress != nullptr)
        progress->sourcesTotal.store(jobs.size() + (request.includeLoose ? 1 : 0));
    ollamaRunning = OllamaScanner::isRunning();
    if (StopToken::requested(request.stop))
        return std::nullopt;

    // The scanners' own pool: they wait for the walker's jobs, which run on the walker's threads.
    QThreadPool pool;
    SourceScan merged = merge(runSideBySide(jobs, pool, progress, request.stop));
    if (StopToken::requested(request.stop))
        return std::nullopt;

    if (request.includeLoose) {
        const WalkScope scope(request.stop, entriesCounter(progress));
        const SourceScan loose = LooseScanner::scan(claimedPaths(merged.models));
        merged.models += loose.models;
        merged.errors += loose.errors;
        if (progress != nullptr)
            progress->sourcesDone.fetch_add(1);
        if (StopToken::requested(request.stop))
            return std::nullopt;
    }
    ClaimedPaths::dropRepeats(merged.models);
    makeIDsUnique(merged.models);
    ScanResult result;
    if (!markDuplicates(merged.models, &pool, progress, request.stop, &result.duplicateGroups))
        return std::nullopt;
    UsageMarks::apply(merged.models, ollamaRunning ? OllamaLoaded::models() : QStringList());

    result.models = std::move(merged.models);
    result.errors = std::move(merged.errors);
    result.ollamaRunning = ollamaRunning;
    return result;
}

QList<SourceScan> runSideBySide(const QList<SourceJob>& jobs, QThreadPool& pool,
                                ScanProgress* progress, const StopToken* stop)
{
    QList<SourceScan> slotScans(jobs.size());
    if (jobs.isEmpty())
        return slotScans;
    pool.setMaxThreadCount(std::max(pool.maxThreadCount(), static_cast<int>(jobs.size())));
    std::mutex slotsLock;
    std::latch done(static_cast<std::ptrdiff_t>(jobs.size()));
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        pool.start([&, i] {
            if (!StopToken::requested(stop)) {
                const WalkScope scope(stop, entriesCounter(progress));
                SourceScan scan = runJob(jobs[i]);
                const std::lock_guard lock(slotsLock);
                slotScans[i] = std::move(scan);
            }
            if (progress != nullptr)
                progress->sourcesDone.fetch_add(1);
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

bool markDuplicates(QList<ModelEntry>& models, QThreadPool* pool, ScanProgress* progress,
                    const StopToken* stop, QList<DuplicateGroup>* groups)
{
    DuplicateFinder finder(HashCache::defaultPath(), pool, progress, stop);
    const bool done = finder.run(models).has_value();
    if (groups != nullptr)
        *groups = finder.groups();
    return done;
}

} // namespace Scanner

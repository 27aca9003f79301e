#include "app/CoreCalls.h"

#include "fs/AppSettings.h"
#include "fs/CustomFolders.h"
#include "fs/FileLock.h"
#include "fs/VolumeInfo.h"
#include "model/BrimvaleError.h"
#include "model/TrashPolicy.h"
#include "scanners/OllamaScanner.h"
#include "scanners/Scanner.h"
#include "services/DedupeService.h"
#include "services/MoveService.h"
#include "services/ReportBuilder.h"
#include "services/TrashService.h"

namespace {

template <typename Call> std::optional<QString> failureOf(Call call)
{
    try {
        call();
    } catch (const BrimvaleError& error) {
        return error.message();
    }
    return std::nullopt;
}

} // namespace

std::optional<ScanResult> CoreCalls::scan(bool includeLoose, const QStringList& folders,
                                          const StopToken* stop, ScanProgress* progress)
{
    ScanRequest request;
    request.includeLoose = includeLoose;
    request.folders = folders;
    request.stop = stop;
    request.progress = progress;
    return Scanner::scanAll(request);
}

CoreCalls::ScanStatus CoreCalls::status(const ScanProgress& progress) const
{
    ScanStatus status;
    status.sourcesDone = progress.sourcesDone.load();
    status.sourcesTotal = progress.sourcesTotal.load();
    status.filesWalked = progress.entriesWalked.load();
    status.bytesToRead = progress.bytesToHash.load();
    status.bytesRead = progress.bytesHashed.load();
    status.checkingDuplicates = status.bytesToRead > 0;
    return status;
}

QList<TrashEntry> CoreCalls::trashEntries()
{
    return TrashService::entries();
}

QList<TrashOutcome> CoreCalls::trash(const QList<ModelEntry>& entries, const StopToken* stop)
{
    return TrashService::moveToTrash(entries, stop, FileLock::desktopWait);
}

std::optional<QString> CoreCalls::restore(const QString& id)
{
    return TrashService::restore(id, FileLock::desktopWait).error;
}

std::optional<QString> CoreCalls::deletePermanently(const QString& id)
{
    return TrashService::deletePermanently(id, FileLock::desktopWait).error;
}

namespace {

// Runs a move or move back with the progress given in bytes of the entries' whole size.
template <typename Run>
CoreCalls::MoveResult moveResultOf(const QList<ModelEntry>& entries,
                                   const CoreCalls::CopyProgress& progress, Run run)
{
    qint64 total = 0;
    for (const ModelEntry& entry : entries)
        total += entry.sizeBytes;
    MoveProgress moveProgress;
    if (progress)
        moveProgress.copied = [&](qint64 copied) { progress(copied, total); };
    const MoveOutcome outcome = run(moveProgress);
    CoreCalls::MoveResult result;
    result.movedTo = outcome.movedTo;
    result.error = outcome.error;
    for (const MovedItem& item : outcome.items)
        result.movedFrom.push_back(item.from);
    return result;
}

} // namespace

CoreCalls::MoveResult CoreCalls::move(const QList<ModelEntry>& entries, const QString& to,
                                      const StopToken* stop, const CopyProgress& progress)
{
    return moveResultOf(entries, progress, [&](const MoveProgress& moveProgress) {
        return MoveService::move(entries, to, true, moveProgress, stop, FileLock::desktopWait);
    });
}

CoreCalls::MoveResult CoreCalls::moveBack(const QList<ModelEntry>& entries, const StopToken* stop,
                                          const CopyProgress& progress)
{
    return moveResultOf(entries, progress, [&](const MoveProgress& moveProgress) {
        return MoveService::moveBack(entries, moveProgress, stop, FileLock::desktopWait);
    });
}

DedupePlan::Plan CoreCalls::planDedupe(const ScanResult& scan, const QList<ModelEntry>& entries)
{
    return DedupePlan::of(scan, entries);
}

bool CoreCalls::canShareBlocks(const QString& path)
{
    return DedupeService::canShareBlocks(path);
}

DedupeOutcome CoreCalls::dedupe(const DedupePlan::Plan& plan, bool hardLink, bool dryRun,
                                const StopToken* stop)
{
    DedupeService::Options options;
    options.hardLink = hardLink;
    options.dryRun = dryRun;
    options.stop = stop;
    options.lockWait = FileLock::desktopWait;
    return DedupeService::run(plan, options);
}

bool CoreCalls::ollamaRunning()
{
    return OllamaScanner::isRunning();
}

std::optional<UpdateInfo> CoreCalls::checkForUpdate()
{
    return UpdateInfo::check(UpdateInfo::currentVersion());
}

bool CoreCalls::isRisky(const ModelEntry& entry) const
{
    return TrashPolicy::heldBack({entry});
}

bool CoreCalls::isOllamaTag(const ModelEntry& entry) const
{
    return entry.source == ModelSource::ollama &&
           !entry.id.startsWith(QStringLiteral("ollama-orphan-"));
}

bool CoreCalls::includeLoose() const
{
    return AppSettings::includeLoose();
}

void CoreCalls::setIncludeLoose(bool value)
{
    AppSettings::setIncludeLoose(value);
}

QStringList CoreCalls::customFolders()
{
    return CustomFolders::load();
}

void CoreCalls::addFolder(const QString& path)
{
    (void)failureOf([&] { CustomFolders::add(path); });
}

void CoreCalls::removeFolder(const QString& path)
{
    (void)failureOf([&] { CustomFolders::remove(path); });
}

QString CoreCalls::report(const ScanResult& scan, const QDateTime& date)
{
    return ReportBuilder::markdown(scan, date);
}

QString CoreCalls::volumeLabel(const QString& path)
{
    return VolumeInfo::label(path);
}

QString CoreCalls::customFolderDetail(const QString& folder) const
{
    return QStringLiteral("Custom folder: ") + folder;
}

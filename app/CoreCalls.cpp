#include "app/CoreCalls.h"

#include "fs/AppPaths.h"
#include "fs/AppSettings.h"
#include "fs/CustomFolders.h"
#include "fs/FileLock.h"
#include "fs/VolumeInfo.h"
#include "model/BrimvaleError.h"
#include "model/TrashPolicy.h"
#include "scanners/OllamaScanner.h"
#include "scanners/Scanner.h"
#include "scanners/TrashCheck.h"
#include "services/DedupeService.h"
#include "services/MoveService.h"
#include "services/ReportBuilder.h"
#include "services/TrashService.h"

#include <QFileInfo>
#include <QSaveFile>

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

CoreCalls::CoreCalls() : lockWait(FileLock::desktopWait) {}

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
    return TrashService::moveToTrash(entries, stop, lockWait);
}

std::optional<QString> CoreCalls::restore(const QString& id)
{
    return TrashService::restore(id, lockWait).error;
}

std::optional<QString> CoreCalls::deletePermanently(const QString& id)
{
    return TrashService::deletePermanently(id, lockWait).error;
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
        return MoveService::move(entries, to, true, moveProgress, stop, lockWait);
    });
}

CoreCalls::MoveResult CoreCalls::moveBack(const QList<ModelEntry>& entries, const StopToken* stop,
                                          const CopyProgress& progress)
{
    return moveResultOf(entries, progress, [&](const MoveProgress& moveProgress) {
        return MoveService::moveBack(entries, moveProgress, stop, lockWait);
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
    options.lockWait = lockWait;
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

bool CoreCalls::heldBack(const QList<ModelEntry>& entries) const
{
    return TrashPolicy::heldBack(entries);
}

bool CoreCalls::needsConfirmation(const QList<ModelEntry>& entries, bool ollamaSeenRunning)
{
    return TrashCheck::needsConfirmation(entries, ollamaSeenRunning,
                                         [this] { return ollamaRunning(); });
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

std::optional<QString> CoreCalls::addFolder(const QString& path)
{
    return failureOf([&] { CustomFolders::add(path, lockWait); });
}

std::optional<QString> CoreCalls::removeFolder(const QString& path)
{
    return failureOf([&] { CustomFolders::remove(path, lockWait); });
}

bool CoreCalls::folderExists(const QString& path)
{
    return QFileInfo(path).isDir();
}

QStringList CoreCalls::existing(const QStringList& paths)
{
    QStringList found;
    for (const QString& path : paths)
        if (QFileInfo::exists(path))
            found.push_back(path);
    return found;
}

std::optional<QString> CoreCalls::writeReport(const ScanResult& scan, const QDateTime& date,
                                              const QString& path)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(ReportBuilder::markdown(scan, date).toUtf8()) >= 0 && file.commit())
        return std::nullopt;
    return file.errorString();
}

QString CoreCalls::volumeLabel(const QString& path)
{
    return VolumeInfo::label(path);
}

std::optional<DiskCapacity> CoreCalls::homeCapacity()
{
    const std::optional<VolumeInfo::Capacity> capacity = VolumeInfo::capacity(AppPaths::home());
    if (!capacity)
        return std::nullopt;
    return DiskCapacity{capacity->available, capacity->total};
}

QString CoreCalls::moveStartFolder()
{
    const QString user = qEnvironmentVariable("USER");
    const QStringList candidates{QStringLiteral("/run/media/") + user,
                                 QStringLiteral("/media/") + user, QStringLiteral("/mnt")};
    for (const QString& folder : candidates)
        if (!user.isEmpty() || folder == candidates.last())
            if (QFileInfo(folder).isDir())
                return folder;
    return AppPaths::home();
}

#include "app/CoreCalls.h"

#include "fs/CustomFolders.h"
#include "fs/VolumeInfo.h"
#include "model/BrimvaleError.h"
#include "scanners/OllamaScanner.h"
#include "scanners/Scanner.h"
#include "services/MoveService.h"
#include "services/ReportBuilder.h"
#include "services/TrashService.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <memory>

namespace {

const int sourceScanners = 7;

QString looseKey()
{
    return QStringLiteral("includeLoose");
}

// The desktop's settings store of Brimvale (organisation and application "Brimvale").
std::unique_ptr<QSettings> openSettings()
{
    return std::make_unique<QSettings>(QStringLiteral("Brimvale"), QStringLiteral("Brimvale"));
}

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
    ScanResult result = Scanner::scanAll(includeLoose, folders, progress);
    if (StopToken::requested(stop))
        return std::nullopt;
    return result;
}

CoreCalls::ScanStatus CoreCalls::status(const ScanProgress& progress) const
{
    ScanStatus status;
    status.sourcesDone = progress.scannersDone.load();
    status.sourcesTotal = sourceScanners;
    status.checkingDuplicates = progress.confirmingDuplicates.load();
    status.bytesRead = progress.bytesHashed.load();
    return status;
}

QList<TrashEntry> CoreCalls::trashEntries()
{
    return TrashService::entries();
}

QList<TrashOutcome> CoreCalls::trash(const QList<ModelEntry>& entries, const StopToken* stop)
{
    QList<TrashOutcome> outcomes;
    for (const ModelEntry& entry : entries) {
        if (StopToken::requested(stop))
            break;
        outcomes.push_back(TrashService::moveToTrash(entry));
    }
    return outcomes;
}

std::optional<QString> CoreCalls::restore(const QString& id)
{
    QStringList restored;
    if (auto error = failureOf([&] { restored = TrashService::restore(id); }))
        return error;
    if (restored.isEmpty())
        return QStringLiteral("Nothing left to restore — the items are no longer in the Trash");
    return std::nullopt;
}

std::optional<QString> CoreCalls::deletePermanently(const QString& id)
{
    return failureOf([&] { TrashService::deletePermanently(id); });
}

CoreCalls::MoveResult CoreCalls::move(const QList<ModelEntry>& entries, const QString& to,
                                      const StopToken* /*stop*/, const CopyProgress& progress)
{
    qint64 total = 0;
    for (const ModelEntry& entry : entries)
        total += entry.sizeBytes;
    MoveProgress moveProgress;
    if (progress)
        moveProgress.copied = [&](qint64 copied) { progress(copied, total); };
    const MoveOutcome outcome = MoveService::move(entries, to, true, moveProgress);

    MoveResult result;
    result.movedTo = outcome.movedTo;
    result.error = outcome.error;
    const QSet<QString> arrived(outcome.movedTo.cbegin(), outcome.movedTo.cend());
    const QDir destination(to);
    for (const ModelEntry& entry : entries)
        for (const QString& path : entry.allPaths)
            if (arrived.contains(destination.filePath(QFileInfo(path).fileName())) &&
                !result.movedFrom.contains(path))
                result.movedFrom.push_back(path);
    return result;
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
    return entry.deleteRisk == DeleteRisk::risky;
}

bool CoreCalls::isOllamaTag(const ModelEntry& entry) const
{
    return entry.source == ModelSource::ollama &&
           !entry.id.startsWith(QStringLiteral("ollama-orphan-"));
}

bool CoreCalls::includeLoose() const
{
    return openSettings()->value(looseKey(), false).toBool();
}

void CoreCalls::setIncludeLoose(bool value)
{
    const auto settings = openSettings();
    settings->setValue(looseKey(), value);
    settings->sync();
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

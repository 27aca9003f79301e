#include "app/AppModel.h"

#include "app/AppItemModels.h"
#include "app/CoreCalls.h"
#include "app/DedupeController.h"
#include "app/FolderController.h"
#include "app/JobRunner.h"
#include "app/ModelList.h"
#include "app/MoveController.h"
#include "app/ReportController.h"
#include "app/ScanController.h"
#include "app/ScanFilterProxy.h"
#include "app/TrashController.h"
#include "services/UpdateInfo.h"

#include <QTimer>
#include <QUuid>

namespace {

bool sameScan(const std::optional<ScanResult>& a, const std::optional<ScanResult>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || (a->models == b->models && a->errors == b->errors &&
                  a->ollamaRunning == b->ollamaRunning && a->duplicateGroups == b->duplicateGroups);
}

template <typename T, typename Signal>
bool assign(T& field, const T& value, AppModel* model, Signal signal)
{
    if (field == value)
        return false;
    field = value;
    emit(model->*signal)();
    return true;
}

} // namespace

AppModel::AppModel(Dialogs& dialogs, QObject* parent)
    : AppModel(std::make_shared<CoreCalls>(), dialogs, parent)
{}

AppModel::AppModel(std::shared_ptr<CoreCalls> core, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_core(std::move(core)), m_dialogs(dialogs),
      m_runner(std::make_unique<JobRunner>()),
      m_scans(std::make_unique<ScanController>(*this, *m_runner, m_core)),
      m_trash(std::make_unique<TrashController>(*this, *m_runner, m_core)),
      m_moves(std::make_unique<MoveController>(*this, *m_runner, m_core)),
      m_dedupe(std::make_unique<DedupeController>(*this, *m_runner, m_core)),
      m_folders(std::make_unique<FolderController>(*this, *m_runner, m_core)),
      m_reports(std::make_unique<ReportController>(*this, *m_runner, m_core)),
      m_now([] { return QDateTime::currentDateTime(); })
{
    m_items = std::make_unique<AppItemModels>(*this, *m_runner);
    m_toastTimer = [this](std::chrono::milliseconds after, std::function<void()> call) {
        QTimer::singleShot(after, Qt::PreciseTimer, this, std::move(call));
    };
    connect(m_runner.get(), &JobRunner::busyChanged, this, &AppModel::refreshBusy);
    // Trash, delete and move change the free space; each ends with a new restore log.
    connect(this, &AppModel::trashEntriesChanged, this, [this] { (void)refreshCapacity(); });
}

AppModel::~AppModel()
{
    stopAll();
    m_runner->waitForDone();
}

QString AppModel::versionText()
{
    return QStringLiteral(BRIMVALE_VERSION);
}

void AppModel::setSidebar(const std::optional<SidebarItem>& item)
{
    assign(m_sidebar, item, this, &AppModel::sidebarChanged);
}

void AppModel::setSearch(const QString& text)
{
    assign(m_search, text, this, &AppModel::searchChanged);
}

void AppModel::setSelection(const QSet<QString>& ids)
{
    assign(m_selection, ids, this, &AppModel::selectionChanged);
}

void AppModel::setSortOrder(const QList<SortKey>& keys)
{
    assign(m_sortOrder, keys, this, &AppModel::sortOrderChanged);
}

void AppModel::setToast(const std::optional<ToastMessage>& toast)
{
    assign(m_toast, toast, this, &AppModel::toastChanged);
}

TrashAlert AppModel::pendingTrashAlert() const
{
    return TrashAlert::of(m_pendingRiskyTrash.value_or(QList<ModelEntry>()));
}

void AppModel::setPendingRiskyTrash(const std::optional<QList<ModelEntry>>& entries)
{
    assign(m_pendingRiskyTrash, entries, this, &AppModel::pendingRiskyTrashChanged);
}

void AppModel::setIncludeLoose(bool value)
{
    if (value == m_includeLoose)
        return;
    m_includeLoose = value;
    emit includeLooseChanged();
    m_scans->beginChange();
    m_runner->run(
        {},
        [core = m_core, value](const JobRunner::Context&) {
            core->setIncludeLoose(value);
            return true;
        },
        [this](JobRunner::Outcome<bool>&&) {
            m_scans->endChange();
            (void)rescan();
        });
}

void AppModel::setScan(std::optional<ScanResult> scan)
{
    if (sameScan(m_scan, scan))
        return;
    m_scan = std::move(scan);
    emit scanChanged();
}

void AppModel::setIsScanning(bool value)
{
    assign(m_isScanning, value, this, &AppModel::isScanningChanged);
}

bool AppModel::setCustomFolders(const QStringList& folders)
{
    return assign(m_customFolders, folders, this, &AppModel::customFoldersChanged);
}

void AppModel::setMissingFolders(const QSet<QString>& folders)
{
    if (folders == m_missingFolders)
        return;
    m_missingFolders = folders;
    emit customFoldersChanged();
}

void AppModel::setTrashEntries(const QList<TrashEntry>& entries)
{
    assign(m_trashEntries, entries, this, &AppModel::trashEntriesChanged);
}

void AppModel::setScanProgressText(const QString& text)
{
    assign(m_scanProgressText, text, this, &AppModel::scanProgressTextChanged);
}

void AppModel::setUpdate(const std::optional<UpdateNotice>& update)
{
    assign(m_update, update, this, &AppModel::updateChanged);
}

void AppModel::setCapacity(const std::optional<DiskCapacity>& capacity)
{
    assign(m_capacity, capacity, this, &AppModel::homeCapacityChanged);
}

void AppModel::refreshBusy()
{
    const bool stoppable = m_runner->isStoppable();
    const bool busyChanged = m_busyMessage != m_runner->busyText();
    if (!busyChanged && stoppable == m_stoppable)
        return;
    m_busyMessage = m_runner->busyText();
    m_stoppable = stoppable;
    emit busyMessageChanged();
}

QFuture<void> AppModel::start()
{
    if (m_started)
        return Completion::finished();
    m_started = true;
    (void)reloadTrash();
    (void)refreshCapacity();
    m_runner->run(
        {},
        [core = m_core](const JobRunner::Context&) -> std::optional<UpdateNotice> {
            const std::optional<UpdateInfo> info = core->checkForUpdate();
            if (!info)
                return std::nullopt;
            return UpdateNotice{info->version, info->notes, info->downloadURL()};
        },
        [this](JobRunner::Outcome<std::optional<UpdateNotice>>&& outcome) {
            if (outcome.value && *outcome.value)
                setUpdate(*outcome.value);
        });
    // The stored setting first, so the first scan looks where the user asked.
    Completion::Done done = Completion::make();
    m_runner->run(
        {}, [core = m_core](const JobRunner::Context&) { return core->includeLoose(); },
        [this, done](JobRunner::Outcome<bool>&& outcome) {
            if (outcome.value && *outcome.value != m_includeLoose) {
                m_includeLoose = *outcome.value;
                emit includeLooseChanged();
            }
            rescan().then(this, [done] { done->finish(); });
        });
    return done->future();
}

QFuture<void> AppModel::rescan()
{
    return m_scans->rescan();
}

QFuture<void> AppModel::refreshCapacity()
{
    Completion::Done done = Completion::make();
    m_runner->run(
        {}, [core = m_core](const JobRunner::Context&) { return core->homeCapacity(); },
        [this, done](JobRunner::Outcome<std::optional<DiskCapacity>>&& outcome) {
            if (outcome.value)
                setCapacity(*outcome.value);
            done->finish();
        });
    return done->future();
}

QList<ModelEntry> AppModel::models(const SidebarItem& item) const
{
    return m_scan ? ModelList::entriesFor(m_scan->models, item) : QList<ModelEntry>();
}

QList<ModelEntry> AppModel::visibleModels() const
{
    return m_items->visible().entries();
}

QList<ModelEntry> AppModel::selectedModels() const
{
    QList<ModelEntry> list = visibleModels();
    list.removeIf([this](const ModelEntry& entry) { return !m_selection.contains(entry.id); });
    return list;
}

QList<ModelEntry> AppModel::models(const QSet<QString>& ids) const
{
    QList<ModelEntry> list;
    if (m_scan)
        for (const ModelEntry& entry : m_scan->models)
            if (ids.contains(entry.id))
                list.push_back(entry);
    return list;
}

void AppModel::removeFromScan(const QSet<QString>& ids)
{
    if (m_scan) {
        ScanResult scan = *m_scan;
        scan.models.removeIf([&](const ModelEntry& entry) { return ids.contains(entry.id); });
        // A copy only removed entries hold may be gone or moved; dedupes no longer rest on it.
        const auto removed = [&](const DuplicateCopy& copy) {
            return !copy.entryIds.isEmpty() &&
                   std::all_of(copy.entryIds.cbegin(), copy.entryIds.cend(),
                               [&](const QString& id) { return ids.contains(id); });
        };
        for (DuplicateGroup& group : scan.duplicateGroups)
            group.copies.removeIf(removed);
        scan.duplicateGroups.removeIf(
            [](const DuplicateGroup& group) { return group.copies.size() < 2; });
        setScan(std::move(scan));
    }
    setSelection(m_selection - ids);
}

bool AppModel::removePaths(const QSet<QString>& primaryPaths)
{
    QSet<QString> ids;
    bool duplicate = false;
    if (m_scan)
        for (const ModelEntry& entry : m_scan->models)
            if (primaryPaths.contains(entry.primaryPath)) {
                ids.insert(entry.id);
                duplicate = duplicate || entry.isDuplicate;
            }
    removeFromScan(ids);
    return duplicate;
}

QFuture<void> AppModel::requestTrash(const QList<ModelEntry>& entries)
{
    return m_trash->requestTrash(entries);
}

QFuture<void> AppModel::trash(const QList<ModelEntry>& entries)
{
    return m_trash->trash(entries);
}

QFuture<void> AppModel::restore(const QStringList& ids)
{
    return isBusy() ? Completion::finished() : m_trash->restore(ids);
}

QFuture<void> AppModel::deletePermanently(const QStringList& ids)
{
    return isBusy() ? Completion::finished() : m_trash->deletePermanently(ids);
}

QFuture<void> AppModel::reloadTrash()
{
    return m_trash->reload();
}

QFuture<void> AppModel::move(const QList<ModelEntry>& entries)
{
    return m_moves->move(entries);
}

QFuture<void> AppModel::moveBack(const QList<ModelEntry>& entries)
{
    return m_moves->moveBack(entries);
}

QFuture<void> AppModel::freeDuplicates(const QList<ModelEntry>& entries)
{
    return m_dedupe->freeDuplicates(entries);
}

void AppModel::stopCurrent()
{
    m_runner->stopCurrent();
}

QFuture<void> AppModel::addFolder()
{
    return m_folders->addFolder();
}

QFuture<void> AppModel::removeFolder(const QString& path)
{
    return m_folders->removeFolder(path);
}

QFuture<void> AppModel::exportReport()
{
    return m_reports->exportReport();
}

QFuture<void> AppModel::reveal(const QStringList& paths)
{
    return m_reports->reveal(paths);
}

void AppModel::showToast(const QString& text, bool isError, const QStringList& undo)
{
    const ToastMessage toast{QUuid::createUuid(), text, isError, undo};
    setToast(toast);
    m_toastTimer(undo.isEmpty() ? toastTime : undoToastTime, [this, id = toast.id] {
        if (m_toast && m_toast->id == id)
            setToast(std::nullopt);
    });
}

QFuture<void> AppModel::undo()
{
    if (!m_toast || m_toast->undoEntryIDs.isEmpty())
        return Completion::finished();
    const QStringList ids = m_toast->undoEntryIDs;
    setToast(std::nullopt);
    return m_trash->restore(ids);
}

void AppModel::stopAll()
{
    m_runner->stopAll();
}

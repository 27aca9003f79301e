#include "app/AppModel.h"

#include "app/ModelList.h"
#include "text/Format.h"

#include <QLocale>
#include <QThread>
#include <QUuid>
#include <mutex>

namespace {

bool sameScan(const std::optional<ScanResult>& a, const std::optional<ScanResult>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || (a->models == b->models && a->errors == b->errors &&
                  a->ollamaRunning == b->ollamaRunning && a->duplicateGroups == b->duplicateGroups);
}

// The system locale for numbers, with English forms where it is C.
QLocale numberLocale()
{
    const QLocale system = QLocale::system();
    return system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates)
                                           : system;
}

template <typename T, typename Signal>
void assign(T& field, const T& value, AppModel* model, Signal signal)
{
    if (field == value)
        return;
    field = value;
    emit(model->*signal)();
}

} // namespace

AppModel::AppModel(std::shared_ptr<CoreCalls> core, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_core(std::move(core)), m_dialogs(dialogs),
      m_now([] { return QDateTime::currentDateTime(); })
{
    m_toastTimer = [this](std::chrono::milliseconds after, std::function<void()> call) {
        QTimer::singleShot(after, Qt::PreciseTimer, this, std::move(call));
    };
    m_includeLoose = m_core->includeLoose();
    m_customFolders = m_core->customFolders();
    // Enough threads that a slow update check or Ollama probe never holds back a scan or an
    // action on a machine with few cores.
    m_pool.setMaxThreadCount(std::max(QThread::idealThreadCount(), 6));
    m_progressTimer.setInterval(100);
    connect(&m_progressTimer, &QTimer::timeout, this, &AppModel::refreshProgressText);
}

AppModel::~AppModel()
{
    stopAll();
    m_pool.waitForDone();
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
    return TrashAlert::of(m_pendingRiskyTrash.value_or(QList<ModelEntry>()),
                          [this](const ModelEntry& entry) { return m_core->isOllamaTag(entry); });
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
    m_core->setIncludeLoose(value);
    emit includeLooseChanged();
    noteChange();
    (void)rescan();
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

void AppModel::setCustomFolders(const QStringList& folders)
{
    if (folders == m_customFolders)
        return;
    m_customFolders = folders;
    emit customFoldersChanged();
    noteChange();
}

void AppModel::setTrashEntries(const QList<TrashEntry>& entries)
{
    assign(m_trashEntries, entries, this, &AppModel::trashEntriesChanged);
}

void AppModel::setScanProgressText(const QString& text)
{
    assign(m_scanProgressText, text, this, &AppModel::scanProgressTextChanged);
}

AppModel::Done AppModel::newDone()
{
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    return done;
}

QFuture<void> AppModel::finished()
{
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

QString AppModel::unexpected(const char* what)
{
    return QStringLiteral("Unexpected error: ") + QString::fromUtf8(what);
}

AppModel::TrashList AppModel::loadTrash(CoreCalls& core,
                                        const std::shared_ptr<std::atomic<quint64>>& counter)
{
    // Reading and numbering go together, so a higher number never holds an older read.
    static std::mutex reading;
    const std::lock_guard lock(reading);
    TrashList list;
    list.entries = core.trashEntries();
    list.number = ++*counter;
    return list;
}

void AppModel::applyTrash(const TrashList& list)
{
    if (list.number <= m_trashApplied)
        return;
    m_trashApplied = list.number;
    setTrashEntries(list.entries);
}

QFuture<void> AppModel::start()
{
    if (m_started)
        return finished();
    m_started = true;
    (void)reloadTrash();
    offGui([core = m_core] { return core->checkForUpdate(); },
           [this](Attempt<std::optional<UpdateInfo>>&& attempt) {
               if (attempt.value && *attempt.value != m_update) {
                   m_update = *attempt.value;
                   emit updateChanged();
               }
           });
    return rescan();
}

QFuture<void> AppModel::rescan()
{
    if (!m_scanWaiter)
        m_scanWaiter = newDone();
    const QFuture<void> future = m_scanWaiter->future();
    if (m_stopping) {
        m_scanWaiter->finish();
        m_scanWaiter.reset();
    } else if (m_isScanning || m_changesRunning > 0) {
        m_rescanWanted = m_rescanWanted || m_changesRunning > 0;
    } else {
        startScan();
    }
    return future;
}

void AppModel::startScan()
{
    m_rescanWanted = false;
    setIsScanning(true);
    m_scanStop = std::make_shared<StopToken>();
    m_scanProgress = std::make_shared<ScanProgress>();
    refreshProgressText();
    m_progressTimer.start();
    offGui(
        [core = m_core, loose = m_includeLoose, folders = m_customFolders, stop = m_scanStop,
         progress = m_scanProgress, counter = m_trashCounter] {
            std::optional<ScanResult> result =
                core->scan(loose, folders, stop.get(), progress.get());
            return std::pair(std::move(result), loadTrash(*core, counter));
        },
        [this, changes = m_changes](auto&& attempt) { finishScan(changes, std::move(attempt)); });
}

void AppModel::finishScan(quint64 changesAtStart,
                          Attempt<std::pair<std::optional<ScanResult>, TrashList>>&& attempt)
{
    m_progressTimer.stop();
    const bool stale =
        changesAtStart != m_changes || (attempt.value && !attempt.value->first.has_value());
    if (!attempt.value || !stale) {
        if (attempt.value) {
            QSet<QString> selectedPaths;
            if (m_scan)
                for (const ModelEntry& entry : m_scan->models)
                    if (m_selection.contains(entry.id))
                        selectedPaths.insert(entry.primaryPath);
            setScan(std::move(attempt.value->first));
            QSet<QString> selection;
            for (const ModelEntry& entry : m_scan->models)
                if (selectedPaths.contains(entry.primaryPath))
                    selection.insert(entry.id);
            setSelection(selection);
            applyTrash(attempt.value->second);
        }
        setScanProgressText({});
        setIsScanning(false);
        if (!attempt.value)
            showToast(attempt.failure, true);
        if (m_scanWaiter) {
            m_scanWaiter->finish();
            m_scanWaiter.reset();
        }
        if (m_rescanWanted && !m_stopping)
            (void)rescan();
        return;
    }
    // Stale or stopped: never shown; a fresh scan follows once nothing changes files.
    setIsScanning(false);
    setScanProgressText({});
    if (m_stopping) {
        if (m_scanWaiter) {
            m_scanWaiter->finish();
            m_scanWaiter.reset();
        }
    } else if (m_changesRunning > 0) {
        m_rescanWanted = true;
    } else {
        startScan();
    }
}

void AppModel::refreshProgressText()
{
    if (!m_isScanning || !m_scanProgress)
        return;
    const CoreCalls::ScanStatus status = m_core->status(*m_scanProgress);
    if (status.checkingDuplicates) {
        setScanProgressText(
            QStringLiteral("Checking duplicates… %1 of %2")
                .arg(Format::bytes(status.bytesRead), Format::bytes(status.bytesToRead)));
        return;
    }
    setScanProgressText(QStringLiteral("Scanning… %1 of %2 sources · %3 files")
                            .arg(status.sourcesDone)
                            .arg(status.sourcesTotal)
                            .arg(numberLocale().toString(status.filesWalked)));
}

QList<ModelEntry> AppModel::models(const SidebarItem& item) const
{
    return m_scan ? ModelList::entriesFor(m_scan->models, item) : QList<ModelEntry>();
}

QList<ModelEntry> AppModel::visibleModels() const
{
    QList<ModelEntry> list =
        ModelList::matching(models(m_sidebar.value_or(SidebarItem::all())), m_search);
    ModelList::sort(list, m_sortOrder);
    return list;
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

int AppModel::beginBusy(const QString& text)
{
    const int ticket = ++m_nextTicket;
    m_busy.push_back({ticket, text});
    refreshBusy();
    return ticket;
}

void AppModel::setBusyText(int ticket, const QString& text)
{
    for (auto& busy : m_busy)
        if (busy.first == ticket)
            busy.second = text;
    refreshBusy();
}

void AppModel::endBusy(int ticket)
{
    m_busy.removeIf([ticket](const auto& busy) { return busy.first == ticket; });
    refreshBusy();
}

void AppModel::refreshBusy()
{
    const std::optional<QString> text =
        m_busy.isEmpty() ? std::nullopt : std::optional(m_busy.last().second);
    assign(m_busyMessage, text, this, &AppModel::busyMessageChanged);
}

void AppModel::noteChange()
{
    ++m_changes;
    if (m_isScanning && m_scanStop)
        m_scanStop->requestStop();
}

void AppModel::beginChange()
{
    ++m_changesRunning;
    noteChange();
}

void AppModel::endChange()
{
    --m_changesRunning;
    ++m_changes;
}

QFuture<void> AppModel::rescanThen(bool wanted, Done done)
{
    if (wanted || (m_rescanWanted && m_changesRunning == 0 && !m_isScanning))
        rescan().then(this, [done] { done->finish(); });
    else
        done->finish();
    return done->future();
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
        return finished();
    const QStringList ids = m_toast->undoEntryIDs;
    setToast(std::nullopt);
    return runRestore(ids);
}

void AppModel::stopAll()
{
    m_stopping = true;
    m_workStop->requestStop();
    if (m_scanStop)
        m_scanStop->requestStop();
    if (m_currentStop)
        m_currentStop->requestStop();
}

#pragma once

#include "app/CoreCalls.h"
#include "app/Dialogs.h"
#include "app/SidebarItem.h"
#include "app/SortKey.h"
#include "app/ToastMessage.h"
#include "app/TrashAlert.h"
#include "model/ScanResult.h"
#include "model/TrashEntry.h"
#include "services/DedupeOutcome.h"
#include "services/DedupePlan.h"
#include "services/UpdateInfo.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

// Everything the window shows and every action the user takes. Lives on the GUI thread; scans,
// trash loops, restores, deletions, moves and dedupes run on its own thread pool on copies of
// their inputs and post their results back. Each operation returns a future that finishes when the
// whole operation (its state changes, its toast and any rescan it starts) is done.
class AppModel : public QObject
{
    Q_OBJECT

public:
    // Calls the function once after the duration; tests replace it to drive toasts by hand.
    using ToastTimer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;

    static constexpr std::chrono::milliseconds toastTime{4000};
    static constexpr std::chrono::milliseconds undoToastTime{7000};

    AppModel(std::shared_ptr<CoreCalls> core, Dialogs& dialogs, QObject* parent = nullptr);
    // Stops running work after the item in hand and waits for every background task.
    ~AppModel() override;

    [[nodiscard]] const std::optional<ScanResult>& scan() const { return m_scan; }
    [[nodiscard]] bool isScanning() const { return m_isScanning; }
    [[nodiscard]] const QList<TrashEntry>& trashEntries() const { return m_trashEntries; }
    [[nodiscard]] const QStringList& customFolders() const { return m_customFolders; }
    [[nodiscard]] const std::optional<UpdateInfo>& update() const { return m_update; }
    [[nodiscard]] const std::optional<SidebarItem>& sidebar() const { return m_sidebar; }
    [[nodiscard]] const QString& search() const { return m_search; }
    [[nodiscard]] const QSet<QString>& selection() const { return m_selection; }
    [[nodiscard]] const QList<SortKey>& sortOrder() const { return m_sortOrder; }
    [[nodiscard]] const std::optional<ToastMessage>& toast() const { return m_toast; }
    [[nodiscard]] const std::optional<QString>& busyMessage() const { return m_busyMessage; }
    [[nodiscard]] const std::optional<QList<ModelEntry>>& pendingRiskyTrash() const
    {
        return m_pendingRiskyTrash;
    }
    // What to ask before the pending held-back entries go to the Trash (see TrashAlert).
    [[nodiscard]] TrashAlert pendingTrashAlert() const;
    [[nodiscard]] bool includeLoose() const { return m_includeLoose; }
    // Whether a move or a dedupe runs now, which stopCurrent ends early; changes come with
    // busyMessageChanged.
    [[nodiscard]] bool isStoppable() const { return m_stoppable; }
    // "Scanning… 3 of 7 sources · 1,204 files", then "Checking duplicates… 2 GB of 9 GB";
    // empty while no scan runs.
    [[nodiscard]] const QString& scanProgressText() const { return m_scanProgressText; }
    // The version the update check compares with.
    [[nodiscard]] static QString versionText();

    void setSidebar(const std::optional<SidebarItem>& item);
    void setSearch(const QString& text);
    void setSelection(const QSet<QString>& ids);
    void setSortOrder(const QList<SortKey>& keys);
    void setToast(const std::optional<ToastMessage>& toast);
    void setPendingRiskyTrash(const std::optional<QList<ModelEntry>>& entries);
    // Stores the setting at once and rescans.
    void setIncludeLoose(bool value);

    // Start-up, once: loads the restore log, starts the update check and the first scan.
    QFuture<void> start();
    // A full scan, published when nothing that changes its result happened while it ran.
    QFuture<void> rescan();

    [[nodiscard]] QList<ModelEntry> models(const SidebarItem& item) const;
    [[nodiscard]] QList<ModelEntry> visibleModels() const;
    [[nodiscard]] QList<ModelEntry> selectedModels() const;
    [[nodiscard]] QList<ModelEntry> models(const QSet<QString>& ids) const;
    void removeFromScan(const QSet<QString>& ids);

    // Holds a list with a risky entry back for confirmation, else trashes it.
    QFuture<void> requestTrash(const QList<ModelEntry>& entries);
    QFuture<void> trash(const QList<ModelEntry>& entries);
    // Does nothing while busy (Undo goes through undo(), which always runs).
    QFuture<void> restore(const QStringList& ids);
    QFuture<void> deletePermanently(const QStringList& ids);
    QFuture<void> move(const QList<ModelEntry>& entries);
    // Brings the moved ones of the entries back in place of their links, asking nothing (it
    // frees and loses nothing); one toast tells the outcome, then the scan is run again.
    QFuture<void> moveBack(const QList<ModelEntry>& entries);
    // Works out on the pool what freeing the entries' duplicate files in place would free and
    // asks through the dialogs; on "Free Space" frees them, then rescans. Nothing to free gives
    // a toast instead of the question. Does nothing while busy.
    QFuture<void> freeDuplicates(const QList<ModelEntry>& entries);
    // Asks a running move or dedupe to stop: the move withdraws the item in hand, the dedupe
    // ends after it; what is done stays done.
    void stopCurrent();
    QFuture<void> addFolder();
    QFuture<void> removeFolder(const QString& path);
    void exportReport();
    void reveal(const QStringList& paths);
    // Loads the restore log into trashEntries; a load applies only if no later one has.
    QFuture<void> reloadTrash();

    void showToast(const QString& text, bool isError, const QStringList& undo = {});
    // Hides the toast on screen and restores its entries, whatever else is running.
    QFuture<void> undo();

    // Asks all running work to stop after the item in hand; no new scan starts afterwards.
    void stopAll();

    void setToastTimer(ToastTimer timer) { m_toastTimer = std::move(timer); }
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

signals:
    void scanChanged();
    void isScanningChanged();
    void trashEntriesChanged();
    void customFoldersChanged();
    void updateChanged();
    void sidebarChanged();
    void searchChanged();
    void selectionChanged();
    void sortOrderChanged();
    void toastChanged();
    void busyMessageChanged();
    void pendingRiskyTrashChanged();
    void includeLooseChanged();
    void scanProgressTextChanged();

private:
    using Done = std::shared_ptr<QPromise<void>>;

    template <typename R> struct Attempt
    {
        std::optional<R> value;
        QString failure; // "Unexpected error: …" when the work threw
    };

    struct TrashList
    {
        QList<TrashEntry> entries;
        quint64 number = 0;
    };

    // Runs work on the pool; done gets its result (or its failure) on the GUI thread.
    template <typename Work, typename Then> void offGui(Work work, Then then);
    [[nodiscard]] static Done newDone();
    [[nodiscard]] static QFuture<void> finished();
    [[nodiscard]] static QString unexpected(const char* what);
    // The restore log, numbered in the order the loads finished. Any thread.
    [[nodiscard]] static TrashList loadTrash(CoreCalls& core,
                                             const std::shared_ptr<std::atomic<quint64>>& counter);
    void applyTrash(const TrashList& list);

    void startScan();
    void finishScan(quint64 changesAtStart,
                    Attempt<std::pair<std::optional<ScanResult>, TrashList>>&& attempt);
    void refreshProgressText();
    void setScan(std::optional<ScanResult> scan);
    void setIsScanning(bool value);
    void setCustomFolders(const QStringList& folders);
    void setTrashEntries(const QList<TrashEntry>& entries);
    void setScanProgressText(const QString& text);
    // Drops the entries whose primary path is among the paths; true when one was a duplicate.
    bool removePaths(const QSet<QString>& primaryPaths);
    QFuture<void> rescanThen(bool wanted, Done done);

    // Busy texts of the running operations; busyMessage is the newest.
    int beginBusy(const QString& text);
    void setBusyText(int ticket, const QString& text);
    void endBusy(int ticket);
    void refreshBusy();

    // Something that changes what a scan finds begins or ends.
    void beginChange();
    void endChange();
    void noteChange();

    QFuture<void> runRestore(const QStringList& ids);
    // Calls the core on each restore-log record off the GUI thread, reloads the Trash, shows
    // the first error or doneText, then rescans (as rescanThen takes rescanWanted).
    using RecordCall = std::optional<QString> (CoreCalls::*)(const QString&);
    QFuture<void> onTrashRecords(const QStringList& ids, const QString& busyText, RecordCall call,
                                 const QString& doneText, bool rescanWanted);
    void doTrash(const QList<ModelEntry>& entries, Done done);
    void finishMove(const QList<ModelEntry>& entries, const QString& label,
                    Attempt<CoreCalls::MoveResult>&& attempt, Done done);

    // What freeing some entries' duplicates would do, from a dry run of their plan.
    struct DedupeCheck
    {
        DedupePlan::Plan plan;
        bool hardLink = false;         // some file's filesystem cannot share blocks
        qint64 bytes = 0;              // what the run would free
        std::optional<QString> reason; // the first reason a file would not be freed
    };
    // Any thread.
    [[nodiscard]] static DedupeCheck checkDedupe(CoreCalls& core, const ScanResult& scan,
                                                 const QList<ModelEntry>& entries,
                                                 const StopToken* stop);
    void askDedupe(Attempt<DedupeCheck>&& attempt, Done done);
    void runDedupe(const DedupeCheck& check, Done done);
    void finishDedupe(const DedupeCheck& check, Attempt<DedupeOutcome>&& attempt, Done done);

    std::shared_ptr<CoreCalls> m_core;
    Dialogs& m_dialogs;
    QThreadPool m_pool;
    ToastTimer m_toastTimer;
    std::function<QDateTime()> m_now;

    std::optional<ScanResult> m_scan;
    bool m_isScanning = false;
    QList<TrashEntry> m_trashEntries;
    QStringList m_customFolders;
    std::optional<UpdateInfo> m_update;
    std::optional<SidebarItem> m_sidebar = SidebarItem::all();
    QString m_search;
    QSet<QString> m_selection;
    QList<SortKey> m_sortOrder{SortKey{}};
    std::optional<ToastMessage> m_toast;
    std::optional<QString> m_busyMessage;
    std::optional<QList<ModelEntry>> m_pendingRiskyTrash;
    bool m_includeLoose = false;
    QString m_scanProgressText;

    bool m_started = false;
    bool m_stopping = false;
    quint64 m_changes = 0;    // counts changes that make a running scan stale
    int m_changesRunning = 0; // operations that change files, running now
    bool m_rescanWanted = false;
    Done m_scanWaiter; // finished when the next scan is published
    std::shared_ptr<StopToken> m_scanStop;
    std::shared_ptr<ScanProgress> m_scanProgress;
    QTimer m_progressTimer;
    std::shared_ptr<StopToken> m_workStop = std::make_shared<StopToken>();
    std::shared_ptr<StopToken> m_currentStop; // of the running move or dedupe
    bool m_stoppable = false;
    std::shared_ptr<std::atomic<quint64>> m_trashCounter =
        std::make_shared<std::atomic<quint64>>(0);
    quint64 m_trashApplied = 0;
    QList<std::pair<int, QString>> m_busy;
    int m_nextTicket = 0;
};

template <typename Work, typename Then> void AppModel::offGui(Work work, Then then)
{
    using R = std::invoke_result_t<Work&>;
    QtConcurrent::run(&m_pool, [work = std::move(work)]() mutable -> Attempt<R> {
        try {
            return {work(), {}};
        } catch (const std::exception& error) {
            return {std::nullopt, unexpected(error.what())};
        } catch (...) {
            return {std::nullopt, unexpected("unknown failure")};
        }
    }).then(this, [this, then = std::move(then)](Attempt<R> attempt) mutable {
        // Handed over from the event loop even when the work ended before this continuation
        // was attached (Qt then runs it at once), so no operation applies its result inside
        // the call that started it.
        auto result =
            std::make_shared<std::pair<Then, Attempt<R>>>(std::move(then), std::move(attempt));
        QMetaObject::invokeMethod(
            this, [result] { result->first(std::move(result->second)); }, Qt::QueuedConnection);
    });
}

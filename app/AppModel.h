#pragma once

#include "app/Dialogs.h"
#include "app/DiskCapacity.h"
#include "app/SidebarItem.h"
#include "app/SortKey.h"
#include "app/ToastMessage.h"
#include "app/TrashAlert.h"
#include "app/UpdateNotice.h"
#include "model/ScanResult.h"
#include "model/TrashEntry.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QSet>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class AppItemModels;
class CoreCalls;
class DedupeController;
class FolderController;
class JobRunner;
class MoveController;
class ReportController;
class ScanController;
class TrashController;

// Everything the window shows and every action the user takes. Lives on the GUI thread and
// keeps the state the views share; each action is carried out by a controller of its own, and
// every file touch runs on the job runner on copies of its inputs. Each operation returns a
// future that finishes when the whole operation (its state changes, its toast and any rescan it
// starts) is done.
class AppModel : public QObject
{
    Q_OBJECT

public:
    // Calls the function once after the duration; tests replace it to drive toasts by hand.
    using ToastTimer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;

    static constexpr std::chrono::milliseconds toastTime{4000};
    static constexpr std::chrono::milliseconds undoToastTime{7000};

    // Over the real core.
    explicit AppModel(Dialogs& dialogs, QObject* parent = nullptr);
    AppModel(std::shared_ptr<CoreCalls> core, Dialogs& dialogs, QObject* parent = nullptr);
    // Stops running work after the item in hand and waits for every background task.
    ~AppModel() override;

    [[nodiscard]] const std::optional<ScanResult>& scan() const { return m_scan; }
    [[nodiscard]] bool isScanning() const { return m_isScanning; }
    [[nodiscard]] const QList<TrashEntry>& trashEntries() const { return m_trashEntries; }
    [[nodiscard]] const QStringList& customFolders() const { return m_customFolders; }
    // The custom folders that were not there when the last scan looked (a drive not
    // connected); changes come with customFoldersChanged.
    [[nodiscard]] const QSet<QString>& missingFolders() const { return m_missingFolders; }
    [[nodiscard]] const std::optional<UpdateNotice>& update() const { return m_update; }
    // The space of the drive holding the home folder; nothing until it was read.
    [[nodiscard]] const std::optional<DiskCapacity>& homeCapacity() const { return m_capacity; }
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
    // The item models the views show: the scan with its proxy, the Trash, the sidebar.
    [[nodiscard]] AppItemModels& itemModels() const { return *m_items; }
    // The version the update check compares with.
    [[nodiscard]] static QString versionText();

    void setSidebar(const std::optional<SidebarItem>& item);
    void setSearch(const QString& text);
    void setSelection(const QSet<QString>& ids);
    void setSortOrder(const QList<SortKey>& keys);
    void setToast(const std::optional<ToastMessage>& toast);
    void setPendingRiskyTrash(const std::optional<QList<ModelEntry>>& entries);
    // Stores the setting at once (off the GUI thread) and rescans.
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
    QFuture<void> exportReport();
    QFuture<void> reveal(const QStringList& paths);
    // Loads the restore log into trashEntries; a load applies only if no later one has.
    QFuture<void> reloadTrash();
    // Reads the home drive's space again.
    QFuture<void> refreshCapacity();

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
    void homeCapacityChanged();
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
    friend class DedupeController;
    friend class FolderController;
    friend class MoveController;
    friend class ReportController;
    friend class ScanController;
    friend class TrashController;

    void setScan(std::optional<ScanResult> scan);
    void setIsScanning(bool value);
    // True when the list changed.
    bool setCustomFolders(const QStringList& folders);
    void setMissingFolders(const QSet<QString>& folders);
    void setTrashEntries(const QList<TrashEntry>& entries);
    void setScanProgressText(const QString& text);
    void setUpdate(const std::optional<UpdateNotice>& update);
    void setCapacity(const std::optional<DiskCapacity>& capacity);
    void refreshBusy();
    // Drops the entries whose primary path is among the paths; true when one was a duplicate.
    bool removePaths(const QSet<QString>& primaryPaths);
    [[nodiscard]] bool isBusy() const { return m_busyMessage.has_value(); }

    std::shared_ptr<CoreCalls> m_core;
    Dialogs& m_dialogs;
    std::unique_ptr<JobRunner> m_runner;
    std::unique_ptr<ScanController> m_scans;
    std::unique_ptr<TrashController> m_trash;
    std::unique_ptr<MoveController> m_moves;
    std::unique_ptr<DedupeController> m_dedupe;
    std::unique_ptr<FolderController> m_folders;
    std::unique_ptr<ReportController> m_reports;
    std::unique_ptr<AppItemModels> m_items;
    ToastTimer m_toastTimer;
    std::function<QDateTime()> m_now;

    std::optional<ScanResult> m_scan;
    bool m_isScanning = false;
    QList<TrashEntry> m_trashEntries;
    QStringList m_customFolders;
    QSet<QString> m_missingFolders;
    std::optional<UpdateNotice> m_update;
    std::optional<DiskCapacity> m_capacity;
    std::optional<SidebarItem> m_sidebar = SidebarItem::all();
    QString m_search;
    QSet<QString> m_selection;
    QList<SortKey> m_sortOrder{SortKey{}};
    std::optional<ToastMessage> m_toast;
    std::optional<QString> m_busyMessage;
    bool m_stoppable = false;
    std::optional<QList<ModelEntry>> m_pendingRiskyTrash;
    bool m_includeLoose = false;
    QString m_scanProgressText;
    bool m_started = false;
};

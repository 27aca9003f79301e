#pragma once

#include <QObject>
#include <memory>

class AppModel;
class JobRunner;
class ScanFilterProxy;
class ScanItemModel;
class SidebarModel;
class TrashItemModel;
class TrashSortProxy;

// The item models the views show, kept in step with the application model: the last scan and
// the proxy of the sidebar choice, search and sort order over it, the Trash's list and its sort
// proxy, and the sidebar. Trashing, moving, deduping and restoring change only the rows
// concerned; the drive labels of moved entries are read on the job runner.
class AppItemModels : public QObject
{
    Q_OBJECT

public:
    AppItemModels(AppModel& model, JobRunner& runner);
    ~AppItemModels() override;

    [[nodiscard]] ScanItemModel& scan() const { return *m_scan; }
    [[nodiscard]] ScanFilterProxy& visible() const { return *m_visible; }
    [[nodiscard]] TrashItemModel& trash() const { return *m_trash; }
    [[nodiscard]] TrashSortProxy& trashSorted() const { return *m_trashSorted; }
    [[nodiscard]] SidebarModel& sidebar() const { return *m_sidebar; }

private:
    void syncScan();
    void syncSidebar();
    void readDriveLabels();

    AppModel& m_model;
    JobRunner& m_runner;
    std::unique_ptr<ScanItemModel> m_scan;
    std::unique_ptr<ScanFilterProxy> m_visible;
    std::unique_ptr<TrashItemModel> m_trash;
    std::unique_ptr<TrashSortProxy> m_trashSorted;
    std::unique_ptr<SidebarModel> m_sidebar;
};

#pragma once

#include "ui/SettingsWindow.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

class AppModel;
class Banners;
class Dialogs;
class DiskFreeFooter;
class ModelsView;
class QAction;

class QSplitter;
class QStackedWidget;

class SidebarView;
class ToastView;
class TrashView;

// The one main window: the sidebar with the disk footer, the detail column (the models view, or
// the Trash view while the Trash row is chosen) under the banners, the toast over the bottom,
// the risky-trash alert and the menus. Closing it stops the model's work.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(AppModel& model, Dialogs& dialogs, QWidget* parent = nullptr);

    [[nodiscard]] SidebarView* sidebar() const { return m_sidebar; }
    [[nodiscard]] DiskFreeFooter* footer() const { return m_footer; }
    [[nodiscard]] Banners* banners() const { return m_banners; }
    [[nodiscard]] ToastView* toastView() const { return m_toast; }
    [[nodiscard]] ModelsView* modelsView() const { return m_modelsView; }
    [[nodiscard]] TrashView* trashView() const { return m_trashView; }
    // The risky-trash alert while it is open.
    [[nodiscard]] QMessageBox* riskyAlert() const { return m_riskyAlert; }
    // The menu command with that title, e.g. "Export Report…".
    [[nodiscard]] QAction* command(const QString& title) const;
    // Opens (or raises) the settings window.
    void showSettings();
    [[nodiscard]] SettingsWindow* settingsWindow() const { return m_settings; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* makeSidebarColumn();
    QWidget* makeDetailColumn();
    void makeMenus();
    void refreshCommands();
    void showDetail();
    void askRiskyTrash();
    void focusSearch();

    AppModel& m_model;
    Dialogs& m_dialogs;
    SidebarView* m_sidebar = nullptr;
    DiskFreeFooter* m_footer = nullptr;
    Banners* m_banners = nullptr;
    QStackedWidget* m_detail = nullptr;
    ModelsView* m_modelsView = nullptr;
    TrashView* m_trashView = nullptr;
    ToastView* m_toast = nullptr;
    QPointer<QMessageBox> m_riskyAlert;
    QPointer<SettingsWindow> m_settings;
    bool m_started = false;
};

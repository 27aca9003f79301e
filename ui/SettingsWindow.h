#pragma once

#include <QDialog>

class AppModel;
class QCheckBox;
class QListWidget;
class QToolButton;

// The settings window, 520 x 340: "General" with the loose-files switch and the version, and
// "Folders" with the extra folders to scan and the plus and minus buttons. A dialog over the
// main window, not modal; Escape closes it.
class SettingsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsWindow(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] QCheckBox* looseSwitch() const { return m_loose; }
    [[nodiscard]] QListWidget* folderList() const { return m_folders; }
    [[nodiscard]] QToolButton* addButton() const { return m_add; }
    [[nodiscard]] QToolButton* removeButton() const { return m_remove; }

private:
    QWidget* general();
    QWidget* folders();
    void refreshFolders();

    AppModel& m_model;
    QCheckBox* m_loose = nullptr;
    QListWidget* m_folders = nullptr;
    QToolButton* m_add = nullptr;
    QToolButton* m_remove = nullptr;
};

#pragma once

#include <QWidget>

class AppModel;
class QLabel;
class QPushButton;
class QTreeWidget;
class StatusBar;

// A plain stand-in for a detail view: a title, a simple list of the chosen entries (or of the
// Trash), and the status bar with the scan's progress, the busy message and "Stop" during a move.
class DetailPlaceholder : public QWidget
{
    Q_OBJECT

public:
    DetailPlaceholder(AppModel& model, bool trash, QWidget* parent = nullptr);

    [[nodiscard]] StatusBar* statusBar() const { return m_status; }

private:
    void refresh();
    void refreshStatus();

    AppModel& m_model;
    bool m_trash;
    QLabel* m_title;
    QTreeWidget* m_list;
    StatusBar* m_status;
    QPushButton* m_stop;
};

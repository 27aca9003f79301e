#pragma once

#include "app/SidebarItem.h"

#include <QWidget>

class AppModel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The sidebar list: All Models and Duplicates, the sources, the custom folders with the
// "Add Folder…" button, and the Trash. Its selection is the model's sidebar choice.
class SidebarView : public QWidget
{
    Q_OBJECT

public:
    // Item data roles the row delegate reads.
    enum Role
    {
        trailingRole = Qt::UserRole + 1, // size text, or the Trash count as a badge
        badgeRole,                       // true: the trailing text is a count badge
        headerRole,                      // true: a section header, not a row
        iconNameRole,                    // the freedesktop.org name of the row's icon
    };

    explicit SidebarView(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] QListWidget* list() const { return m_list; }
    // The row that stands for the item, or nothing when no row does.
    [[nodiscard]] QListWidgetItem* row(const SidebarItem& item) const;

private:
    void rebuild();
    void selectCurrent();
    void addRow(const SidebarItem& item, const QString& title, const QIcon& icon,
                const QString& trailing = {});
    void addHeader(const QString& title);
    void showMenu(const QPoint& position);

    AppModel& m_model;
    QListWidget* m_list;
    QList<SidebarItem> m_items; // per list row; rows without an item hold all()
    bool m_updating = false;
};

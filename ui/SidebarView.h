#pragma once

#include "app/SidebarItem.h"

#include <QModelIndex>
#include <QWidget>

class AppModel;
class CellLook;
class QPushButton;
class SidebarList;
class SidebarModel;

// The sidebar: the application model's sidebar rows in a list, with the "Add Folder…" button
// on its row. Its selection is the model's sidebar choice.
class SidebarView : public QWidget
{
    Q_OBJECT

public:
    explicit SidebarView(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] SidebarList* list() const { return m_list; }
    // The row that stands for the item; invalid when no row does.
    [[nodiscard]] QModelIndex row(const SidebarItem& item) const;
    // The titles of the rows that can be chosen, in order.
    [[nodiscard]] QStringList choiceTitles() const;

private:
    void selectCurrent();
    void placeAddButton();
    void showMenu(const QModelIndex& index, const QPoint& globalPosition);

    AppModel& m_model;
    SidebarModel& m_rows;
    CellLook* m_look;
    SidebarList* m_list;
    bool m_updating = false;
};

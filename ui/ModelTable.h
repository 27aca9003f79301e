#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <QStringList>
#include <QTableView>
#include <memory>

class AppModel;
class CellLook;
class QMenu;
class ScanFilterProxy;

// The sortable, multi-selection table of model entries: the application model's scan through
// its filter proxy. Its selection and sort order are the application model's. Programmatic
// updates of the selection never write back: only the user's clicks, keys and select-all
// change the model's selection. Removed rows leave the selection of the others and the scroll
// position as they were.
class ModelTable : public QTableView
{
    Q_OBJECT

public:
    ModelTable(AppModel& model, QWidget* parent = nullptr);
    ~ModelTable() override;

    // The rows shown, in order.
    [[nodiscard]] ScanFilterProxy& rows() const { return m_rows; }

    // The ids a context menu or double-click at the viewport point acts on: the whole selection
    // when the point is on a selected row, else that row alone; none on empty space.
    [[nodiscard]] QStringList idsAt(const QPoint& point) const;
    // The row menu for the entries with the ids; none when no scanned entry has one of them.
    [[nodiscard]] std::unique_ptr<QMenu> menuFor(const QStringList& ids);
    // Puts the primary paths on the clipboard as plain text, one a line.
    static void copyPaths(const QList<ModelEntry>& entries);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applySelection();
    void writeSelection();
    void applySortIndicator();
    void sortBy(int column);
    [[nodiscard]] QList<ModelEntry> entriesOf(const QStringList& ids) const;

    AppModel& m_model;
    ScanFilterProxy& m_rows;
    CellLook* m_look;
    bool m_applying = false;
    bool m_writing = false;
};

#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <QStringList>
#include <QTableView>
#include <memory>

class AppModel;
class ModelTableModel;
class QMenu;

// The sortable, multi-selection table of model entries. Its rows are given by the page; its
// selection and sort order are the application model's. Programmatic updates of the selection
// never write back: only the user's clicks, keys and select-all change the model's selection.
class ModelTable : public QTableView
{
    Q_OBJECT

public:
    ModelTable(AppModel& model, QWidget* parent = nullptr);
    ~ModelTable() override;

    // Shows the rows and selects those whose ids are in the model's selection.
    void setRows(QList<ModelEntry> rows);
    [[nodiscard]] ModelTableModel& tableModel() const { return *m_rows; }

    // The ids a context menu or double-click at the viewport point acts on: the whole selection
    // when the point is on a selected row, else that row alone; none on empty space.
    [[nodiscard]] QStringList idsAt(const QPoint& point) const;
    // The row menu for the entries with the ids; none when no scanned entry has one of them.
    [[nodiscard]] std::unique_ptr<QMenu> menuFor(const QStringList& ids);
    // Puts the primary paths on the clipboard as plain text, one a line.
    static void copyPaths(const QList<ModelEntry>& entries);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void applySelection();
    void writeSelection();
    void applySortIndicator();
    void sortBy(int column);
    [[nodiscard]] QList<ModelEntry> entriesOf(const QStringList& ids) const;

    AppModel& m_model;
    ModelTableModel* m_rows;
    bool m_applying = false;
    bool m_writing = false;
};

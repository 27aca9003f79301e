#pragma once

#include "model/TrashEntry.h"

#include <QSet>
#include <QStringList>
#include <QTableView>
#include <memory>

class CellLook;
class QMenu;
class TrashSortProxy;

// The sortable, multi-selection table of the restore log, through the application model's
// Trash sort proxy. The selection is kept by entry id through reloads; what it reports is
// always the selected rows shown now. Its gestures are emitted as requests; the page decides
// whether to act on them.
class TrashTable : public QTableView
{
    Q_OBJECT

public:
    explicit TrashTable(TrashSortProxy& rows, QWidget* parent = nullptr);
    ~TrashTable() override;

    [[nodiscard]] TrashSortProxy& rows() const { return m_rows; }
    // The ids of the selected rows shown now, in row order.
    [[nodiscard]] QStringList selectedIds() const;
    // Forgets the selection, or the given ids of it.
    void clearSelectedIds();
    void forgetIds(const QStringList& ids);
    // Back to newest first with nothing selected.
    void resetViewState();

    // The ids a context menu or double-click at the viewport point acts on: the whole selection
    // when the point is on a selected row, else that row alone; none on empty space.
    [[nodiscard]] QStringList idsAt(const QPoint& point) const;
    // The row menu for the ids; none for an empty list.
    [[nodiscard]] std::unique_ptr<QMenu> menuFor(const QStringList& ids);

signals:
    void restoreRequested(const QStringList& ids);
    void revealRequested(const QStringList& ids);
    void deleteRequested(const QStringList& ids);
    // The user changed the selection.
    void selectionEdited();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applySelection();
    void sortBy(int column);
    void applySortIndicator();

    TrashSortProxy& m_rows;
    CellLook* m_look;
    QSet<QString> m_selection;
    bool m_applying = false;
};

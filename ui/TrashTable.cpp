#include "ui/TrashTable.h"

#include "ui/CellRoles.h"
#include "ui/TableLook.h"
#include "ui/TrashTableModel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScopedValueRollback>

namespace {

// Minimum and ideal width of each column, in column order.
const QList<TableLook::ColumnWidth> widths = {{260, 460}, {90, 120}, {70, 90}, {80, 110}};

} // namespace

TrashTable::TrashTable(QWidget* parent) : QTableView(parent), m_rows(new TrashTableModel(this))
{
    setAccessibleName(tr("Trash items"));
    setModel(m_rows);
    TableLook::apply(*this, TrashTableModel::name, widths);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TrashTable::sortBy);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_applying)
            return;
        const QStringList ids = selectedIds();
        m_selection = QSet<QString>(ids.cbegin(), ids.cend());
        emit selectionEdited();
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        const QStringList ids = idsAt(visualRect(index).center());
        if (!ids.isEmpty())
            emit restoreRequested(ids);
    });
    applySortIndicator();
}

TrashTable::~TrashTable() = default;

void TrashTable::setEntries(QList<TrashEntry> entries)
{
    {
        const QScopedValueRollback guard(m_applying, true);
        m_rows->setEntries(std::move(entries));
    }
    applySelection();
}

QStringList TrashTable::selectedIds() const
{
    QStringList ids;
    const QList<TrashEntry>& rows = m_rows->rows();
    for (int row = 0; row < rows.size(); ++row)
        if (selectionModel()->isRowSelected(row, {}))
            ids << rows[row].id;
    return ids;
}

void TrashTable::clearSelectedIds()
{
    m_selection.clear();
    applySelection();
}

void TrashTable::forgetIds(const QStringList& ids)
{
    for (const QString& id : ids)
        m_selection.remove(id);
    applySelection();
}

void TrashTable::resetViewState()
{
    m_selection.clear();
    {
        const QScopedValueRollback guard(m_applying, true);
        m_rows->setSortOrder({TrashTableModel::SortKey{}});
    }
    applySelection();
    applySortIndicator();
}

void TrashTable::applySelection()
{
    const QList<TrashEntry>& rows = m_rows->rows();
    QItemSelection selection;
    for (int row = 0; row < rows.size(); ++row)
        if (m_selection.contains(rows[row].id))
            selection.select(m_rows->index(row, 0),
                             m_rows->index(row, TrashTableModel::columnCount_ - 1));
    const QScopedValueRollback guard(m_applying, true);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TrashTable::sortBy(int column)
{
    QList<TrashTableModel::SortKey> keys = m_rows->sortOrder();
    if (!keys.isEmpty() && keys.first().column == column) {
        keys.first().ascending = !keys.first().ascending;
    } else {
        TrashTableModel::SortKey key{column, true};
        for (qsizetype i = 0; i < keys.size(); ++i)
            if (keys[i].column == column) {
                key = keys.takeAt(i);
                break;
            }
        keys.prepend(key);
    }
    {
        const QScopedValueRollback guard(m_applying, true);
        m_rows->setSortOrder(keys);
    }
    applySelection();
    applySortIndicator();
}

void TrashTable::applySortIndicator()
{
    const QList<TrashTableModel::SortKey>& keys = m_rows->sortOrder();
    const QSignalBlocker blocker(horizontalHeader());
    if (keys.isEmpty())
        horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    else
        horizontalHeader()->setSortIndicator(
            keys[0].column, keys[0].ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QStringList TrashTable::idsAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        return {};
    if (!selectionModel()->isRowSelected(index.row(), {}))
        return {m_rows->rows()[index.row()].id};
    return selectedIds();
}

std::unique_ptr<QMenu> TrashTable::menuFor(const QStringList& ids)
{
    if (ids.isEmpty())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    menu->addAction(tr("Put Back"), this, [this, ids] { emit restoreRequested(ids); });
    menu->addAction(tr("Show in File Manager"), this, [this, ids] { emit revealRequested(ids); });
    menu->addSeparator();
    menu->addAction(tr("Delete Immediately…"), this, [this, ids] { emit deleteRequested(ids); });
    return menu;
}

void TrashTable::contextMenuEvent(QContextMenuEvent* event)
{
    if (const std::unique_ptr<QMenu> menu = menuFor(idsAt(event->pos())))
        menu->exec(event->globalPos());
}

void TrashTable::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        const QStringList ids = selectedIds();
        if (!ids.isEmpty())
            emit deleteRequested(ids);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

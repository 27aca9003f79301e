#include "ui/TrashTable.h"

#include "app/TrashItemModel.h"
#include "app/TrashSortProxy.h"
#include "ui/CellLook.h"
#include "ui/ContextMenuKeys.h"
#include "ui/TableLook.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScopedValueRollback>

namespace {

// Minimum and ideal width of each column, in column order.
const QList<TableLook::ColumnWidth> widths = {{260, 460}, {90, 120}, {70, 90}, {80, 110}};

} // namespace

TrashTable::TrashTable(TrashSortProxy& rows, QWidget* parent)
    : QTableView(parent), m_rows(rows), m_look(new CellLook(rows, this))
{
    setAccessibleName(tr("Trash items"));
    setModel(m_look);
    TableLook::apply(*this, TrashItemModel::name, widths);
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
    // A reload that reorders or adds rows selects again the rows selected before.
    connect(m_look, &QAbstractItemModel::layoutChanged, this, &TrashTable::applySelection);
    connect(m_look, &QAbstractItemModel::modelReset, this, &TrashTable::applySelection);
    connect(m_look, &QAbstractItemModel::rowsInserted, this, &TrashTable::applySelection);
    applySortIndicator();
}

TrashTable::~TrashTable() = default;

QStringList TrashTable::selectedIds() const
{
    QStringList ids;
    for (int row = 0; row < m_look->rowCount(); ++row)
        if (selectionModel()->isRowSelected(row, {}))
            ids << m_rows.entryAt(row).id;
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
        m_rows.setSortOrder({TrashSortProxy::SortKey{}});
    }
    applySelection();
    applySortIndicator();
}

void TrashTable::applySelection()
{
    QItemSelection selection;
    if (!m_selection.isEmpty())
        for (int row = 0; row < m_look->rowCount(); ++row)
            if (m_selection.contains(m_rows.entryAt(row).id))
                selection.select(m_look->index(row, 0),
                                 m_look->index(row, TrashItemModel::columnCount_ - 1));
    const QScopedValueRollback guard(m_applying, true);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TrashTable::sortBy(int column)
{
    QList<TrashSortProxy::SortKey> keys = m_rows.sortOrder();
    if (!keys.isEmpty() && keys.first().column == column) {
        keys.first().ascending = !keys.first().ascending;
    } else {
        TrashSortProxy::SortKey key{column, true};
        for (qsizetype i = 0; i < keys.size(); ++i)
            if (keys[i].column == column) {
                key = keys.takeAt(i);
                break;
            }
        keys.prepend(key);
    }
    {
        const QScopedValueRollback guard(m_applying, true);
        m_rows.setSortOrder(keys);
    }
    applySelection();
    applySortIndicator();
}

void TrashTable::applySortIndicator()
{
    const QList<TrashSortProxy::SortKey>& keys = m_rows.sortOrder();
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
        return {m_rows.entryAt(index.row()).id};
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
    const QPoint at = ContextMenuKeys::pointOf(*this, *event);
    if (std::unique_ptr<QMenu> menu = menuFor(idsAt(at)))
        ContextMenuKeys::popup(std::move(menu), viewport()->mapToGlobal(at));
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
    if (!ContextMenuKeys::handle(*this, *event))
        QTableView::keyPressEvent(event);
}

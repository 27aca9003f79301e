#include "ui/ModelTable.h"

#include "app/AppModel.h"
#include "ui/CellRoles.h"
#include "ui/ModelTableModel.h"
#include "ui/TableLook.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScopedValueRollback>

namespace {

// Minimum and ideal width of each column, in column order.
const QList<TableLook::ColumnWidth> widths = {{260, 440}, {90, 120}, {70, 90},
                                              {80, 100},  {80, 100}, {60, 70}};

} // namespace

ModelTable::ModelTable(AppModel& model, QWidget* parent)
    : QTableView(parent), m_model(model), m_rows(new ModelTableModel(this))
{
    setAccessibleName(tr("Models"));
    setModel(m_rows);
    TableLook::apply(*this, ModelTableModel::name, widths);
    setTextElideMode(Qt::ElideMiddle);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &ModelTable::sortBy);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ModelTable::writeSelection);
    connect(&m_model, &AppModel::selectionChanged, this, [this] {
        if (!m_writing)
            applySelection();
    });
    connect(&m_model, &AppModel::sortOrderChanged, this, &ModelTable::applySortIndicator);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        const QStringList ids = idsAt(visualRect(index).center());
        QStringList paths;
        for (const ModelEntry& entry : entriesOf(ids))
            paths << entry.primaryPath;
        if (!paths.isEmpty())
            m_model.reveal(paths);
    });
    // Delete moves the selection to the Trash, only while the focus is in this table.
    auto* trash = new QAction(tr("Move to Trash"), this);
    trash->setShortcut(QKeySequence(Qt::Key_Delete));
    trash->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(trash, &QAction::triggered, this, [this] {
        const QList<ModelEntry> selected = m_model.selectedModels();
        if (!m_model.busyMessage() && !selected.isEmpty())
            (void)m_model.requestTrash(selected);
    });
    addAction(trash);
    applySortIndicator();
}

ModelTable::~ModelTable() = default;

void ModelTable::setRows(QList<ModelEntry> rows)
{
    {
        const QScopedValueRollback guard(m_applying, true);
        m_rows->setRows(std::move(rows));
    }
    applySelection();
}

void ModelTable::applySelection()
{
    const QSet<QString>& wanted = m_model.selection();
    const QList<ModelEntry>& rows = m_rows->rows();
    const int last = m_rows->columnCount() - 1;
    QItemSelection selection;
    int start = -1;
    for (int row = 0; row <= rows.size(); ++row) {
        const bool in = row < rows.size() && wanted.contains(rows[row].id);
        if (in && start < 0)
            start = row;
        if (!in && start >= 0) {
            selection.select(m_rows->index(start, 0), m_rows->index(row - 1, last));
            start = -1;
        }
    }
    const QScopedValueRollback guard(m_applying, true);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ModelTable::writeSelection()
{
    if (m_applying)
        return;
    QSet<QString> ids;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        ids.insert(m_rows->rows()[index.row()].id);
    const QScopedValueRollback guard(m_writing, true);
    m_model.setSelection(ids);
}

void ModelTable::applySortIndicator()
{
    const QList<SortKey>& keys = m_model.sortOrder();
    const std::optional<int> column =
        keys.isEmpty() ? std::nullopt : ModelTableModel::columnOf(keys.first().field);
    const QSignalBlocker blocker(horizontalHeader());
    horizontalHeader()->setSortIndicator(column.value_or(-1), keys.isEmpty() || keys[0].ascending
                                                                  ? Qt::AscendingOrder
                                                                  : Qt::DescendingOrder);
}

void ModelTable::sortBy(int column)
{
    const std::optional<SortKey::Field> field = ModelTableModel::sortField(column);
    if (field) {
        QList<SortKey> keys = m_model.sortOrder();
        if (!keys.isEmpty() && keys.first().field == *field) {
            keys.first().ascending = !keys.first().ascending;
        } else {
            SortKey key{*field, true};
            for (qsizetype i = 0; i < keys.size(); ++i)
                if (keys[i].field == *field) {
                    key = keys.takeAt(i);
                    break;
                }
            keys.prepend(key);
        }
        m_model.setSortOrder(keys);
    }
    applySortIndicator();
}

QStringList ModelTable::idsAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        return {};
    if (!selectionModel()->isRowSelected(index.row(), {}))
        return {m_rows->rows()[index.row()].id};
    QStringList ids;
    const QList<ModelEntry>& rows = m_rows->rows();
    for (int row = 0; row < rows.size(); ++row)
        if (selectionModel()->isRowSelected(row, {}))
            ids << rows[row].id;
    return ids;
}

QList<ModelEntry> ModelTable::entriesOf(const QStringList& ids) const
{
    return m_model.models(QSet<QString>(ids.cbegin(), ids.cend()));
}

std::unique_ptr<QMenu> ModelTable::menuFor(const QStringList& ids)
{
    const QList<ModelEntry> entries = entriesOf(ids);
    if (entries.isEmpty())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QStringList paths;
    for (const ModelEntry& entry : entries)
        paths << entry.primaryPath;
    menu->addAction(tr("Show in File Manager"), this, [this, paths] { m_model.reveal(paths); });
    menu->addAction(tr("Copy Path"), this, [entries] { copyPaths(entries); });
    menu->addSeparator();
    if (m_model.sidebar() == SidebarItem::duplicates())
        menu->addAction(tr("Free Duplicates…"), this,
                        [this, entries] { (void)m_model.freeDuplicates(entries); });
    menu->addAction(tr("Move to…"), this, [this, entries] { (void)m_model.move(entries); });
    if (std::any_of(entries.cbegin(), entries.cend(),
                    [](const ModelEntry& entry) { return entry.isMoved(); }))
        menu->addAction(tr("Move Back"), this,
                        [this, entries] { (void)m_model.moveBack(entries); });
    menu->addSeparator();
    menu->addAction(tr("Move to Trash"), this,
                    [this, entries] { (void)m_model.requestTrash(entries); });
    return menu;
}

void ModelTable::copyPaths(const QList<ModelEntry>& entries)
{
    QStringList paths;
    for (const ModelEntry& entry : entries)
        paths << entry.primaryPath;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(paths.join(u'\n'));
}

void ModelTable::contextMenuEvent(QContextMenuEvent* event)
{
    if (const std::unique_ptr<QMenu> menu = menuFor(idsAt(event->pos())))
        menu->exec(event->globalPos());
}

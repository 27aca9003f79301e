#include "ui/TableLook.h"

#include "ui/NameCell.h"

#include <QHeaderView>
#include <QTableView>
#include <algorithm>

namespace TableLook {

void apply(QTableView& table, int nameColumn, const QList<ColumnWidth>& widths)
{
    table.setItemDelegateForColumn(nameColumn, new NameCell(&table));
    table.setTabKeyNavigation(false);
    table.setSelectionMode(QAbstractItemView::ExtendedSelection);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.setShowGrid(false);
    table.setAlternatingRowColors(true);
    table.setWordWrap(false);
    table.verticalHeader()->hide();
    table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table.verticalHeader()->setDefaultSectionSize(NameCell::rowHeight(table.font()));

    QHeaderView* header = table.horizontalHeader();
    const auto smallest = std::min_element(
        widths.cbegin(), widths.cend(),
        [](const ColumnWidth& a, const ColumnWidth& b) { return a.minimum < b.minimum; });
    if (smallest != widths.cend())
        header->setMinimumSectionSize(smallest->minimum);
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setHighlightSections(false);
    for (int column = 0; column < widths.size(); ++column)
        header->resizeSection(column, widths[column].ideal);
    // The name takes the width the other columns leave; those keep their own.
    header->setSectionResizeMode(nameColumn, QHeaderView::Stretch);
    QObject::connect(header, &QHeaderView::sectionResized, &table,
                     [header, nameColumn, widths](int column, int, int size) {
                         if (column != nameColumn && column < widths.size() &&
                             size < widths[column].minimum)
                             header->resizeSection(column, widths[column].minimum);
                     });
}

} // namespace TableLook

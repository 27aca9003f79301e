#pragma once

#include <QList>

class QTableView;

// The look and column behaviour the models table and the Trash table share: whole-row extended
// selection, no editing or grid, fixed two-line rows drawn by NameCell in the name column,
// clickable sort headers, and columns that keep at least their minimum width while the name
// column takes the width left over.
namespace TableLook {

struct ColumnWidth
{
    int minimum;
    int ideal;
};

// Applies the look to a table whose model is already set; widths[i] belongs to column i.
void apply(QTableView& table, int nameColumn, const QList<ColumnWidth>& widths);

} // namespace TableLook

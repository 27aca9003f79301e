#pragma once

#include "app/EntryTableModel.h"
#include "app/ItemRoles.h"
#include "model/TrashEntry.h"

// The restore log's entries as one table, in the log's order; TrashSortProxy sorts them.
class TrashItemModel : public EntryTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        name,
        source,
        size,
        trashed,
        columnCount_
    };

    explicit TrashItemModel(QObject* parent = nullptr);

    // Brings the rows to the entries: restored and deleted entries remove only their rows.
    void setEntries(QList<TrashEntry> entries);
    [[nodiscard]] const QList<TrashEntry>& entries() const { return m_rows; }
    [[nodiscard]] const TrashEntry& entryAt(int row) const { return m_rows[row]; }

    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    [[nodiscard]] QString secondLine(const TrashEntry& entry) const;

    QList<TrashEntry> m_rows;
};

#pragma once

#include "model/TrashEntry.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QIcon>
#include <QList>
#include <array>
#include <functional>
#include <optional>

// The rows of the Trash table: the restore log's entries in the table's own sort order, newest
// first until a column head is clicked.
class TrashTableModel : public QAbstractTableModel
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

    struct SortKey
    {
        int column = trashed;
        bool ascending = false;

        friend bool operator==(const SortKey&, const SortKey&) = default;
    };

    explicit TrashTableModel(QObject* parent = nullptr);

    // Replaces the entries (a model reset); they are shown in the sort order.
    void setEntries(QList<TrashEntry> entries);
    [[nodiscard]] const QList<TrashEntry>& rows() const { return m_rows; }
    [[nodiscard]] const QList<SortKey>& sortOrder() const { return m_sortOrder; }
    // Re-sorts the rows (a model reset).
    void setSortOrder(QList<SortKey> keys);
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

private:
    void sortRows();

    QList<TrashEntry> m_rows;
    QList<SortKey> m_sortOrder{SortKey{}};
    std::function<QDateTime()> m_now;
    std::array<QIcon, ModelSource::count> m_sourceIcons;
};

#pragma once

#include <QCollator>
#include <QList>
#include <QSortFilterProxyModel>

class TrashItemModel;
struct TrashEntry;

// The Trash table's rows in its own sort order: newest first until a column head is clicked,
// then by the clicked columns, most recent click first.
class TrashSortProxy : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    struct SortKey
    {
        int column = 3; // TrashItemModel::trashed
        bool ascending = false;

        friend bool operator==(const SortKey&, const SortKey&) = default;
    };

    explicit TrashSortProxy(TrashItemModel& source, QObject* parent = nullptr);

    [[nodiscard]] const QList<SortKey>& sortOrder() const { return m_keys; }
    void setSortOrder(const QList<SortKey>& keys);
    [[nodiscard]] const TrashEntry& entryAt(int row) const;

protected:
    [[nodiscard]] bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    TrashItemModel& m_source;
    QList<SortKey> m_keys{SortKey{}};
    QCollator m_collator;
};

#include "app/TrashSortProxy.h"

#include "app/TrashItemModel.h"

namespace {

template <typename T> int order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

TrashSortProxy::TrashSortProxy(TrashItemModel& source, QObject* parent)
    : QSortFilterProxyModel(parent), m_source(source)
{
    static_assert(SortKey{}.column == TrashItemModel::trashed);
    m_collator.setNumericMode(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
    setSourceModel(&source);
    sort(0, Qt::AscendingOrder);
}

void TrashSortProxy::setSortOrder(const QList<SortKey>& keys)
{
    if (keys == m_keys)
        return;
    m_keys = keys;
    invalidate();
}

const TrashEntry& TrashSortProxy::entryAt(int row) const
{
    return m_source.entryAt(mapToSource(index(row, 0)).row());
}

bool TrashSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const TrashEntry& a = m_source.entryAt(left.row());
    const TrashEntry& b = m_source.entryAt(right.row());
    for (const SortKey& key : m_keys) {
        int result = 0;
        switch (key.column) {
        case TrashItemModel::name:
            result = m_collator.compare(a.modelName, b.modelName);
            break;
        case TrashItemModel::source:
            result = m_collator.compare(a.source, b.source);
            break;
        case TrashItemModel::size:
            result = order(a.sizeBytes, b.sizeBytes);
            break;
        default:
            result = order(a.trashedAt, b.trashedAt);
        }
        if (result != 0)
            return key.ascending ? result < 0 : result > 0;
    }
    return false;
}

#include "app/ScanFilterProxy.h"

#include "app/ModelList.h"
#include "app/ScanItemModel.h"

ScanFilterProxy::ScanFilterProxy(ScanItemModel& source, QObject* parent)
    : QSortFilterProxyModel(parent), m_source(source),
      m_clock([] { return QDateTime::currentDateTimeUtc(); }), m_now(m_clock())
{
    m_collator.setNumericMode(true);
    setDynamicSortFilter(true);
    setSourceModel(&source);
    sort(0, Qt::AscendingOrder);
}

void ScanFilterProxy::setSidebar(const std::optional<SidebarItem>& item)
{
    if (item.value_or(SidebarItem::all()) == m_sidebar)
        return;
    m_sidebar = item.value_or(SidebarItem::all());
    refilter();
}

void ScanFilterProxy::setSearch(const QString& text)
{
    const QString needle = ModelList::trimmedSearch(text);
    if (needle == m_needle)
        return;
    m_needle = needle;
    refilter();
}

void ScanFilterProxy::setSortOrder(const QList<SortKey>& keys)
{
    if (keys == m_keys)
        return;
    m_keys = keys;
    invalidate();
}

void ScanFilterProxy::setClock(std::function<QDateTime()> now)
{
    m_clock = std::move(now);
    refilter();
}

void ScanFilterProxy::refilter()
{
    m_now = m_clock();
    // One layout change rather than a removal per run of rows.
    invalidate();
}

const ModelEntry& ScanFilterProxy::entryAt(int row) const
{
    return m_source.entryAt(mapToSource(index(row, 0)).row());
}

QList<ModelEntry> ScanFilterProxy::entries() const
{
    QList<ModelEntry> list;
    const int rows = rowCount();
    list.reserve(rows);
    for (int row = 0; row < rows; ++row)
        list << entryAt(row);
    return list;
}

bool ScanFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    const ModelEntry& entry = m_source.entryAt(sourceRow);
    return ModelList::belongsTo(entry, m_sidebar, m_now) &&
           (m_needle.isEmpty() || ModelList::matches(entry, m_needle));
}

bool ScanFilterProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    return ModelList::lessThan(m_source.entryAt(left.row()), m_source.entryAt(right.row()), m_keys,
                               m_collator);
}

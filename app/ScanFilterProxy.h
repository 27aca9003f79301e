#pragma once

#include "app/SidebarItem.h"
#include "app/SortKey.h"
#include "model/ModelEntry.h"

#include <QCollator>
#include <QDateTime>
#include <QSortFilterProxyModel>
#include <optional>

class ScanItemModel;

// The rows of the scan the models table shows: those of the sidebar choice whose name or path
// holds the search (every entry while nothing is chosen), in the multi-key sort order (stable: ties
// keep scan order).
class ScanFilterProxy : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit ScanFilterProxy(ScanItemModel& source, QObject* parent = nullptr);

    void setSidebar(const std::optional<SidebarItem>& item);
    void setSearch(const QString& text);
    void setSortOrder(const QList<SortKey>& keys);
    // The time "Not Used Lately" is measured from; the system clock by default.
    void setClock(std::function<QDateTime()> now);

    [[nodiscard]] const ModelEntry& entryAt(int row) const;
    // The entries of the rows, in row order.
    [[nodiscard]] QList<ModelEntry> entries() const;

protected:
    [[nodiscard]] bool filterAcceptsRow(int sourceRow, const QModelIndex& parent) const override;
    [[nodiscard]] bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void refilter();

    ScanItemModel& m_source;
    SidebarItem m_sidebar; // no choice shows every entry
    QString m_needle;
    QList<SortKey> m_keys{SortKey{}};
    QCollator m_collator;
    std::function<QDateTime()> m_clock;
    QDateTime m_now;
};

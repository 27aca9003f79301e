#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

// The part the application's tables share: rows keyed by an id, fixed column titles, a clock
// for relative dates, and bringing the rows to a new list with row removals, inserts and
// dataChanged, so the views keep their selection, current row and scroll position. A model
// reset happens only when rows that stay change their order.
class EntryTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    EntryTableModel(QStringList titles, QObject* parent = nullptr);

    // The row of the entry with the id, if there is one.
    [[nodiscard]] std::optional<int> rowOf(const QString& id) const;
    // The time relative dates are measured from; the system clock by default.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

protected:
    [[nodiscard]] QDateTime now() const { return m_now(); }
    [[nodiscard]] bool validCell(const QModelIndex& index) const
    {
        return checkIndex(index,
                          CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid);
    }
    // Makes `rows` equal to `incoming` (each row has a unique `id` and operator==); rowOf
    // answers for the new rows once it returns.
    template <typename Row> void syncRows(QList<Row>& rows, QList<Row> incoming);

private:
    void indexIds(const QStringList& ids);
    void changed(const QList<int>& rows);

    QStringList m_titles;
    QHash<QString, int> m_rowOfId;
    int m_count = 0;
    std::function<QDateTime()> m_now;
};

template <typename Row> void EntryTableModel::syncRows(QList<Row>& rows, QList<Row> incoming)
{
    QSet<QString> incomingIds;
    incomingIds.reserve(incoming.size());
    for (const Row& row : std::as_const(incoming))
        incomingIds.insert(row.id);
    QStringList kept;
    for (const Row& row : std::as_const(rows))
        if (incomingIds.contains(row.id))
            kept << row.id;
    QStringList keptIncoming;
    for (const Row& row : std::as_const(incoming))
        if (m_rowOfId.contains(row.id))
            keptIncoming << row.id;
    if (kept != keptIncoming || incomingIds.size() != incoming.size()) {
        beginResetModel();
        rows = std::move(incoming);
        m_count = static_cast<int>(rows.size());
        QStringList ids;
        for (const Row& row : std::as_const(rows))
            ids << row.id;
        indexIds(ids);
        endResetModel();
        return;
    }
    // Removals from the end, a contiguous run at a time.
    for (int last = static_cast<int>(rows.size()) - 1; last >= 0;) {
        if (incomingIds.contains(rows[last].id)) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !incomingIds.contains(rows[first - 1].id))
            --first;
        beginRemoveRows({}, first, last);
        rows.remove(first, last - first + 1);
        m_count = static_cast<int>(rows.size());
        endRemoveRows();
        last = first - 1;
    }
    // Inserts in the incoming order, then the rows whose contents changed.
    QList<int> updated;
    for (int at = 0; at < incoming.size();) {
        if (at < rows.size() && rows[at].id == incoming[at].id) {
            if (!(rows[at] == incoming[at])) {
                rows[at] = std::move(incoming[at]);
                updated << at;
            }
            ++at;
            continue;
        }
        int end = at;
        while (end < incoming.size() && !m_rowOfId.contains(incoming[end].id))
            ++end;
        beginInsertRows({}, at, end - 1);
        for (int i = at; i < end; ++i)
            rows.insert(i, std::move(incoming[i]));
        m_count = static_cast<int>(rows.size());
        endInsertRows();
        at = end;
    }
    QStringList ids;
    for (const Row& row : std::as_const(rows))
        ids << row.id;
    indexIds(ids);
    changed(updated);
}

#include "app/EntryTableModel.h"

EntryTableModel::EntryTableModel(QStringList titles, QObject* parent)
    : QAbstractTableModel(parent), m_titles(std::move(titles)),
      m_now([] { return QDateTime::currentDateTime(); })
{}

std::optional<int> EntryTableModel::rowOf(const QString& id) const
{
    const auto found = m_rowOfId.constFind(id);
    if (found == m_rowOfId.cend())
        return std::nullopt;
    return *found;
}

int EntryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int EntryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_titles.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_titles[section];
}

void EntryTableModel::indexIds(const QStringList& ids)
{
    m_rowOfId.clear();
    m_rowOfId.reserve(ids.size());
    for (int row = 0; row < ids.size(); ++row)
        m_rowOfId.insert(ids[row], row);
}

void EntryTableModel::changed(const QList<int>& rows)
{
    const int last = columnCount() - 1;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1)
            ++end;
        emit dataChanged(index(rows[i], 0), index(rows[end - 1], last));
        i = end;
    }
}

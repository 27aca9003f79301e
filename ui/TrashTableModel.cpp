#include "ui/TrashTableModel.h"

#include "text/Format.h"
#include "ui/CellRoles.h"
#include "ui/SourceStyle.h"

#include <QCollator>
#include <QColor>
#include <algorithm>

namespace {

const QColor grey(0x8E, 0x8E, 0x93);

template <typename T> int order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

TrashTableModel::TrashTableModel(QObject* parent)
    : QAbstractTableModel(parent), m_now([] { return QDateTime::currentDateTime(); })
{
    for (const ModelSource source : ModelSource::allCases())
        m_sourceIcons[source.value()] = SourceStyle::icon(source);
}

void TrashTableModel::setEntries(QList<TrashEntry> entries)
{
    beginResetModel();
    m_rows = std::move(entries);
    sortRows();
    endResetModel();
}

void TrashTableModel::setSortOrder(QList<SortKey> keys)
{
    beginResetModel();
    m_sortOrder = std::move(keys);
    sortRows();
    endResetModel();
}

void TrashTableModel::sortRows()
{
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const auto compare = [&](const TrashEntry& a, const TrashEntry& b, int column) {
        switch (column) {
        case name:
            return collator.compare(a.modelName, b.modelName);
        case source:
            return collator.compare(a.source, b.source);
        case size:
            return order(a.sizeBytes, b.sizeBytes);
        default:
            return order(a.trashedAt, b.trashedAt);
        }
    };
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const TrashEntry& a, const TrashEntry& b) {
        for (const SortKey& key : m_sortOrder) {
            const int result = compare(a, b, key.column);
            if (result != 0)
                return key.ascending ? result < 0 : result > 0;
        }
        return false;
    });
}

int TrashTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TrashTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

QVariant TrashTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TrashEntry& entry = m_rows[index.row()];
    const int column = index.column();
    const std::optional<ModelSource> known = entry.modelSource();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case name:
            return entry.modelName;
        case source:
            return known ? known->shortLabel() : entry.source;
        case size:
            return Format::bytes(entry.sizeBytes);
        default:
            return Format::relativeDate(entry.trashedDate(), m_now());
        }
    case CellRoles::id:
        return entry.id;
    case CellRoles::secondLine:
        if (column != name)
            return {};
        return tr("Was at %1")
            .arg(Format::shortPath(entry.originalPaths.isEmpty() ? tr("unknown")
                                                                 : entry.originalPaths.first()));
    case Qt::ToolTipRole:
        if (column == name && !entry.originalPaths.isEmpty())
            return entry.originalPaths.first();
        return {};
    case Qt::DecorationRole:
        if (column == source && known)
            return m_sourceIcons[known->value()];
        return {};
    case Qt::TextAlignmentRole:
        if (column == size)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (column == trashed)
            return grey;
        return {};
    default:
        return {};
    }
}

QVariant TrashTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case name:
        return tr("Name");
    case source:
        return tr("Source");
    case size:
        return tr("Size");
    case trashed:
        return tr("Trashed");
    default:
        return {};
    }
}

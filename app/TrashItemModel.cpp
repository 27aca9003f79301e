#include "app/TrashItemModel.h"

#include "app/DisplayText.h"
#include "text/Format.h"

TrashItemModel::TrashItemModel(QObject* parent)
    : EntryTableModel({tr("Name"), tr("Source"), tr("Size"), tr("Trashed")}, parent)
{}

void TrashItemModel::setEntries(QList<TrashEntry> entries)
{
    syncRows(m_rows, std::move(entries));
}

QString TrashItemModel::secondLine(const TrashEntry& entry) const
{
    return DisplayText::oneLine(
        tr("Was at %1")
            .arg(Format::shortPath(entry.originalPaths.isEmpty() ? tr("unknown")
                                                                 : entry.originalPaths.first())));
}

QVariant TrashItemModel::data(const QModelIndex& index, int role) const
{
    if (!validCell(index))
        return {};
    const TrashEntry& entry = m_rows[index.row()];
    const int column = index.column();
    const std::optional<ModelSource> known = entry.modelSource();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case name:
            return DisplayText::oneLine(entry.modelName);
        case source:
            return known ? known->shortLabel() : DisplayText::oneLine(entry.source);
        case size:
            return Format::bytes(entry.sizeBytes);
        default:
            return Format::relativeDate(entry.trashedDate(), now());
        }
    case Qt::AccessibleTextRole:
        if (column == name)
            return QString(DisplayText::oneLine(entry.modelName) + QStringLiteral(", ") +
                           secondLine(entry));
        return {};
    case ItemRoles::id:
        return entry.id;
    case ItemRoles::secondLine:
        return column == name ? QVariant(secondLine(entry)) : QVariant();
    case Qt::ToolTipRole:
        if (column == name && !entry.originalPaths.isEmpty())
            return entry.originalPaths.first();
        return {};
    case ItemRoles::source:
        if (column == source && known)
            return static_cast<int>(known->value());
        return {};
    case ItemRoles::tone:
        return column == trashed ? QVariant(static_cast<int>(ItemTone::secondary)) : QVariant();
    case Qt::TextAlignmentRole:
        if (column == size)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

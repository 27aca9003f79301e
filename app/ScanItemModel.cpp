#include "app/ScanItemModel.h"

#include "app/DisplayText.h"
#include "app/DriveLabels.h"
#include "text/Format.h"

namespace {

QString inUseText(const ModelEntry& entry)
{
    return ScanItemModel::tr("Open in %1").arg(entry.inUseBy.value_or(QString()));
}

} // namespace

ScanItemModel::ScanItemModel(QObject* parent)
    : EntryTableModel(
          {tr("Name"), tr("Source"), tr("Size"), tr("Modified"), tr("Last Used"), tr("Status")},
          parent)
{}

void ScanItemModel::setEntries(QList<ModelEntry> entries)
{
    syncRows(m_rows, std::move(entries));
}

void ScanItemModel::setDriveLabels(QHash<QString, QString> labels)
{
    if (labels == m_driveLabels)
        return;
    m_driveLabels = std::move(labels);
    for (int row = 0; row < m_rows.size(); ++row)
        if (m_rows[row].isMoved())
            emit dataChanged(index(row, name), index(row, name));
}

std::optional<SortKey::Field> ScanItemModel::sortField(int column)
{
    switch (column) {
    case name:
        return SortKey::Field::name;
    case source:
        return SortKey::Field::source;
    case size:
        return SortKey::Field::sizeBytes;
    case modified:
        return SortKey::Field::lastModified;
    case lastUsed:
        return SortKey::Field::lastUsed;
    default:
        return std::nullopt;
    }
}

std::optional<int> ScanItemModel::columnOf(SortKey::Field field)
{
    for (int column = 0; column < columnCount_; ++column)
        if (sortField(column) == field)
            return column;
    return std::nullopt;
}

QString ScanItemModel::driveLabel(const ModelEntry& entry) const
{
    const QString target = entry.moved.value(0).target;
    const auto found = m_driveLabels.constFind(target);
    return found == m_driveLabels.constEnd() ? DriveLabels::fromPath(target) : *found;
}

QVariant ScanItemModel::display(const ModelEntry& entry, int column) const
{
    switch (column) {
    case name:
        return DisplayText::oneLine(entry.name);
    case source:
        return entry.sourceLabel();
    case size:
        return Format::bytes(entry.sizeBytes);
    case modified:
        return Format::relativeDate(entry.lastModified, now());
    case lastUsed:
        return Format::relativeDate(entry.lastUsed, now());
    case status:
        return entry.deleteRisk == DeleteRisk::risky ? tr("In Use") : tr("Safe");
    default:
        return {};
    }
}

QVariant ScanItemModel::toolTip(const ModelEntry& entry, int column) const
{
    switch (column) {
    case name:
        return entry.primaryPath;
    case size:
        if (entry.reclaimableBytes < entry.sizeBytes)
            return tr("Trashing frees %1").arg(Format::bytes(entry.reclaimableBytes));
        return {};
    case modified:
        if (entry.lastModified)
            return Format::longDate(*entry.lastModified);
        return {};
    case lastUsed:
        if (entry.lastUsed)
            return Format::longDate(*entry.lastUsed);
        return tr("This drive does not record when files are read");
    case status:
        if (entry.inUseBy)
            return inUseText(entry);
        if (entry.deleteRisk == DeleteRisk::risky)
            return tr("Ollama is running");
        return {};
    default:
        return {};
    }
}

QList<ItemTag> ScanItemModel::tags(const ModelEntry& entry) const
{
    QList<ItemTag> tags;
    if (entry.quantization)
        tags << ItemTag{DisplayText::oneLine(*entry.quantization), ItemTone::secondary, {}};
    if (entry.isDuplicate)
        tags << ItemTag{tr("DUPLICATE"), ItemTone::warning, {}};
    if (entry.isLarge())
        tags << ItemTag{tr("10 GB+"), ItemTone::danger, {}};
    if (entry.inUseBy)
        tags << ItemTag{tr("IN USE"), ItemTone::warning, inUseText(entry)};
    if (entry.isMoved())
        tags << ItemTag{tr("ON %1").arg(DisplayText::oneLine(driveLabel(entry)).toUpper()),
                        ItemTone::moved,
                        {}};
    return tags;
}

QString ScanItemModel::secondLine(const ModelEntry& entry) const
{
    // Details name folders in full ("Custom folder: /home/ada/Models"); shown in the ~ form.
    return DisplayText::oneLine(entry.detail ? Format::shortPathsIn(*entry.detail)
                                             : Format::shortPath(entry.primaryPath));
}

QString ScanItemModel::accessibleText(const ModelEntry& entry) const
{
    QStringList parts{DisplayText::oneLine(entry.name)};
    for (const ItemTag& tag : tags(entry))
        parts << tag.text;
    parts << secondLine(entry);
    return parts.join(QStringLiteral(", "));
}

QVariant ScanItemModel::data(const QModelIndex& index, int role) const
{
    if (!validCell(index))
        return {};
    const ModelEntry& entry = m_rows[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return display(entry, column);
    case Qt::ToolTipRole:
        return toolTip(entry, column);
    case Qt::AccessibleTextRole:
        return column == name ? QVariant(accessibleText(entry)) : QVariant();
    case ItemRoles::id:
        return entry.id;
    case ItemRoles::secondLine:
        return column == name ? QVariant(secondLine(entry)) : QVariant();
    case ItemRoles::tags:
        return column == name ? QVariant::fromValue(tags(entry)) : QVariant();
    case ItemRoles::source:
        return column == source ? QVariant(static_cast<int>(entry.source.value())) : QVariant();
    case ItemRoles::iconName:
        if (column == status)
            return entry.deleteRisk == DeleteRisk::risky ? QStringLiteral("dialog-warning")
                                                         : QStringLiteral("emblem-ok");
        return {};
    case ItemRoles::tone:
        if (column == modified || column == lastUsed ||
            (column == status && entry.deleteRisk != DeleteRisk::risky))
            return static_cast<int>(ItemTone::secondary);
        if (column == status)
            return static_cast<int>(ItemTone::warning);
        return {};
    case Qt::TextAlignmentRole:
        if (column == size)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

#include "ui/ModelTableModel.h"

#include "text/Format.h"
#include "ui/CellRoles.h"
#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/SourceStyle.h"
#include "ui/Tag.h"

#include <QColor>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLocale>
#include <QStorageInfo>

namespace {

const QColor grey(0x8E, 0x8E, 0x93); // the secondary text colour

// The drive holding the path: its volume name, else its mount point's last component. A drive
// that is not connected is named after the folder it mounts at under /mnt, /media/{user} or
// /run/media/{user}, else after the path's first folder.
QString driveLabelOf(const QString& path)
{
    const QStorageInfo storage(path);
    if (storage.isValid() && storage.isReady()) {
        if (!storage.name().isEmpty())
            return storage.name();
        const QString root = storage.rootPath();
        return root == u'/' ? root : root.mid(root.lastIndexOf(u'/') + 1);
    }
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    qsizetype at = 0;
    if (parts.value(0) == u"mnt")
        at = 1;
    else if (parts.value(0) == u"media")
        at = 2;
    else if (parts.value(0) == u"run" && parts.value(1) == u"media")
        at = 3;
    return parts.value(at, parts.value(0));
}

QString inUseText(const ModelEntry& entry)
{
    return QCoreApplication::translate("ModelTableModel", "Open in %1")
        .arg(entry.inUseBy.value_or(QString()));
}

} // namespace

ModelTableModel::ModelTableModel(QObject* parent)
    : QAbstractTableModel(parent), m_now([] { return QDateTime::currentDateTime(); }),
      m_inUseIcon(Icons::tinted(QStringLiteral("dialog-warning"), Palette::orange)),
      m_safeIcon(Icons::tinted(QStringLiteral("emblem-ok"), grey))
{
    for (const ModelSource source : ModelSource::allCases())
        m_sourceIcons[source.value()] = SourceStyle::icon(source);
}

void ModelTableModel::setRows(QList<ModelEntry> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_rowOfId.clear();
    m_rowOfId.reserve(m_rows.size());
    for (int row = 0; row < m_rows.size(); ++row)
        m_rowOfId.insert(m_rows[row].id, row);
    endResetModel();
}

std::optional<int> ModelTableModel::rowOf(const QString& id) const
{
    const auto found = m_rowOfId.constFind(id);
    if (found == m_rowOfId.cend())
        return std::nullopt;
    return *found;
}

std::optional<SortKey::Field> ModelTableModel::sortField(int column)
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

std::optional<int> ModelTableModel::columnOf(SortKey::Field field)
{
    for (int column = 0; column < columnCount_; ++column)
        if (sortField(column) == field)
            return column;
    return std::nullopt;
}

QString ModelTableModel::longDate(const QDateTime& date)
{
    QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    const QDateTime local = date.toLocalTime();
    const QString time = locale.toString(local.time(), QLocale::ShortFormat);
    if (locale.language() == QLocale::English)
        return locale.toString(local.date(), QStringLiteral("MMMM d, yyyy")) +
               QStringLiteral(" at ") + time;
    return locale.toString(local.date(), QLocale::LongFormat) + u' ' + time;
}

int ModelTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ModelTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

QString ModelTableModel::driveLabel(const ModelEntry& entry) const
{
    const QString target = entry.moved.value(0).target;
    auto found = m_driveLabels.constFind(target);
    if (found == m_driveLabels.constEnd())
        found = m_driveLabels.insert(target, driveLabelOf(target));
    return *found;
}

QVariant ModelTableModel::display(const ModelEntry& entry, int column) const
{
    switch (column) {
    case name:
        return entry.name;
    case source:
        return entry.sourceLabel();
    case size:
        return Format::bytes(entry.sizeBytes);
    case modified:
        return Format::relativeDate(entry.lastModified, m_now());
    case lastUsed:
        return Format::relativeDate(entry.lastUsed, m_now());
    case status:
        return entry.deleteRisk == DeleteRisk::risky ? tr("In Use") : tr("Safe");
    default:
        return {};
    }
}

QVariant ModelTableModel::toolTip(const ModelEntry& entry, int column) const
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
            return longDate(*entry.lastModified);
        return {};
    case lastUsed:
        if (entry.lastUsed)
            return longDate(*entry.lastUsed);
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

QVariant ModelTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ModelEntry& entry = m_rows[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return display(entry, column);
    case Qt::ToolTipRole:
        return toolTip(entry, column);
    case CellRoles::id:
        return entry.id;
    case CellRoles::secondLine:
        if (column == name)
            return entry.detail ? *entry.detail : Format::shortPath(entry.primaryPath);
        return {};
    case CellRoles::tags: {
        if (column != name)
            return {};
        QList<Tag> tags;
        if (entry.quantization)
            tags << Tag(*entry.quantization, grey);
        if (entry.isDuplicate)
            tags << Tag(tr("DUPLICATE"), Palette::orange);
        if (entry.isLarge())
            tags << Tag(tr("10 GB+"), Palette::red);
        if (entry.inUseBy)
            tags << Tag(tr("IN USE"), Palette::orange, inUseText(entry));
        if (entry.isMoved())
            tags << Tag(tr("ON %1").arg(driveLabel(entry).toUpper()), Palette::brown);
        return QVariant::fromValue(tags);
    }
    case Qt::DecorationRole:
        if (column == source)
            return m_sourceIcons[entry.source.value()];
        if (column == status)
            return entry.deleteRisk == DeleteRisk::risky ? m_inUseIcon : m_safeIcon;
        return {};
    case Qt::TextAlignmentRole:
        if (column == size)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (column == modified || column == lastUsed ||
            (column == status && entry.deleteRisk != DeleteRisk::risky))
            return grey;
        if (column == status)
            return Palette::orange;
        return {};
    default:
        return {};
    }
}

QVariant ModelTableModel::headerData(int section, Qt::Orientation orientation, int role) const
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
    case modified:
        return tr("Modified");
    case lastUsed:
        return tr("Last Used");
    case status:
        return tr("Status");
    default:
        return {};
    }
}

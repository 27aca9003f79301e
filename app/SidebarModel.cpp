#include "app/SidebarModel.h"

#include "app/DisplayText.h"
#include "app/ModelList.h"
#include "model/PathParts.h"
#include "text/Format.h"

#include <algorithm>
#include <limits>

namespace {

using Row = SidebarModel::Row;

QString sizeText(const QList<ModelEntry>& entries, const SidebarItem& item, const QDateTime& now)
{
    qint64 sum = 0;
    bool any = false;
    for (const ModelEntry& entry : entries)
        if (ModelList::belongsTo(entry, item, now)) {
            any = true;
            sum = qAddOverflow(sum, entry.reclaimableBytes, &sum)
                      ? std::numeric_limits<qint64>::max()
                      : sum;
        }
    return any ? Format::bytes(sum) : QString();
}

Row choice(QString id, const SidebarItem& item, QString title, QString icon, ItemTone tone,
           QString trailing)
{
    Row row;
    row.id = std::move(id);
    row.item = item;
    row.title = std::move(title);
    row.iconName = std::move(icon);
    row.tone = tone;
    row.trailing = std::move(trailing);
    return row;
}

Row header(QString id, QString title)
{
    Row row;
    row.id = std::move(id);
    row.kind = Row::Kind::header;
    row.title = std::move(title);
    return row;
}

} // namespace

SidebarModel::SidebarModel(QObject* parent) : EntryTableModel({QString()}, parent) {}

void SidebarModel::update(const std::optional<ScanResult>& scan, bool includeLoose,
                          const QStringList& customFolders, qsizetype trashCount,
                          const QDateTime& now)
{
    const QList<ModelEntry> models = scan ? scan->models : QList<ModelEntry>();
    const auto size = [&](const SidebarItem& item) { return sizeText(models, item, now); };
    QList<Row> rows;
    rows << choice(QStringLiteral("all"), SidebarItem::all(), tr("All Models"),
                   QStringLiteral("drive-multidisk"), ItemTone::accent,
                   scan ? size(SidebarItem::all()) : QString());
    if (std::any_of(models.cbegin(), models.cend(),
                    [](const ModelEntry& e) { return e.isDuplicate; }))
        rows << choice(QStringLiteral("duplicates"), SidebarItem::duplicates(), tr("Duplicates"),
                       QStringLiteral("edit-copy"), ItemTone::warning,
                       size(SidebarItem::duplicates()));
    if (const QString unused = size(SidebarItem::notUsedLately()); !unused.isEmpty())
        rows << choice(QStringLiteral("unused"), SidebarItem::notUsedLately(),
                       tr("Not Used Lately"), QStringLiteral("edit-clear"), ItemTone::moved,
                       unused);
    if (std::any_of(models.cbegin(), models.cend(),
                    [](const ModelEntry& e) { return e.isMoved(); }))
        rows << choice(QStringLiteral("moved"), SidebarItem::moved(), tr("On Other Drives"),
                       QStringLiteral("folder-move"), ItemTone::moved, size(SidebarItem::moved()));

    rows << header(QStringLiteral("sources"), tr("Sources"));
    for (const ModelSource source : ModelSource::allCases()) {
        if (source == ModelSource::custom || (source == ModelSource::loose && !includeLoose))
            continue;
        const SidebarItem item = SidebarItem::ofSource(source);
        const QString trailing = size(item);
        if (!source.listedWhenEmpty() && trailing.isEmpty())
            continue;
        Row row = choice(QStringLiteral("source:") + QString::number(source.value()), item,
                         source.label(), {}, ItemTone::plain, trailing);
        row.source = source;
        rows << row;
    }

    rows << header(QStringLiteral("folders"), tr("Folders"));
    for (const QString& path : customFolders) {
        const SidebarItem item = SidebarItem::ofFolder(path);
        Row row = choice(QStringLiteral("folder:") + path, item,
                         DisplayText::oneLine(PathParts::folderName(path)),
                         QStringLiteral("folder"), ItemTone::moved, size(item));
        row.toolTip = path;
        rows << row;
    }
    Row add;
    add.id = QStringLiteral("add");
    add.kind = Row::Kind::addFolder;
    add.title = tr("Add Folder…");
    add.iconName = QStringLiteral("list-add");
    rows << add;

    rows << header(QStringLiteral("spacer"), QString());
    Row trash =
        choice(QStringLiteral("trash"), SidebarItem::trash(), tr("Trash"),
               trashCount ? QStringLiteral("user-trash-full") : QStringLiteral("user-trash"),
               ItemTone::plain, trashCount ? QString::number(trashCount) : QString());
    trash.count = trashCount;
    rows << trash;
    syncRows(m_rows, std::move(rows));
}

std::optional<int> SidebarModel::rowOf(const SidebarItem& item) const
{
    for (int row = 0; row < m_rows.size(); ++row)
        if (m_rows[row].item == item)
            return row;
    return std::nullopt;
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex& index) const
{
    if (!validCell(index))
        return Qt::NoItemFlags;
    if (m_rows[index.row()].kind != Row::Kind::choice)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant SidebarModel::data(const QModelIndex& index, int role) const
{
    if (!validCell(index))
        return {};
    const Row& row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return row.title;
    case Qt::ToolTipRole:
        return row.toolTip.isEmpty() ? QVariant() : QVariant(row.toolTip);
    case Qt::AccessibleTextRole:
        if (row.count > 0)
            return tr("%1, %n item(s)", nullptr, static_cast<int>(row.count)).arg(row.title);
        if (!row.trailing.isEmpty())
            return QString(row.title + QStringLiteral(", ") + row.trailing);
        return row.title;
    case ItemRoles::iconName:
        return row.iconName.isEmpty() ? QVariant() : QVariant(row.iconName);
    case ItemRoles::tone:
        return static_cast<int>(row.tone);
    case ItemRoles::source:
        return row.source ? QVariant(static_cast<int>(row.source->value())) : QVariant();
    case SidebarRoles::item:
        return row.item ? QVariant::fromValue(*row.item) : QVariant();
    case SidebarRoles::trailing:
        return row.trailing;
    case SidebarRoles::badge:
        return row.count >= 0;
    case SidebarRoles::header:
        return row.kind == Row::Kind::header;
    case SidebarRoles::addFolder:
        return row.kind == Row::Kind::addFolder;
    default:
        return {};
    }
}

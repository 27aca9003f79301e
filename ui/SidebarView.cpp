#include "ui/SidebarView.h"

#include "app/AppModel.h"
#include "text/Format.h"
#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/SidebarDelegate.h"
#include "ui/SourceStyle.h"

#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString sizeText(const QList<ModelEntry>& entries)
{
    if (entries.isEmpty())
        return {};
    qint64 sum = 0;
    for (const ModelEntry& entry : entries)
        sum = qAddOverflow(sum, entry.reclaimableBytes, &sum) ? std::numeric_limits<qint64>::max()
                                                              : sum;
    return Format::bytes(sum);
}

// The last component of a folder path, ignoring trailing slashes.
QString lastComponent(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    const QString name = slash < 0 ? trimmed : trimmed.mid(slash + 1);
    return name.isEmpty() ? trimmed : name;
}

} // namespace

SidebarView::SidebarView(AppModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_list(new QListWidget(this))
{
    m_list->setAccessibleName(tr("Sidebar"));
    m_list->setItemDelegate(new SidebarDelegate(m_list));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_updating || row < 0 || row >= m_items.size())
            return;
        // Headers and the Add Folder row choose nothing; the row becomes current when focus
        // moves onto the Add Folder button, e.g. from a control that was just disabled.
        if (m_list->item(row)->flags().testFlag(Qt::ItemIsSelectable))
            m_model.setSidebar(m_items[row]);
        else
            selectCurrent();
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, &SidebarView::showMenu);
    for (auto signal : {&AppModel::scanChanged, &AppModel::includeLooseChanged,
                        &AppModel::customFoldersChanged, &AppModel::trashEntriesChanged})
        connect(&m_model, signal, this, &SidebarView::rebuild);
    connect(&m_model, &AppModel::sidebarChanged, this, &SidebarView::selectCurrent);
    rebuild();
}

QListWidgetItem* SidebarView::row(const SidebarItem& item) const
{
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->flags().testFlag(Qt::ItemIsSelectable) && m_items[i] == item)
            return m_list->item(i);
    return nullptr;
}

void SidebarView::addRow(const SidebarItem& item, const QString& title, const QIcon& icon,
                         const QString& trailing)
{
    auto* row = new QListWidgetItem(icon, title, m_list);
    row->setData(trailingRole, trailing);
    m_items.push_back(item);
}

void SidebarView::addHeader(const QString& title)
{
    auto* header = new QListWidgetItem(title, m_list);
    header->setFlags(Qt::ItemIsEnabled);
    header->setData(headerRole, true);
    m_items.push_back(SidebarItem::all());
}

void SidebarView::rebuild()
{
    m_updating = true;
    m_list->clear();
    m_items.clear();

    const std::optional<ScanResult>& scan = m_model.scan();
    addRow(SidebarItem::all(), tr("All Models"),
           Icons::tinted(QStringLiteral("drive-multidisk"), palette().color(QPalette::Highlight)),
           scan ? sizeText(scan->models) : QString());
    const bool anyDuplicate =
        scan && std::any_of(scan->models.cbegin(), scan->models.cend(),
                            [](const ModelEntry& entry) { return entry.isDuplicate; });
    if (anyDuplicate)
        addRow(SidebarItem::duplicates(), tr("Duplicates"),
               Icons::tinted(QStringLiteral("edit-copy"), Palette::orange),
               sizeText(m_model.models(SidebarItem::duplicates())));
    const QList<ModelEntry> unused = m_model.models(SidebarItem::notUsedLately());
    if (!unused.isEmpty())
        addRow(SidebarItem::notUsedLately(), tr("Not Used Lately"),
               Icons::tinted(QStringLiteral("edit-clear"), Palette::brown), sizeText(unused));
    const bool anyMoved =
        scan && std::any_of(scan->models.cbegin(), scan->models.cend(),
                            [](const ModelEntry& entry) { return entry.isMoved(); });
    if (anyMoved)
        addRow(SidebarItem::moved(), tr("On Other Drives"),
               Icons::tinted(QStringLiteral("folder-move"), Palette::brown),
               sizeText(m_model.models(SidebarItem::moved())));

    addHeader(tr("Sources"));
    for (const ModelSource source : ModelSource::allCases()) {
        if (source == ModelSource::custom ||
            (source == ModelSource::loose && !m_model.includeLoose()))
            continue;
        const SidebarItem item = SidebarItem::ofSource(source);
        const QList<ModelEntry> models = m_model.models(item);
        if (!source.listedWhenEmpty() && models.isEmpty())
            continue;
        addRow(item, source.label(), SourceStyle::icon(source), sizeText(models));
    }

    addHeader(tr("Folders"));
    for (const QString& path : m_model.customFolders()) {
        const SidebarItem item = SidebarItem::ofFolder(path);
        addRow(item, lastComponent(path), Icons::tinted(QStringLiteral("folder"), Palette::brown),
               sizeText(m_model.models(item)));
        m_list->item(m_list->count() - 1)->setToolTip(path);
    }
    auto* addItem = new QListWidgetItem(m_list);
    addItem->setFlags(Qt::ItemIsEnabled);
    m_items.push_back(SidebarItem::all());
    auto* add = new QPushButton(Icons::named(QStringLiteral("list-add")), tr("Add Folder…"));
    add->setFlat(true);
    add->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding-left: 6px; }"));
    QPalette secondary = add->palette();
    secondary.setColor(QPalette::ButtonText, secondary.color(QPalette::PlaceholderText));
    add->setPalette(secondary);
    connect(add, &QPushButton::clicked, &m_model, [this] { (void)m_model.addFolder(); });
    addItem->setSizeHint(add->sizeHint());
    m_list->setItemWidget(addItem, add);

    addHeader(QString());
    const qsizetype trashCount = m_model.trashEntries().size();
    const QString trashIcon =
        trashCount ? QStringLiteral("user-trash-full") : QStringLiteral("user-trash");
    addRow(SidebarItem::trash(), tr("Trash"), Icons::named(trashIcon),
           trashCount ? QString::number(trashCount) : QString());
    m_list->item(m_list->count() - 1)->setData(badgeRole, true);
    m_list->item(m_list->count() - 1)->setData(iconNameRole, trashIcon);
    m_updating = false;
    selectCurrent();
}

void SidebarView::selectCurrent()
{
    m_updating = true;
    const std::optional<SidebarItem>& current = m_model.sidebar();
    QListWidgetItem* selected = current ? row(*current) : nullptr;
    if (selected)
        m_list->setCurrentItem(selected);
    else
        m_list->clearSelection();
    m_updating = false;
}

void SidebarView::showMenu(const QPoint& position)
{
    const int index = m_list->row(m_list->itemAt(position));
    if (index < 0 || m_items[index].kind != SidebarItem::Kind::folder)
        return;
    const QString path = m_items[index].folder;
    QMenu menu(this);
    menu.addAction(tr("Show in File Manager"), this, [this, path] { m_model.reveal({path}); });
    menu.addAction(tr("Remove from List"), this,
                   [this, path] { (void)m_model.removeFolder(path); });
    menu.exec(m_list->viewport()->mapToGlobal(position));
}

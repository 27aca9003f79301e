#include "ui/SidebarView.h"

#include "app/AppItemModels.h"
#include "app/AppModel.h"
#include "app/SidebarModel.h"
#include "ui/CellLook.h"
#include "ui/ContextMenuKeys.h"
#include "ui/Icons.h"
#include "ui/SidebarDelegate.h"
#include "ui/SidebarList.h"

#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

SidebarView::SidebarView(AppModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_rows(model.itemModels().sidebar()),
      m_look(new CellLook(m_rows, this)), m_list(new SidebarList(this))
{
    m_list->setAccessibleName(tr("Sidebar"));
    m_list->setItemDelegate(new SidebarDelegate(m_list));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);

    // Rows that come and go move the current row; that chooses nothing. Connected before the
    // list's own selection model hears of the change.
    const auto hold = [this] { m_updating = true; };
    const auto settle = [this] {
        m_updating = false;
        placeAddButton();
        selectCurrent();
    };
    connect(m_look, &QAbstractItemModel::rowsAboutToBeRemoved, this, hold);
    connect(m_look, &QAbstractItemModel::rowsAboutToBeInserted, this, hold);
    connect(m_look, &QAbstractItemModel::modelAboutToBeReset, this, hold);
    m_list->setModel(m_look);
    connect(m_look, &QAbstractItemModel::rowsRemoved, this, settle);
    connect(m_look, &QAbstractItemModel::rowsInserted, this, settle);
    connect(m_look, &QAbstractItemModel::modelReset, this, settle);

    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (m_updating || !current.isValid())
                    return;
                // Headers and the Add Folder row choose nothing; the row becomes current when
                // focus moves onto the Add Folder button, e.g. from a control just disabled.
                const QVariant item = current.data(SidebarRoles::item);
                if (item.isValid())
                    m_model.setSidebar(item.value<SidebarItem>());
                else
                    selectCurrent();
            });
    connect(m_list, &SidebarList::menuRequested, this, &SidebarView::showMenu);
    connect(&m_model, &AppModel::sidebarChanged, this, &SidebarView::selectCurrent);
    placeAddButton();
    selectCurrent();
}

QModelIndex SidebarView::row(const SidebarItem& item) const
{
    const std::optional<int> at = m_rows.rowOf(item);
    return at ? m_look->index(*at, 0) : QModelIndex();
}

QStringList SidebarView::choiceTitles() const
{
    QStringList titles;
    for (const SidebarModel::Row& row : m_rows.rows())
        if (row.item)
            titles << row.title;
    return titles;
}

void SidebarView::placeAddButton()
{
    for (int at = 0; at < m_look->rowCount(); ++at) {
        const QModelIndex index = m_look->index(at, 0);
        if (!index.data(SidebarRoles::addFolder).toBool() || m_list->indexWidget(index))
            continue;
        auto* add = new QPushButton(Icons::named(QStringLiteral("list-add")),
                                    index.data(Qt::DisplayRole).toString());
        add->setFlat(true);
        add->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding-left: 6px; }"));
        QPalette secondary = add->palette();
        secondary.setColor(QPalette::ButtonText, secondary.color(QPalette::PlaceholderText));
        add->setPalette(secondary);
        connect(add, &QPushButton::clicked, &m_model, [this] { (void)m_model.addFolder(); });
        m_list->setIndexWidget(index, add);
    }
}

void SidebarView::selectCurrent()
{
    if (m_updating)
        return;
    m_updating = true;
    const std::optional<SidebarItem>& current = m_model.sidebar();
    const QModelIndex selected = current ? row(*current) : QModelIndex();
    if (selected.isValid())
        m_list->setCurrentIndex(selected);
    else
        m_list->clearSelection();
    m_updating = false;
}

void SidebarView::showMenu(const QModelIndex& index, const QPoint& globalPosition)
{
    const QVariant item = index.data(SidebarRoles::item);
    if (!item.isValid() || item.value<SidebarItem>().kind != SidebarItem::Kind::folder)
        return;
    const QString path = item.value<SidebarItem>().folder;
    auto menu = std::make_unique<QMenu>(this);
    menu->addAction(tr("Show in File Manager"), this, [this, path] { m_model.reveal({path}); });
    menu->addAction(tr("Remove from List"), this,
                    [this, path] { (void)m_model.removeFolder(path); });
    ContextMenuKeys::popup(std::move(menu), globalPosition);
}

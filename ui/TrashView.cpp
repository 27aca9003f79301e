#include "ui/TrashView.h"

#include "app/AppItemModels.h"
#include "app/AppModel.h"
#include "text/Format.h"
#include "ui/EmptyState.h"
#include "ui/InfoStrip.h"
#include "ui/PageHeader.h"
#include "ui/StatusBar.h"
#include "ui/TrashTable.h"

#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

TrashView::TrashView(AppModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_header(new PageHeader(this)),
      m_info(new InfoStrip(QStringLiteral("edit-undo"),
                           tr("Items you trash from Brimvale can be restored to their "
                              "original location until you empty the Trash."),
                           this)),
      m_body(new QStackedWidget(this)), m_empty(new EmptyState(this)),
      m_table(new TrashTable(model.itemModels().trashSorted(), this)),
      m_status(new StatusBar(this)), m_putBack(new QPushButton(tr("Put Back"))),
      m_delete(new QPushButton(tr("Delete Immediately…"))),
      m_emptyTrash(new QPushButton(tr("Empty…")))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header->setTitle(tr("Trash"));
    layout->addWidget(m_header);
    layout->addWidget(m_info);
    m_empty->present(QStringLiteral("user-trash"), tr("Trash Is Empty"),
                     tr("Models you move to the Trash appear here so you can restore them."));
    m_body->addWidget(m_empty);
    m_body->addWidget(m_table);
    layout->addWidget(m_body, 1);
    for (QPushButton* button : {m_putBack, m_delete, m_emptyTrash})
        m_status->addControl(button);
    m_status->followProgress(m_model);
    layout->addWidget(m_status);

    connect(m_putBack, &QPushButton::clicked, this,
            [this] { restore(m_table->selectedIds(), true); });
    connect(m_delete, &QPushButton::clicked, this, [this] { askDelete(m_table->selectedIds()); });
    connect(m_emptyTrash, &QPushButton::clicked, this, [this] {
        QStringList ids;
        for (const TrashEntry& entry : m_model.trashEntries())
            ids << entry.id;
        askDelete(ids);
    });
    connect(m_table, &TrashTable::restoreRequested, this,
            [this](const QStringList& ids) { restore(ids, false); });
    connect(m_table, &TrashTable::revealRequested, this, &TrashView::reveal);
    connect(m_table, &TrashTable::deleteRequested, this, &TrashView::askDelete);
    connect(m_table, &TrashTable::selectionEdited, this, &TrashView::refresh);
    connect(&m_model, &AppModel::trashEntriesChanged, this, &TrashView::refresh);
    connect(&m_model, &AppModel::busyMessageChanged, this, &TrashView::refresh);
    refresh();
}

bool TrashView::busy() const
{
    return m_model.busyMessage().has_value();
}

void TrashView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_table->resetViewState();
    refresh();
    (void)m_model.reloadTrash();
}

void TrashView::refresh()
{
    const QList<TrashEntry>& rows = m_model.trashEntries();
    qint64 total = 0;
    for (const TrashEntry& entry : rows)
        total += entry.sizeBytes;
    const qsizetype count = rows.size();
    const qsizetype selected = m_table->selectedIds().size();
    const int shown = int(count);
    m_header->setSubtitle(tr("%n items · %1", nullptr, shown).arg(Format::bytes(total)));
    if (selected == 0)
        m_status->setText(tr("%n items · %1", nullptr, shown).arg(Format::bytes(total)));
    else
        m_status->setText(tr("%1 of %2 selected").arg(selected).arg(count));
    m_body->setCurrentWidget(rows.isEmpty() ? static_cast<QWidget*>(m_empty) : m_table);
    m_putBack->setVisible(selected > 0);
    m_delete->setVisible(selected > 0);
    m_emptyTrash->setVisible(selected == 0 && count > 0);
    for (QPushButton* button : {m_putBack, m_delete, m_emptyTrash})
        button->setEnabled(!busy());
}

void TrashView::restore(const QStringList& ids, bool clearSelection)
{
    if (ids.isEmpty() || busy())
        return;
    QFuture<void> done = m_model.restore(ids);
    if (clearSelection)
        (void)done.then(this, [this] {
            m_table->clearSelectedIds();
            refresh();
        });
}

void TrashView::reveal(const QStringList& ids)
{
    if (ids.isEmpty() || busy())
        return;
    QStringList paths;
    for (const TrashEntry& entry : m_model.trashEntries())
        if (ids.contains(entry.id))
            for (const QString& path : entry.trashedPaths)
                if (!path.isEmpty())
                    paths << path;
    m_model.reveal(paths);
}

QString TrashView::confirmTitle(const QStringList& ids) const
{
    if (ids.size() == 1)
        for (const TrashEntry& entry : m_model.trashEntries())
            if (entry.id == ids.first())
                return tr("Delete \"%1\" immediately?").arg(entry.modelName);
    const int n = int(ids.size());
    return tr("Delete %n items immediately?", nullptr, n);
}

void TrashView::askDelete(const QStringList& ids)
{
    if (ids.isEmpty() || busy())
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Trash"), confirmTitle(ids),
                                QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(tr("This can't be undone."));
    QPushButton* remove = box->addButton(tr("Delete"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::finished, this, [this, box, remove, ids] {
        if (box->clickedButton() != remove)
            return;
        (void)m_model.deletePermanently(ids).then(this, [this, ids] {
            m_table->forgetIds(ids);
            refresh();
        });
    });
    box->open();
}

QString TrashView::title() const
{
    return m_header->title();
}

QString TrashView::subtitle() const
{
    return m_header->subtitle();
}

QString TrashView::statusText() const
{
    return m_status->shownText();
}

QWidget* TrashView::mainArea() const
{
    return m_body->currentWidget();
}

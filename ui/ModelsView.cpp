#include "ui/ModelsView.h"

#include "app/AppModel.h"
#include "model/PathParts.h"
#include "text/Format.h"
#include "ui/EmptyState.h"
#include "ui/Icons.h"
#include "ui/InfoStrip.h"
#include "ui/ModelTable.h"
#include "ui/PageHeader.h"
#include "ui/ScanningPlaceholder.h"
#include "ui/SourceStyle.h"
#include "ui/Spinner.h"
#include "ui/StatusBar.h"
#include "ui/StorageHeader.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString sumText(const QList<ModelEntry>& entries)
{
    qint64 total = 0;
    for (const ModelEntry& entry : entries)
        total += entry.reclaimableBytes;
    return Format::bytes(total);
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

} // namespace

ModelsView::ModelsView(AppModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_header(new PageHeader(this)),
      m_toolbar(new QToolBar(this)), m_search(new QLineEdit(this)),
      m_storage(new StorageHeader(this)), m_storageDivider(divider(this)),
      m_duplicates(new InfoStrip(QStringLiteral("edit-copy"),
                                 tr("These files are 50 MB or larger and have "
                                    "identical content to another file. Keep one "
                                    "copy and trash the rest."),
                                 this)),
      m_unused(new InfoStrip(QStringLiteral("edit-clear"),
                             tr("Models and caches nobody has read for 3 months or "
                                "more."),
                             this)),
      m_body(new QStackedWidget(this)), m_placeholder(new ScanningPlaceholder(this)),
      m_empty(new EmptyState(this)), m_table(new ModelTable(model, this)),
      m_status(new StatusBar(this)), m_freeButton(new QPushButton(tr("Free Duplicates…"))),
      m_moveButton(new QPushButton(tr("Move to…"))),
      m_trashButton(new QPushButton(tr("Move to Trash")))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    buildToolbar();
    m_header->addTrailing(m_toolbar);
    layout->addWidget(m_header);

    layout->addWidget(m_storage);
    layout->addWidget(m_storageDivider);
    layout->addWidget(m_duplicates);
    layout->addWidget(m_unused);
    m_body->addWidget(m_placeholder);
    m_body->addWidget(m_empty);
    m_body->addWidget(m_table);
    layout->addWidget(m_body, 1);

    for (QPushButton* button : {m_freeButton, m_moveButton, m_trashButton}) {
        button->setAttribute(Qt::WA_MacSmallSize);
        m_status->addControl(button);
    }
    m_freeButton->setAccessibleName(tr("Free Duplicates"));
    m_freeButton->setToolTip(tr("Keep every copy where it is and store the identical data once"));
    m_freeButton->setAccessibleDescription(m_freeButton->toolTip());
    m_moveButton->setToolTip(tr("Move to another drive and leave a symlink behind"));
    m_status->followProgress(m_model);
    layout->addWidget(m_status);
    // Tab follows the page from the search field through the toolbar to the table and the
    // actions on its selection, in the order they are shown.
    QWidget* previous = m_search;
    for (QWidget* next : {m_toolbar->widgetForAction(m_loose), m_toolbar->widgetForAction(m_export),
                          static_cast<QWidget*>(m_scanButton), static_cast<QWidget*>(m_table),
                          static_cast<QWidget*>(m_freeButton), static_cast<QWidget*>(m_moveButton),
                          static_cast<QWidget*>(m_trashButton)}) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(m_freeButton, &QPushButton::clicked, this,
            [this] { (void)m_model.freeDuplicates(selectedRows()); });
    connect(m_moveButton, &QPushButton::clicked, this,
            [this] { (void)m_model.move(selectedRows()); });
    connect(m_trashButton, &QPushButton::clicked, this,
            [this] { (void)m_model.requestTrash(selectedRows()); });
    connect(m_empty, &EmptyState::actionTriggered, this, [this] { (void)m_model.addFolder(); });

    connect(&m_model, &AppModel::scanChanged, this, [this] { m_storageScanned = nullptr; });
    for (const auto signal :
         {&AppModel::scanChanged, &AppModel::sidebarChanged, &AppModel::searchChanged,
          &AppModel::sortOrderChanged, &AppModel::customFoldersChanged})
        connect(&m_model, signal, this, &ModelsView::refreshRows);
    connect(&m_model, &AppModel::selectionChanged, this, &ModelsView::refreshStatus);
    connect(&m_model, &AppModel::busyMessageChanged, this, &ModelsView::refreshStatus);
    connect(&m_model, &AppModel::isScanningChanged, this, &ModelsView::refreshScanning);
    connect(&m_model, &AppModel::scanProgressTextChanged, this,
            [this] { m_placeholder->setProgress(m_model.scanProgressText()); });
    connect(&m_model, &AppModel::includeLooseChanged, this,
            [this] { m_loose->setChecked(m_model.includeLoose()); });
    connect(&m_model, &AppModel::searchChanged, this, [this] {
        if (m_search->text() != m_model.search())
            m_search->setText(m_model.search());
    });
    m_loose->setChecked(m_model.includeLoose());
    m_search->setText(m_model.search());
    m_placeholder->setProgress(m_model.scanProgressText());
    refreshScanning();
    refreshRows();
}

void ModelsView::buildToolbar()
{
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->setIconSize(QSize(16, 16));
    const QString prompt = tr("Search names and paths");
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setPlaceholderText(prompt);
    m_search->setAccessibleName(prompt);
    m_search->setClearButtonEnabled(true);
    // Room for the whole prompt beside the search icon and the clear button.
    m_search->setMinimumWidth(
        std::max(180, m_search->fontMetrics().horizontalAdvance(prompt) + 64));
    // The icon and the clear button are buttons to a screen reader: both get names.
    m_search->addAction(Icons::named(QStringLiteral("edit-find")), QLineEdit::LeadingPosition)
        ->setText(tr("Search"));
    for (QAction* action : m_search->findChildren<QAction*>())
        if (action->text().isEmpty())
            action->setText(tr("Clear Search"));
    connect(m_search, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_model.setSearch(text); });
    m_toolbar->addWidget(m_search);

    m_loose =
        m_toolbar->addAction(Icons::named(QStringLiteral("package-x-generic")), tr("Loose Files"));
    m_loose->setCheckable(true);
    m_loose->setToolTip(tr("Also look for model files in Downloads, Documents and Desktop"));
    connect(m_loose, &QAction::triggered, this,
            [this](bool checked) { m_model.setIncludeLoose(checked); });

    m_export =
        m_toolbar->addAction(Icons::named(QStringLiteral("document-save")), tr("Export Report"));
    m_export->setToolTip(tr("Save a Markdown inventory of every model"));
    connect(m_export, &QAction::triggered, this, [this] { m_model.exportReport(); });

    m_scan = new QAction(Icons::named(QStringLiteral("view-refresh")), tr("Scan"), this);
    m_scan->setToolTip(tr("Scan again (Ctrl+R)"));
    connect(m_scan, &QAction::triggered, this, [this] { (void)m_model.rescan(); });

    // "Scan" and the spinner share one slot as wide as the wider, so nothing beside it moves
    // when a scan starts or ends.
    m_scanSlot = new QStackedWidget(m_toolbar);
    m_scanButton = new QToolButton(m_scanSlot);
    m_scanButton->setDefaultAction(m_scan);
    m_scanButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_scanButton->setAutoRaise(true);
    m_scanButton->setIconSize(m_toolbar->iconSize());
    auto* spinnerBox = new QWidget(m_scanSlot);
    auto* spinnerRow = new QHBoxLayout(spinnerBox);
    spinnerRow->setContentsMargins(6, 0, 6, 0);
    auto* spinner = new Spinner(spinnerBox);
    spinnerRow->addWidget(spinner, 0, Qt::AlignCenter);
    m_scanSlot->addWidget(m_scanButton);
    m_scanSlot->addWidget(spinnerBox);
    m_toolbar->addWidget(m_scanSlot);
    // The toolbar's own buttons take no focus; these are reached by Tab like any control.
    for (QAction* action : {m_loose, m_export})
        m_toolbar->widgetForAction(action)->setFocusPolicy(Qt::TabFocus);
    m_scanButton->setFocusPolicy(Qt::TabFocus);
}

void ModelsView::refreshRows()
{
    m_rows = m_model.visibleModels();
    refreshHeader();
    refreshBody();
    refreshStatus();
}

void ModelsView::refreshHeader()
{
    using K = SidebarItem::Kind;
    const SidebarItem item = m_model.sidebar().value_or(SidebarItem::all());
    QString title = tr("All Models");
    if (item.kind == K::source && item.source) {
        title = item.source->label();
    } else if (item.kind == K::folder) {
        title = PathParts::folderName(item.folder);
    } else if (item.kind == K::duplicates) {
        title = tr("Duplicates");
    } else if (item.kind == K::notUsedLately) {
        title = tr("Not Used Lately");
    } else if (item.kind == K::trash) {
        title = tr("Trash");
    } else if (item.kind == K::moved) {
        title = tr("On Other Drives");
    }
    m_header->setTitle(title);
    const int n = int(m_rows.size());
    m_header->setSubtitle(m_model.scan() ? tr("%n items · %1", nullptr, n).arg(sumText(m_rows))
                                         : QString());
    m_export->setEnabled(m_model.scan().has_value());
}

void ModelsView::refreshBody()
{
    using K = SidebarItem::Kind;
    const std::optional<ScanResult>& scan = m_model.scan();
    const SidebarItem item = m_model.sidebar().value_or(SidebarItem::all());
    const bool storage = item.kind == K::all && scan && !scan->models.isEmpty();
    if (storage && m_storageScanned != &*scan) {
        m_storage->setScan(*scan);
        m_storageScanned = &*scan;
    }
    m_storage->setVisible(storage);
    m_storageDivider->setVisible(storage);
    m_duplicates->setVisible(item.kind == K::duplicates);
    m_unused->setVisible(item.kind == K::notUsedLately);

    if (!scan) {
        m_body->setCurrentWidget(m_placeholder);
        return;
    }
    if (!m_rows.isEmpty()) {
        m_body->setCurrentWidget(m_table);
        return;
    }
    m_body->setCurrentWidget(m_empty);
    if (!m_model.search().isEmpty()) {
        m_empty->present(QStringLiteral("edit-find"),
                         tr("No Results for “%1”").arg(m_model.search()),
                         tr("Check the spelling or try a new search."));
    } else if (item.kind == K::source && item.source) {
        const QString label = item.source->label();
        m_empty->present(
            SourceStyle::iconName(*item.source), tr("No %1 Models Found").arg(label),
            *item.source == ModelSource::loose
                ? tr("No .gguf, .safetensors, .onnx or .mlx files over "
                     "10 MB in Downloads, Documents or Desktop.")
                : tr("Nothing from %1 is taking up space on this computer.").arg(label));
    } else if (item.kind == K::folder && m_model.missingFolders().contains(item.folder)) {
        m_empty->present(
            QStringLiteral("drive-removable-media"),
            tr("%1 is not available — is its drive connected?").arg(Format::shortPath(item.folder)),
            {});
    } else if (item.kind == K::folder) {
        m_empty->present(QStringLiteral("folder"), tr("No Models in This Folder"),
                         tr("Only model files of 1 MB or more are listed."));
    } else if (item.kind == K::duplicates) {
        m_empty->present(QStringLiteral("emblem-ok"), tr("No Duplicates"),
                         tr("Every model is stored only once."));
    } else if (item.kind == K::notUsedLately) {
        m_empty->present(QStringLiteral("emblem-ok"), tr("Nothing Unused"),
                         tr("Every model was read in the last 3 months."));
    } else if (item.kind == K::moved) {
        m_empty->present(QStringLiteral("folder-move"), tr("Nothing on Other Drives"),
                         tr("Models you move to another drive are listed here."));
    } else {
        m_empty->present(QStringLiteral("edit-find"), tr("No AI Models Found"),
                         tr("Add a folder or include loose files to search more "
                            "places."),
                         tr("Add Folder…"));
    }
}

QList<ModelEntry> ModelsView::selectedRows() const
{
    QList<ModelEntry> selected;
    const QSet<QString>& ids = m_model.selection();
    if (!ids.isEmpty())
        for (const ModelEntry& entry : m_rows)
            if (ids.contains(entry.id))
                selected << entry;
    return selected;
}

void ModelsView::refreshStatus()
{
    const QList<ModelEntry> selected = selectedRows();
    const int n = int(m_rows.size());
    if (selected.isEmpty())
        m_status->setText(tr("%n items · %1", nullptr, n).arg(sumText(m_rows)));
    else
        m_status->setText(
            tr("%1 of %2 selected · %3")
                .arg(QString::number(selected.size()), QString::number(n), sumText(selected)));
    const bool idle = !m_model.busyMessage().has_value();
    for (QPushButton* button : {m_moveButton, m_trashButton}) {
        button->setVisible(!selected.isEmpty());
        button->setEnabled(idle);
    }
    m_freeButton->setVisible(m_model.sidebar() == SidebarItem::duplicates());
    m_freeButton->setEnabled(idle && !selected.isEmpty());
}

void ModelsView::refreshScanning()
{
    const bool scanning = m_model.isScanning();
    m_scan->setEnabled(!scanning);
    m_scanSlot->setCurrentIndex(scanning ? 1 : 0);
}

QString ModelsView::title() const
{
    return m_header->title();
}

QString ModelsView::subtitle() const
{
    return m_header->subtitle();
}

QString ModelsView::statusText() const
{
    return m_status->shownText();
}

QWidget* ModelsView::mainArea() const
{
    return m_body->currentWidget();
}

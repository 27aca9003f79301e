#include "ui/MainWindow.h"

#include "app/AppModel.h"
#include "ui/Banners.h"
#include "ui/DiskFreeFooter.h"
#include "ui/Icons.h"
#include "ui/ModelsView.h"
#include "ui/SettingsWindow.h"
#include "ui/SidebarView.h"
#include "ui/ToastView.h"
#include "ui/TrashView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QUrl website(QStringLiteral("https://brimvale.app"));
const QUrl support(QStringLiteral("mailto:support@brimvale.app"));
} // namespace

MainWindow::MainWindow(AppModel& model, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_model(model), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Brimvale"));
    setWindowIcon(Icons::app());
    setMinimumSize(900, 520);
    resize(1180, 740);

    auto* content = new QWidget(this);
    auto* split = new QSplitter(Qt::Horizontal, content);
    split->setChildrenCollapsible(false);
    split->addWidget(makeSidebarColumn());
    split->addWidget(makeDetailColumn());
    split->setStretchFactor(1, 1);
    split->setSizes({230, 950});
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
    setCentralWidget(content);
    m_toast = new ToastView(m_model, content);

    makeMenus();
    connect(&m_model, &AppModel::sidebarChanged, this, &MainWindow::showDetail);
    connect(&m_model, &AppModel::pendingRiskyTrashChanged, this, &MainWindow::askRiskyTrash);
    connect(&m_model, &AppModel::homeCapacityChanged, m_footer,
            [this] { m_footer->showCapacity(m_model.homeCapacity()); });
    m_footer->showCapacity(m_model.homeCapacity());
    showDetail();
}

QWidget* MainWindow::makeSidebarColumn()
{
    auto* column = new QWidget;
    column->setMinimumWidth(200);
    column->setMaximumWidth(320);
    m_sidebar = new SidebarView(m_model, column);
    m_footer = new DiskFreeFooter(column);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_sidebar, 1);
    layout->addWidget(m_footer);
    return column;
}

QWidget* MainWindow::makeDetailColumn()
{
    auto* column = new QWidget;
    m_banners = new Banners(m_model, m_dialogs, column);
    m_detail = new QStackedWidget(column);
    m_modelsView = new ModelsView(m_model, m_detail);
    m_trashView = new TrashView(m_model, m_detail);
    m_detail->addWidget(m_modelsView);
    m_detail->addWidget(m_trashView);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_banners);
    layout->addWidget(m_detail, 1);
    return column;
}

void MainWindow::makeMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* scan =
        file->addAction(tr("Scan for Models"), this, [this] { (void)m_model.rescan(); });
    scan->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    file->addAction(tr("Add Folder to Scan…"), this, [this] { (void)m_model.addFolder(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    file->addSeparator();
    file->addAction(tr("Export Report…"), this, [this] { m_model.exportReport(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    file->addSeparator();
    QAction* quit = file->addAction(tr("Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* moveBack = edit->addAction(
        tr("Move Back"), this, [this] { (void)m_model.moveBack(m_modelsView->selectedRows()); });
    connect(edit, &QMenu::aboutToShow, moveBack, [this, moveBack] {
        const QList<ModelEntry> rows = m_modelsView->selectedRows();
        moveBack->setEnabled(std::any_of(rows.cbegin(), rows.cend(),
                                         [](const ModelEntry& entry) { return entry.isMoved(); }));
    });
    edit->addSeparator();
    QAction* settings = edit->addAction(tr("Settings…"), this, &MainWindow::showSettings);
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(tr("Show Trash"), this,
                    [this] {
                        if (m_model.sidebar() != SidebarItem::trash())
                            m_model.setSidebar(SidebarItem::trash());
                    })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("Brimvale Website"), this, [this] { m_dialogs.openUrl(website); });
    help->addAction(tr("Contact Support"), this, [this] { m_dialogs.openUrl(support); });

    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    connect(find, &QShortcut::activated, this, &MainWindow::focusSearch);
    auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    connect(undo, &QShortcut::activated, this, [this] {
        if (m_model.toast() && !m_model.toast()->undoEntryIDs.isEmpty())
            (void)m_model.undo();
    });

    connect(&m_model, &AppModel::isScanningChanged, this, &MainWindow::refreshCommands);
    connect(&m_model, &AppModel::scanChanged, this, &MainWindow::refreshCommands);
    refreshCommands();
}

QAction* MainWindow::command(const QString& title) const
{
    for (QAction* menu : menuBar()->actions())
        for (QAction* action : menu->menu()->actions())
            if (action->text() == title)
                return action;
    return nullptr;
}

void MainWindow::refreshCommands()
{
    command(tr("Scan for Models"))->setEnabled(!m_model.isScanning());
    command(tr("Export Report…"))->setEnabled(m_model.scan().has_value());
}

void MainWindow::showDetail()
{
    const bool trash = m_model.sidebar() == SidebarItem::trash();
    m_detail->setCurrentWidget(trash ? static_cast<QWidget*>(m_trashView) : m_modelsView);
}

void MainWindow::focusSearch()
{
    if (m_detail->currentWidget() != m_modelsView)
        return;
    QLineEdit& search = m_modelsView->searchField();
    search.setFocus(Qt::ShortcutFocusReason);
    search.selectAll();
}

void MainWindow::askRiskyTrash()
{
    const std::optional<QList<ModelEntry>> entries = m_model.pendingRiskyTrash();
    if (!entries || m_riskyAlert)
        return;
    const TrashAlert text = m_model.pendingTrashAlert();
    auto* alert = new QMessageBox(QMessageBox::Warning, text.title, text.message,
                                  QMessageBox::NoButton, this);
    QPushButton* anyway =
        alert->addButton(tr("Move to Trash Anyway"), QMessageBox::DestructiveRole);
    QPushButton* cancel = alert->addButton(tr("Cancel"), QMessageBox::RejectRole);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    m_riskyAlert = alert;
    connect(alert, &QMessageBox::finished, this, [this, alert, anyway, entries] {
        const bool confirmed = alert->clickedButton() == anyway;
        if (m_model.pendingRiskyTrash())
            m_model.setPendingRiskyTrash(std::nullopt);
        if (confirmed)
            (void)m_model.trash(*entries);
    });
    alert->open();
}

void MainWindow::showSettings()
{
    if (!m_settings)
        m_settings = new SettingsWindow(m_model, this);
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    QTimer::singleShot(0, &m_model, [this] { (void)m_model.start(); });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    m_model.stopAll();
    if (m_settings)
        m_settings->close();
    QMainWindow::closeEvent(event);
}

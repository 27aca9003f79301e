#include "ui/SettingsWindow.h"

#include "app/AppModel.h"
#include "text/Format.h"
#include "ui/Icons.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int pathRole = Qt::UserRole + 1;
}

SettingsWindow::SettingsWindow(AppModel& model, QWidget* parent) : QDialog(parent), m_model(model)
{
    setWindowTitle(tr("Settings"));
    setWindowIcon(Icons::app());
    auto* tabs = new QTabWidget(this);
    tabs->addTab(general(), Icons::named(QStringLiteral("preferences-system")), tr("General"));
    tabs->addTab(folders(), Icons::named(QStringLiteral("folder")), tr("Folders"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(tabs);
    // At least 520 × 340, wider where a translation's texts need it.
    setFixedSize(sizeHint().expandedTo(QSize(520, 340)));
}

QWidget* SettingsWindow::general()
{
    auto* page = new QWidget;
    auto* scanning = new QGroupBox(tr("Scanning"), page);
    m_loose =
        new QCheckBox(tr("Include loose files in Downloads, Documents and Desktop"), scanning);
    m_loose->setChecked(m_model.includeLoose());
    connect(m_loose, &QCheckBox::toggled, &m_model, [this](bool on) {
        if (on != m_model.includeLoose())
            m_model.setIncludeLoose(on);
    });
    connect(&m_model, &AppModel::includeLooseChanged, m_loose,
            [this] { m_loose->setChecked(m_model.includeLoose()); });
    (new QVBoxLayout(scanning))->addWidget(m_loose);

    auto* about = new QGroupBox(page);
    auto* form = new QFormLayout(about);
    auto* version = new QLabel(AppModel::versionText(), about);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(tr("Version"), version);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(scanning);
    layout->addWidget(about);
    layout->addStretch();
    return page;
}

QWidget* SettingsWindow::folders()
{
    auto* page = new QWidget;
    auto* intro = new QLabel(tr("Brimvale also scans these folders for model files."));
    intro->setForegroundRole(QPalette::PlaceholderText);
    m_folders = new QListWidget(page);
    m_folders->setAlternatingRowColors(true);
    m_folders->setSelectionMode(QAbstractItemView::SingleSelection);
    m_folders->setAccessibleName(tr("Folders"));

    const auto button = [page](const QString& icon, const QString& name) {
        auto* b = new QToolButton(page);
        b->setIcon(Icons::named(icon));
        b->setIconSize(QSize(20, 20));
        b->setAccessibleName(name);
        b->setToolTip(name);
        return b;
    };
    m_add = button(QStringLiteral("list-add"), tr("Add Folder"));
    m_remove = button(QStringLiteral("list-remove"), tr("Remove Folder"));
    m_remove->setEnabled(false);
    connect(m_add, &QToolButton::clicked, &m_model, [this] { (void)m_model.addFolder(); });
    connect(m_remove, &QToolButton::clicked, &m_model, [this] {
        QListWidgetItem* selected = m_folders->currentItem();
        if (!selected || !selected->isSelected())
            return;
        const QString path = selected->data(pathRole).toString();
        m_folders->clearSelection();
        m_folders->setCurrentItem(nullptr);
        (void)m_model.removeFolder(path);
    });
    connect(m_folders, &QListWidget::itemSelectionChanged, this,
            [this] { m_remove->setEnabled(!m_folders->selectedItems().isEmpty()); });
    connect(&m_model, &AppModel::customFoldersChanged, this, &SettingsWindow::refreshFolders);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(8);
    layout->addWidget(intro);
    layout->addWidget(m_folders, 1);
    layout->addLayout(buttons);
    refreshFolders();
    return page;
}

void SettingsWindow::refreshFolders()
{
    // Rows are known by their path, so a selected row stays selected when others change.
    const QListWidgetItem* current = m_folders->currentItem();
    const QString selected =
        current && current->isSelected() ? current->data(pathRole).toString() : QString();
    m_folders->clear();
    for (const QString& path : m_model.customFolders()) {
        auto* row = new QListWidgetItem(Icons::named(QStringLiteral("folder")),
                                        Format::shortPath(path), m_folders);
        row->setData(pathRole, path);
        row->setToolTip(path);
        if (!selected.isEmpty() && path == selected)
            m_folders->setCurrentItem(row);
    }
    m_remove->setEnabled(!m_folders->selectedItems().isEmpty());
}

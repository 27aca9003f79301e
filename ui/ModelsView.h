#pragma once

#include "model/ModelEntry.h"
#include "model/ScanResult.h"

#include <QList>
#include <QWidget>

class AppModel;
class EmptyState;
class InfoStrip;
class ModelTable;
class PageHeader;
class QAction;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolBar;
class QToolButton;
class ScanningPlaceholder;
class Spinner;
class StatusBar;
class StorageHeader;

// The detail page for every sidebar choice but the Trash: title and subtitle, search and
// toolbar, the storage header on All Models, the duplicates or not-used strip, then the scanning
// placeholder, an empty state or the table, and the status bar. Keeps no state of its own:
// everything is read from the application model, and each change of it refreshes the page.
class ModelsView : public QWidget
{
    Q_OBJECT

public:
    // The entries of the selected rows, in their order.
    [[nodiscard]] QList<ModelEntry> selectedRows() const;
    ModelsView(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] QString title() const;
    [[nodiscard]] QString subtitle() const;
    [[nodiscard]] QString statusText() const;
    // The widget the main area shows now: placeholder, empty state or table.
    [[nodiscard]] QWidget* mainArea() const;

    [[nodiscard]] ModelTable& table() const { return *m_table; }
    [[nodiscard]] StorageHeader& storageHeader() const { return *m_storage; }
    [[nodiscard]] EmptyState& emptyState() const { return *m_empty; }
    // The explanation over Not Used Lately.
    [[nodiscard]] InfoStrip& unusedStrip() const { return *m_unused; }
    [[nodiscard]] ScanningPlaceholder& placeholder() const { return *m_placeholder; }
    [[nodiscard]] StatusBar& statusBar() const { return *m_status; }
    [[nodiscard]] QLineEdit& searchField() const { return *m_search; }
    // "Free Duplicates…", shown on Duplicates only.
    [[nodiscard]] QPushButton& freeButton() const { return *m_freeButton; }
    [[nodiscard]] QPushButton& moveButton() const { return *m_moveButton; }
    [[nodiscard]] QPushButton& trashButton() const { return *m_trashButton; }
    [[nodiscard]] QAction& looseAction() const { return *m_loose; }
    [[nodiscard]] QAction& exportAction() const { return *m_export; }
    [[nodiscard]] QAction& scanAction() const { return *m_scan; }

private:
    void buildToolbar();
    void refreshRows();
    void refreshHeader();
    void refreshBody();
    void refreshStatus();
    void refreshScanning();

    AppModel& m_model;
    QList<ModelEntry> m_rows;                     // visibleModels, computed once per change
    const ScanResult* m_storageScanned = nullptr; // the scan the storage header shows
    PageHeader* m_header;
    QToolBar* m_toolbar;
    QLineEdit* m_search;
    QAction* m_loose;
    QAction* m_export;
    QAction* m_scan;
    QStackedWidget* m_scanSlot = nullptr;
    QToolButton* m_scanButton = nullptr;
    StorageHeader* m_storage;
    QWidget* m_storageDivider;
    InfoStrip* m_duplicates;
    InfoStrip* m_unused;
    QStackedWidget* m_body;
    ScanningPlaceholder* m_placeholder;
    EmptyState* m_empty;
    ModelTable* m_table;
    StatusBar* m_status;
    QPushButton* m_freeButton;
    QPushButton* m_moveButton;
    QPushButton* m_trashButton;
};

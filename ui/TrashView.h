#pragma once

#include <QStringList>
#include <QWidget>

class AppModel;
class EmptyState;
class InfoStrip;
class PageHeader;
class QMessageBox;
class QPushButton;
class QStackedWidget;
class StatusBar;
class TrashTable;

// The detail page of the Trash: what Brimvale trashed and can put back, with Put Back, Show in
// File Manager and Delete Immediately for a selection and Empty for all. Every action uses the
// selected rows shown now and does nothing while another operation runs. Each time the page is
// shown it reloads the restore log and starts again newest first with nothing selected.
class TrashView : public QWidget
{
    Q_OBJECT

public:
    TrashView(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] QString title() const;
    [[nodiscard]] QString subtitle() const;
    [[nodiscard]] QString statusText() const;
    [[nodiscard]] QWidget* mainArea() const;
    [[nodiscard]] TrashTable& table() const { return *m_table; }
    [[nodiscard]] EmptyState& emptyState() const { return *m_empty; }
    [[nodiscard]] StatusBar& statusBar() const { return *m_status; }
    [[nodiscard]] QPushButton& putBackButton() const { return *m_putBack; }
    [[nodiscard]] QPushButton& deleteButton() const { return *m_delete; }
    [[nodiscard]] QPushButton& emptyButton() const { return *m_emptyTrash; }

    // The confirmation's title for the ids: by name for one known entry, else by count.
    [[nodiscard]] QString confirmTitle(const QStringList& ids) const;
    // Opens the confirmation of a permanent deletion of the ids (nothing while busy or for none).
    void askDelete(const QStringList& ids);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void restore(const QStringList& ids, bool clearSelection);
    void reveal(const QStringList& ids);
    [[nodiscard]] bool busy() const;

    AppModel& m_model;
    PageHeader* m_header;
    InfoStrip* m_info;
    QStackedWidget* m_body;
    EmptyState* m_empty;
    TrashTable* m_table;
    StatusBar* m_status;
    QPushButton* m_putBack;
    QPushButton* m_delete;
    QPushButton* m_emptyTrash;
};

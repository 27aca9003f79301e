#include "ui/DesktopDialogs.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>

namespace {

void openParentFolder(const QString& path)
{
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace

void DesktopDialogs::chooseFolders(const FolderPanel& panel,
                                   std::function<void(const QStringList&)> chosen)
{
    auto* dialog = new QFileDialog(m_window, panel.title, panel.startFolder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, panel.prompt);
    dialog->setToolTip(panel.message);
    if (panel.several) {
        // The Qt dialog lets several folders be chosen only through its own views.
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        for (auto* view : dialog->findChildren<QAbstractItemView*>())
            if (qobject_cast<QListView*>(view) || qobject_cast<QTreeView*>(view))
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    QObject::connect(
        dialog, &QFileDialog::finished, dialog, [dialog, chosen = std::move(chosen)](int result) {
            chosen(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList());
        });
    dialog->open();
}

void DesktopDialogs::chooseSaveFile(const SavePanel& panel,
                                    std::function<void(const std::optional<QString>&)> chosen)
{
    auto* dialog = new QFileDialog(m_window, panel.title, panel.startFolder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->selectFile(panel.proposedName);
    dialog->setDefaultSuffix(panel.suffix);
    dialog->setNameFilter(QStringLiteral("*.") + panel.suffix);
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, chosen = std::move(chosen)](int result) {
                         const QStringList files = dialog->selectedFiles();
                         chosen(result == QDialog::Accepted && !files.isEmpty()
                                    ? std::optional(files.constFirst())
                                    : std::nullopt);
                     });
    dialog->open();
}

void DesktopDialogs::ask(const Question& question, std::function<void(bool)> answered)
{
    auto* box =
        new QMessageBox(QMessageBox::Question, question.title, {}, QMessageBox::NoButton, m_window);
    box->setTextFormat(Qt::RichText);
    box->setText(QStringLiteral("<b>%1</b>").arg(question.title.toHtmlEscaped()));
    box->setInformativeText(question.message);
    QPushButton* confirm = box->addButton(question.confirm, QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QCoreApplication::translate("DesktopDialogs", "Cancel"),
                                         QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, confirm, answered = std::move(answered)] {
                         answered(box->clickedButton() == confirm);
                     });
    box->open();
}

void DesktopDialogs::reveal(const QStringList& paths)
{
    QStringList uris;
    for (const QString& path : paths)
        uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    const QString first = paths.value(0);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openParentFolder(first);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [first](QDBusPendingCallWatcher* self) {
                         if (self->isError())
                             openParentFolder(first);
                         self->deleteLater();
                     });
}

void DesktopDialogs::openUrl(const QUrl& url)
{
    if (url.scheme() == QStringLiteral("https") || url.scheme() == QStringLiteral("mailto"))
        QDesktopServices::openUrl(url);
}

#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// The panels and desktop requests the application model needs, behind an interface so the model
// runs without a screen (tests give a fake one).
class Dialogs
{
public:
    struct FolderPanel
    {
        QString title;
        QString message;
        QString prompt; // the confirming button's text
        bool several = false;
        QString startFolder; // empty: where the platform chooses
    };

    struct SavePanel
    {
        QString title;
        QString proposedName;
        QString startFolder;
        QString suffix; // the only file type offered, e.g. "md"
    };

    virtual ~Dialogs() = default;

    // The chosen folders as absolute paths; empty when the user cancelled.
    [[nodiscard]] virtual QStringList chooseFolders(const FolderPanel& panel) = 0;
    // The chosen file path; nothing when the user cancelled.
    [[nodiscard]] virtual std::optional<QString> chooseSaveFile(const SavePanel& panel) = 0;
    // Shows the paths selected in the file manager (asked even when the list is empty).
    virtual void reveal(const QStringList& paths) = 0;
    // Opens an https or mailto address with the desktop's handler.
    virtual void openUrl(const QUrl& url) = 0;
};

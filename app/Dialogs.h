#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
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

    // A yes-or-no question before an action; "Cancel" is the default and Escape answers it.
    struct Question
    {
        QString title;
        QString message;
        QString confirm; // the confirming button's text

        friend bool operator==(const Question&, const Question&) = default;
    };

    virtual ~Dialogs() = default;

    // Opens the panel without waiting; chosen gets the folders as absolute paths, empty when the
    // user cancelled. It is called at most once, on the GUI thread.
    virtual void chooseFolders(const FolderPanel& panel,
                               std::function<void(const QStringList&)> chosen) = 0;
    // Opens the panel without waiting; chosen gets the file path, nothing when the user
    // cancelled. It is called at most once, on the GUI thread.
    virtual void chooseSaveFile(const SavePanel& panel,
                                std::function<void(const std::optional<QString>&)> chosen) = 0;
    // Asks without waiting for the answer; answered gets true when the user confirmed. It is
    // called at most once, later, on the GUI thread; never when the question goes unanswered.
    virtual void ask(const Question& question, std::function<void(bool)> answered) = 0;
    // Shows the paths selected in the file manager (asked even when the list is empty).
    virtual void reveal(const QStringList& paths) = 0;
    // Opens an https or mailto address with the desktop's handler.
    virtual void openUrl(const QUrl& url) = 0;
};

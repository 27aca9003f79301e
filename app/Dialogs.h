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

    // The chosen folders as absolute paths; empty when the user cancelled.
    [[nodiscard]] virtual QStringList chooseFolders(const FolderPanel& panel) = 0;
    // The chosen file path; nothing when the user cancelled.
    [[nodiscard]] virtual std::optional<QString> chooseSaveFile(const SavePanel& panel) = 0;
    // Asks without waiting for the answer; answered gets true when the user confirmed. It is
    // called at most once, later, on the GUI thread; never when the question goes unanswered.
    virtual void ask(const Question& question, std::function<void(bool)> answered) = 0;
    // Shows the paths selected in the file manager (asked even when the list is empty).
    virtual void reveal(const QStringList& paths) = 0;
    // Opens an https or mailto address with the desktop's handler.
    virtual void openUrl(const QUrl& url) = 0;
};

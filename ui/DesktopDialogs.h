#pragma once

#include "app/Dialogs.h"

class QWidget;

// The desktop's panels and requests: Qt file dialogs over the given window, the file manager's
// D-Bus interface for revealing files, and the desktop's handlers for addresses.
class DesktopDialogs : public Dialogs
{
public:
    explicit DesktopDialogs(QWidget* window = nullptr) : m_window(window) {}
    // The window the panels belong to.
    void setWindow(QWidget* window) { m_window = window; }

    // Window-modal file panels over the window, opened without waiting; Qt's own folder dialog
    // with the panel's message shown above its controls.
    void chooseFolders(const FolderPanel& panel,
                       std::function<void(const QStringList&)> chosen) override;
    void chooseSaveFile(const SavePanel& panel,
                        std::function<void(const std::optional<QString>&)> chosen) override;
    // A window-modal question over the window, opened without waiting: the title as its bold
    // first line, the message below, the confirming button and "Cancel".
    void ask(const Question& question, std::function<void(bool)> answered) override;
    // Asks org.freedesktop.FileManager1 without waiting; when that fails, opens the parent
    // folder of the first path.
    void reveal(const QStringList& paths) override;
    void openUrl(const QUrl& url) override;

private:
    QWidget* m_window;
};

#pragma once

#include "app/Completion.h"

#include <QFuture>
#include <QString>
#include <memory>

class AppModel;
class CoreCalls;
class JobRunner;

// Adding and removing the custom folders the scan looks in. The stored list is changed on the
// job runner, waiting for another process's hold of it only up to the desktop's limit; a
// failure is a toast.
class FolderController
{
public:
    FolderController(AppModel& model, JobRunner& runner, std::shared_ptr<CoreCalls> core);

    // Asks for folders, stores them, selects the last one stored and rescans.
    QFuture<void> addFolder();
    // Drops the folder's entries at once; rescans when another stored folder overlaps it.
    QFuture<void> removeFolder(const QString& path);

private:
    struct Stored;

    void store(const QStringList& chosen, Completion::Done done);

    AppModel& m_model;
    JobRunner& m_runner;
    std::shared_ptr<CoreCalls> m_core;
};

#pragma once

#include "app/Completion.h"
#include "app/Dialogs.h"
#include "model/ScanResult.h"

#include <QDateTime>
#include <QFuture>
#include <QStringList>
#include <memory>

class AppModel;
class CoreCalls;
class JobRunner;

// The Markdown report of the last scan, saved where the user chooses, and showing files in the
// file manager.
class ReportController
{
public:
    ReportController(AppModel& model, JobRunner& runner, std::shared_ptr<CoreCalls> core);

    // Asks where, writes the report off the GUI thread, then shows it in the file manager.
    QFuture<void> exportReport();
    // Shows those of the paths that exist (looked at off the GUI thread).
    QFuture<void> reveal(const QStringList& paths);

private:
    void ask(const Dialogs::SavePanel& panel, const ScanResult& snapshot, const QDateTime& now,
             Completion::Done done);

    AppModel& m_model;
    JobRunner& m_runner;
    std::shared_ptr<CoreCalls> m_core;
};

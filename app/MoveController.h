#pragma once

#include "app/Completion.h"
#include "model/ModelEntry.h"

#include <QFuture>
#include <memory>

class AppModel;
class CoreCalls;
class JobRunner;

// Moving entries to another drive with a link left behind, and moving them back.
class MoveController
{
public:
    MoveController(AppModel& model, JobRunner& runner, std::shared_ptr<CoreCalls> core);

    // Asks where (the panel opens at the removable drives' folder) and moves there.
    QFuture<void> move(const QList<ModelEntry>& entries);
    QFuture<void> moveBack(const QList<ModelEntry>& entries);

private:
    struct Target;
    struct Result;

    void askWhere(const QList<ModelEntry>& entries, const QString& startFolder,
                  Completion::Done done);
    void run(const QList<ModelEntry>& entries, const QString& to, const QString& label,
             Completion::Done done);
    void finish(const QList<ModelEntry>& entries, const QString& label, bool stopped,
                const Result& result, Completion::Done done);

    AppModel& m_model;
    JobRunner& m_runner;
    std::shared_ptr<CoreCalls> m_core;
};

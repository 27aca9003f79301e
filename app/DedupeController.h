#pragma once

#include "app/Completion.h"
#include "model/ModelEntry.h"

#include <QFuture>
#include <memory>

class AppModel;
class CoreCalls;
class JobRunner;

// Freeing duplicate files in place: a dry run works out what it would free, the user is asked,
// then the run frees it.
class DedupeController
{
public:
    DedupeController(AppModel& model, JobRunner& runner, std::shared_ptr<CoreCalls> core);
    ~DedupeController();

    QFuture<void> freeDuplicates(const QList<ModelEntry>& entries);

private:
    struct Check;

    void ask(const Check& check, Completion::Done done);
    void run(const Check& check, Completion::Done done);

    AppModel& m_model;
    JobRunner& m_runner;
    std::shared_ptr<CoreCalls> m_core;
};

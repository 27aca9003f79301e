#pragma once

#include "app/Completion.h"
#include "model/ModelEntry.h"
#include "model/TrashEntry.h"

#include <QFuture>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>

class AppModel;
class CoreCalls;
class JobRunner;

// Trashing, restoring and deleting for good, the confirmation before a risky trash, and the
// restore log the Trash view lists.
class TrashController
{
public:
    // The restore log, numbered in the order the loads finished reading.
    struct List
    {
        QList<TrashEntry> entries;
        quint64 number = 0;
    };

    TrashController(AppModel& model, JobRunner& runner, std::shared_ptr<CoreCalls> core);

    QFuture<void> requestTrash(const QList<ModelEntry>& entries);
    QFuture<void> trash(const QList<ModelEntry>& entries);
    QFuture<void> restore(const QStringList& ids);
    QFuture<void> deletePermanently(const QStringList& ids);
    QFuture<void> reload();

    // Any thread: reads the log and numbers the read; a higher number never holds an older one.
    [[nodiscard]] static List load(CoreCalls& core, std::atomic<quint64>& counter);
    [[nodiscard]] std::shared_ptr<std::atomic<quint64>> counter() const { return m_counter; }
    // Publishes the list unless a later read was published already.
    void apply(const List& list);

private:
    using RecordCall = std::optional<QString> (CoreCalls::*)(const QString&);

    void doTrash(const QList<ModelEntry>& entries, Completion::Done done);
    // Calls the core on each record off the GUI thread, reloads the log, shows the first error
    // or doneText, then rescans (when rescanWanted).
    QFuture<void> onRecords(const QStringList& ids, const QString& busyText, RecordCall call,
                            const QString& doneText, bool rescanWanted);

    AppModel& m_model;
    JobRunner& m_runner;
    std::shared_ptr<CoreCalls> m_core;
    std::shared_ptr<std::atomic<quint64>> m_counter = std::make_shared<std::atomic<quint64>>(0);
    quint64 m_applied = 0;
};

#include "app/TrashController.h"

#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/JobRunner.h"
#include "app/ScanController.h"
#include "model/TrashPolicy.h"
#include "text/Format.h"

#include <QCoreApplication>
#include <mutex>

namespace {

QSet<QString> primaryPaths(const QList<ModelEntry>& entries)
{
    QSet<QString> paths;
    for (const ModelEntry& entry : entries)
        paths.insert(entry.primaryPath);
    return paths;
}

} // namespace

TrashController::TrashController(AppModel& model, JobRunner& runner,
                                 std::shared_ptr<CoreCalls> core)
    : m_model(model), m_runner(runner), m_core(std::move(core))
{}

TrashController::List TrashController::load(CoreCalls& core, std::atomic<quint64>& counter)
{
    // Reading and numbering go together, so a higher number never holds an older read.
    static std::mutex reading;
    const std::lock_guard lock(reading);
    List list;
    list.entries = core.trashEntries();
    list.number = ++counter;
    return list;
}

void TrashController::apply(const List& list)
{
    if (list.number <= m_applied)
        return;
    m_applied = list.number;
    m_model.setTrashEntries(list.entries);
}

QFuture<void> TrashController::reload()
{
    Completion::Done done = Completion::make();
    m_runner.run(
        {},
        [core = m_core, counter = m_counter](const JobRunner::Context&) {
            return load(*core, *counter);
        },
        [this, done](JobRunner::Outcome<List>&& outcome) {
            if (outcome.value)
                apply(*outcome.value);
            done->finish();
        });
    return done->future();
}

QFuture<void> TrashController::requestTrash(const QList<ModelEntry>& entries)
{
    if (entries.isEmpty() || m_model.isBusy())
        return Completion::finished();
    if (m_core->heldBack(entries)) {
        m_model.setPendingRiskyTrash(entries);
        return Completion::finished();
    }
    const bool seenRunning = m_model.m_scan && m_model.m_scan->ollamaRunning;
    if (!TrashPolicy::needsOllamaProbe(entries, seenRunning))
        return trash(entries);
    Completion::Done done = Completion::make();
    JobRunner::Options options;
    options.busy =
        QCoreApplication::translate("TrashController", "Checking whether Ollama is running…");
    m_runner.run(
        options,
        [core = m_core, entries, seenRunning](const JobRunner::Context&) {
            return core->needsConfirmation(entries, seenRunning);
        },
        [this, entries, done](JobRunner::Outcome<bool>&& outcome) {
            if (outcome.value.value_or(true)) {
                m_model.setPendingRiskyTrash(entries);
                done->finish();
                return;
            }
            trash(entries).then(&m_model, [done] { done->finish(); });
        });
    return done->future();
}

QFuture<void> TrashController::trash(const QList<ModelEntry>& entries)
{
    Completion::Done done = Completion::make();
    doTrash(entries, done);
    return done->future();
}

void TrashController::doTrash(const QList<ModelEntry>& entries, Completion::Done done)
{
    const int n = int(entries.size());
    JobRunner::Options options;
    options.busy = n == 1 ? QCoreApplication::translate("TrashController", "Moving %1 to Trash…")
                                .arg(entries[0].name)
                          : QCoreApplication::translate("TrashController",
                                                        "Moving %n items to Trash…", nullptr, n);
    m_model.m_scans->beginChange();
    using Result = std::pair<QList<TrashOutcome>, List>;
    m_runner.run(
        options,
        [core = m_core, entries, counter = m_counter](const JobRunner::Context& job) {
            QList<TrashOutcome> outcomes = core->trash(entries, job.stop());
            return Result(outcomes, load(*core, *counter));
        },
        [this, entries, done, n](JobRunner::Outcome<Result>&& outcome) {
            m_model.m_scans->endChange();
            QList<TrashOutcome> outcomes;
            QStringList errors;
            if (outcome.value) {
                outcomes = outcome.value->first;
                apply(outcome.value->second);
            } else {
                errors.push_back(outcome.failure);
            }
            QList<ModelEntry> trashed;
            QStringList undo;
            qint64 freed = 0;
            bool ollama = false;
            for (qsizetype i = 0; i < outcomes.size(); ++i) {
                if (outcomes[i].error)
                    errors.push_back(*outcomes[i].error);
                if (!outcomes[i].entry)
                    continue;
                trashed.push_back(entries[i]);
                undo.push_back(outcomes[i].entry->id);
                freed += entries[i].reclaimableBytes;
                ollama = ollama || entries[i].source == ModelSource::ollama;
            }
            const bool duplicate = m_model.removePaths(primaryPaths(trashed));
            const int t = int(trashed.size());
            if (!errors.isEmpty())
                m_model.showToast(
                    t > 0 ? QCoreApplication::translate("TrashController", "Trashed %1 of %2. %3")
                                .arg(t)
                                .arg(n)
                                .arg(errors[0])
                          : errors[0],
                    true);
            else if (t > 0)
                m_model.showToast(
                    QCoreApplication::translate("TrashController", "Moved %1 to Trash · %2 freed")
                        .arg(t == 1 ? u'"' + trashed[0].name + u'"'
                                    : QCoreApplication::translate("TrashController", "%n items",
                                                                  nullptr, t),
                             Format::bytes(freed)),
                    false, undo);
            (void)m_model.m_scans->rescanThen(ollama || duplicate, done);
        });
}

QFuture<void> TrashController::restore(const QStringList& ids)
{
    const int n = int(ids.size());
    const QString restored =
        n == 1 ? QCoreApplication::translate("TrashController", "Restored to its original location")
               : QCoreApplication::translate("TrashController", "Restored %n items", nullptr, n);
    return onRecords(ids, QCoreApplication::translate("TrashController", "Restoring…"),
                     &CoreCalls::restore, restored, true);
}

QFuture<void> TrashController::deletePermanently(const QStringList& ids)
{
    qint64 total = 0;
    for (const TrashEntry& entry : m_model.m_trashEntries)
        if (ids.contains(entry.id))
            total += entry.sizeBytes;
    return onRecords(
        ids, QCoreApplication::translate("TrashController", "Deleting…"),
        &CoreCalls::deletePermanently,
        QCoreApplication::translate("TrashController", "Deleted permanently · %1 freed")
            .arg(Format::bytes(total)),
        false);
}

QFuture<void> TrashController::onRecords(const QStringList& ids, const QString& busyText,
                                         RecordCall call, const QString& doneText,
                                         bool rescanWanted)
{
    Completion::Done done = Completion::make();
    JobRunner::Options options;
    options.busy = busyText;
    m_model.m_scans->beginChange();
    using Result = std::pair<QStringList, List>;
    m_runner.run(
        options,
        [core = m_core, ids, call, counter = m_counter](const JobRunner::Context&) {
            QStringList errors;
            for (const QString& id : ids)
                if (const std::optional<QString> error = ((*core).*call)(id))
                    errors.push_back(*error);
            return Result(errors, load(*core, *counter));
        },
        [this, done, doneText, rescanWanted](JobRunner::Outcome<Result>&& outcome) {
            m_model.m_scans->endChange();
            QStringList errors{outcome.failure};
            if (outcome.value) {
                errors = outcome.value->first;
                apply(outcome.value->second);
            }
            m_model.showToast(errors.isEmpty() ? doneText : errors[0], !errors.isEmpty());
            (void)m_model.m_scans->rescanThen(rescanWanted, done);
        });
    return done->future();
}

#include "app/MoveController.h"

#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/JobRunner.h"
#include "app/ScanController.h"
#include "text/Format.h"

#include <QCoreApplication>
#include <QPointer>
#include <chrono>

namespace {

QString quoted(const QString& name)
{
    return u'"' + name + u'"';
}

QString models(const QList<ModelEntry>& list)
{
    const int n = int(list.size());
    return n == 1 ? quoted(list[0].name)
                  : QCoreApplication::translate("MoveController", "%n models", nullptr, n);
}

QSet<QString> primaryPaths(const QList<ModelEntry>& entries)
{
    QSet<QString> paths;
    for (const ModelEntry& entry : entries)
        paths.insert(entry.primaryPath);
    return paths;
}

} // namespace

struct MoveController::Result : CoreCalls::MoveResult
{
};

MoveController::MoveController(AppModel& model, JobRunner& runner, std::shared_ptr<CoreCalls> core)
    : m_model(model), m_runner(runner), m_core(std::move(core))
{}

QFuture<void> MoveController::move(const QList<ModelEntry>& entries)
{
    if (entries.isEmpty() || m_model.isBusy())
        return Completion::finished();
    Completion::Done done = Completion::make();
    m_runner.run(
        {}, [core = m_core](const JobRunner::Context&) { return core->moveStartFolder(); },
        [this, entries, done](JobRunner::Outcome<QString>&& outcome) {
            askWhere(entries, outcome.value.value_or(QString()), done);
        });
    return done->future();
}

void MoveController::askWhere(const QList<ModelEntry>& entries, const QString& startFolder,
                              Completion::Done done)
{
    Dialogs::FolderPanel panel;
    panel.title = QCoreApplication::translate("MoveController", "Move Models");
    panel.message = QCoreApplication::translate("MoveController",
                                                "Choose where to move %1. A symlink is left at "
                                                "the original location so your tools keep "
                                                "working.")
                        .arg(models(entries));
    panel.prompt = QCoreApplication::translate("MoveController", "Move Here");
    panel.startFolder = startFolder;
    QPointer<AppModel> model(&m_model);
    m_model.m_dialogs.chooseFolders(panel, [this, model, entries, done](const QStringList& chosen) {
        if (!model || chosen.isEmpty() || chosen[0].isEmpty() || m_model.isBusy() ||
            m_runner.isStopping()) {
            done->finish();
            return;
        }
        const QString& to = chosen[0];
        m_runner.run(
            {}, [core = m_core, to](const JobRunner::Context&) { return core->volumeLabel(to); },
            [this, entries, to, done](JobRunner::Outcome<QString>&& label) {
                if (m_model.isBusy()) {
                    done->finish();
                    return;
                }
                run(entries, to, label.value.value_or(to), done);
            });
    });
}

void MoveController::run(const QList<ModelEntry>& entries, const QString& to, const QString& label,
                         Completion::Done done)
{
    const QString busyText =
        QCoreApplication::translate("MoveController", "Moving %1 to %2")
            .arg(entries.size() == 1 ? entries[0].name : models(entries), label);
    JobRunner::Options options;
    options.busy = busyText + u'…';
    options.stoppable = true;
    auto stop = std::make_shared<StopToken>();
    options.stop = stop;
    m_model.m_scans->beginChange();
    m_runner.run(
        options,
        [core = m_core, entries, to, busyText](const JobRunner::Context& job) {
            auto last = std::chrono::steady_clock::time_point();
            const auto progress = [&](qint64 copied, qint64 total) {
                const auto now = std::chrono::steady_clock::now();
                if (now - last < std::chrono::milliseconds(100))
                    return;
                last = now;
                job.setBusyText(busyText +
                                QCoreApplication::translate("MoveController", " (%1 of %2)…")
                                    .arg(Format::bytes(copied), Format::bytes(total)));
            };
            return Result{core->move(entries, to, job.stop(), progress)};
        },
        [this, entries, label, done, stop](JobRunner::Outcome<Result>&& outcome) {
            m_model.m_scans->endChange();
            Result result;
            if (outcome.value)
                result = *outcome.value;
            else
                result.error = outcome.failure;
            finish(entries, label, stop->stopRequested(), result, done);
        });
}

void MoveController::finish(const QList<ModelEntry>& entries, const QString& label, bool stopped,
                            const Result& result, Completion::Done done)
{
    const QSet<QString> movedFrom(result.movedFrom.cbegin(), result.movedFrom.cend());
    QList<ModelEntry> moved;
    for (const ModelEntry& entry : entries)
        if (result.succeeded() || movedFrom.contains(entry.primaryPath))
            moved.push_back(entry);
    const bool duplicate = m_model.removePaths(primaryPaths(moved));
    if (result.succeeded())
        m_model.showToast(
            QCoreApplication::translate("MoveController", "Moved %1 to %2 · symlinks left in place")
                .arg(models(moved), label),
            false);
    else if (stopped && moved.isEmpty())
        m_model.showToast(
            QCoreApplication::translate("MoveController", "Stopped — nothing was moved"), false);
    else if (stopped)
        m_model.showToast(QCoreApplication::translate("MoveController", "Stopped — moved %1 of %2")
                              .arg(moved.size())
                              .arg(entries.size()),
                          false);
    else
        m_model.showToast(
            result.error.value_or(QCoreApplication::translate("MoveController", "Move failed")),
            true);
    const bool partial = !result.succeeded() && !result.movedTo.isEmpty();
    // Moved entries stay listed, at their links: the scan shows them as moved.
    (void)m_model.m_scans->rescanThen(partial || duplicate || !result.movedTo.isEmpty(), done);
}

QFuture<void> MoveController::moveBack(const QList<ModelEntry>& entries)
{
    QList<ModelEntry> moved;
    for (const ModelEntry& entry : entries)
        if (entry.isMoved())
            moved.push_back(entry);
    if (moved.isEmpty() || m_model.isBusy())
        return Completion::finished();
    const int n = int(moved.size());
    Completion::Done done = Completion::make();
    JobRunner::Options options;
    options.busy =
        n == 1 ? QCoreApplication::translate("MoveController", "Moving %1 back…").arg(moved[0].name)
               : QCoreApplication::translate("MoveController", "Moving %n items back…", nullptr, n);
    options.stoppable = true;
    m_model.m_scans->beginChange();
    m_runner.run(
        options,
        [core = m_core, moved](const JobRunner::Context& job) {
            return Result{core->moveBack(moved, job.stop(), {})};
        },
        [this, moved, n, done](JobRunner::Outcome<Result>&& outcome) {
            m_model.m_scans->endChange();
            Result result;
            if (outcome.value)
                result = *outcome.value;
            else
                result.error = outcome.failure;
            if (result.succeeded())
                m_model.showToast(
                    n == 1 ? QCoreApplication::translate("MoveController", "Moved %1 back")
                                 .arg(moved[0].name)
                           : QCoreApplication::translate("MoveController", "Moved %n items back",
                                                         nullptr, n),
                    false);
            else
                m_model.showToast(result.error.value_or(QCoreApplication::translate(
                                      "MoveController", "Move back failed")),
                                  true);
            (void)m_model.m_scans->rescanThen(true, done);
        });
    return done->future();
}

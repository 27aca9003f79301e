#include "app/ReportController.h"

#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/JobRunner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTimeZone>

ReportController::ReportController(AppModel& model, JobRunner& runner,
                                   std::shared_ptr<CoreCalls> core)
    : m_model(model), m_runner(runner), m_core(std::move(core))
{}

QFuture<void> ReportController::exportReport()
{
    if (!m_model.m_scan)
        return Completion::finished();
    const ScanResult snapshot = *m_model.m_scan;
    const QDateTime now = m_model.m_now();
    Dialogs::SavePanel panel;
    panel.title = QCoreApplication::translate("ReportController", "Export Report");
    panel.proposedName = QCoreApplication::translate("ReportController", "Brimvale Report %1.md")
                             .arg(now.toTimeZone(QTimeZone::utc()).date().toString(Qt::ISODate));
    panel.suffix = QStringLiteral("md");
    Completion::Done done = Completion::make();
    // The desktop folder comes from the user's folder settings file.
    m_runner.run(
        {},
        [](const JobRunner::Context&) {
            return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        },
        [this, panel, snapshot, now, done](JobRunner::Outcome<QString>&& folder) mutable {
            panel.startFolder = folder.value.value_or(QString());
            ask(panel, snapshot, now, done);
        });
    return done->future();
}

void ReportController::ask(const Dialogs::SavePanel& panel, const ScanResult& snapshot,
                           const QDateTime& now, Completion::Done done)
{
    QPointer<AppModel> model(&m_model);
    m_model.m_dialogs.chooseSaveFile(
        panel, [this, model, snapshot, now, done](const std::optional<QString>& path) {
            if (!model || !path || path->isEmpty()) {
                done->finish();
                return;
            }
            m_runner.run(
                {},
                [core = m_core, snapshot, now, path = *path](const JobRunner::Context&) {
                    return core->writeReport(snapshot, now, path);
                },
                [this, path = *path, done](JobRunner::Outcome<std::optional<QString>>&& outcome) {
                    const std::optional<QString> error =
                        outcome.value ? *outcome.value : std::optional(outcome.failure);
                    if (error) {
                        m_model.showToast(QCoreApplication::translate("ReportController",
                                                                      "Could not save report: %1")
                                              .arg(*error),
                                          true);
                    } else {
                        m_model.m_dialogs.reveal({path});
                        m_model.showToast(
                            QCoreApplication::translate("ReportController", "Report saved to %1")
                                .arg(QFileInfo(QFileInfo(path).path()).fileName()),
                            false);
                    }
                    done->finish();
                });
        });
}

QFuture<void> ReportController::reveal(const QStringList& paths)
{
    Completion::Done done = Completion::make();
    m_runner.run(
        {}, [core = m_core, paths](const JobRunner::Context&) { return core->existing(paths); },
        [this, done](JobRunner::Outcome<QStringList>&& outcome) {
            m_model.m_dialogs.reveal(outcome.value.value_or(QStringList()));
            done->finish();
        });
    return done->future();
}

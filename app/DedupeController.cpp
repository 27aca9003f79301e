#include "app/DedupeController.h"

#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/JobRunner.h"
#include "app/ScanController.h"
#include "text/Format.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>

namespace {

std::optional<QString> firstReason(const QList<DedupedFile>& files)
{
    for (const DedupedFile& file : files)
        if (file.reason)
            return file.reason;
    return std::nullopt;
}

} // namespace

// What freeing some entries' duplicates would do, from a dry run of their plan.
struct DedupeController::Check
{
    DedupePlan::Plan plan;
    bool hardLink = false;         // some file's filesystem cannot share blocks
    qint64 bytes = 0;              // what the run would free
    std::optional<QString> reason; // the first reason a file would not be freed
};

DedupeController::DedupeController(AppModel& model, JobRunner& runner,
                                   std::shared_ptr<CoreCalls> core)
    : m_model(model), m_runner(runner), m_core(std::move(core))
{}

DedupeController::~DedupeController() = default;

QFuture<void> DedupeController::freeDuplicates(const QList<ModelEntry>& entries)
{
    if (entries.isEmpty() || m_model.isBusy() || !m_model.m_scan)
        return Completion::finished();
    Completion::Done done = Completion::make();
    JobRunner::Options options;
    options.busy = QCoreApplication::translate("DedupeController", "Checking what can be freed…");
    m_runner.run(
        options,
        [core = m_core, scan = *m_model.m_scan, entries](const JobRunner::Context& job) {
            Check check;
            check.plan = core->planDedupe(scan, entries);
            check.hardLink = std::any_of(
                check.plan.items.cbegin(), check.plan.items.cend(), [&](const DedupeItem& item) {
                    return !StopToken::requested(job.stop()) && !core->canShareBlocks(item.path);
                });
            const DedupeOutcome dryRun = core->dedupe(check.plan, check.hardLink, true, job.stop());
            check.bytes = dryRun.bytesShared();
            check.reason = firstReason(dryRun.files);
            if (!check.reason)
                check.reason = dryRun.error;
            return check;
        },
        [this, done](JobRunner::Outcome<Check>&& outcome) {
            if (m_runner.isStopping()) {
                done->finish();
            } else if (!outcome.value || outcome.value->bytes <= 0) {
                m_model.showToast(
                    outcome.value
                        ? outcome.value->reason.value_or(QCoreApplication::translate(
                              "DedupeController", "Nothing to free — no copy is stored twice"))
                        : outcome.failure,
                    true);
                done->finish();
            } else {
                ask(*outcome.value, done);
            }
        });
    return done->future();
}

void DedupeController::ask(const Check& check, Completion::Done done)
{
    Dialogs::Question question;
    question.title =
        QCoreApplication::translate("DedupeController", "Free %1 by sharing identical data?")
            .arg(Format::bytes(check.bytes));
    question.message = QCoreApplication::translate(
        "DedupeController", "Both copies stay where they are and keep working; the disk stores "
                            "their data once.");
    if (check.hardLink)
        question.message += u' ' + QCoreApplication::translate(
                                       "DedupeController",
                                       "On this drive the copy is replaced by a hard link to the "
                                       "one that stays, so both paths show one file.");
    question.confirm = QCoreApplication::translate("DedupeController", "Free Space");
    QPointer<AppModel> model(&m_model);
    m_model.m_dialogs.ask(question, [this, model, check, done](bool confirmed) {
        if (model && confirmed && !m_model.isBusy() && !m_runner.isStopping())
            run(check, done);
        else
            done->finish();
    });
}

void DedupeController::run(const Check& check, Completion::Done done)
{
    JobRunner::Options options;
    options.busy = QCoreApplication::translate("DedupeController", "Freeing duplicates…");
    options.stoppable = true;
    m_model.m_scans->beginChange();
    m_runner.run(
        options,
        [core = m_core, plan = check.plan,
         hardLink = check.hardLink](const JobRunner::Context& job) {
            return core->dedupe(plan, hardLink, false, job.stop());
        },
        [this, check, done](JobRunner::Outcome<DedupeOutcome>&& outcome) {
            m_model.m_scans->endChange();
            DedupeOutcome result;
            if (outcome.value)
                result = std::move(*outcome.value);
            else
                result.error = outcome.failure;
            // The plan's skipped files lead the outcome as they are; the question left them out.
            const QList<DedupedFile> planned =
                result.files.mid(std::min(check.plan.skipped.size(), result.files.size()));
            const bool everything =
                !result.error && !planned.isEmpty() &&
                std::all_of(planned.cbegin(), planned.cend(),
                            [](const DedupedFile& file) { return file.freed(); });
            const QString freed = Format::bytes(result.bytesShared());
            if (everything) {
                m_model.showToast(
                    result.notes.isEmpty()
                        ? QCoreApplication::translate("DedupeController", "Freed %1").arg(freed)
                        : QCoreApplication::translate("DedupeController", "Freed %1. %2")
                              .arg(freed, result.notes.first()),
                    !result.notes.isEmpty());
            } else {
                const QString error = result.error.value_or(firstReason(planned).value_or(
                    firstReason(result.files)
                        .value_or(QCoreApplication::translate("DedupeController",
                                                              "Nothing was freed."))));
                m_model.showToast(
                    QCoreApplication::translate("DedupeController", "Freed %1 of %2. %3")
                        .arg(freed, Format::bytes(check.bytes), error),
                    true);
            }
            (void)m_model.m_scans->rescanThen(true, done);
        });
}

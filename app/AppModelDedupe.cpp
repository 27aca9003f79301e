#include "app/AppModel.h"
#include "text/Format.h"

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

QFuture<void> AppModel::freeDuplicates(const QList<ModelEntry>& entries)
{
    if (entries.isEmpty() || m_busyMessage || !m_scan)
        return finished();
    Done done = newDone();
    const int ticket = beginBusy(QStringLiteral("Checking what can be freed…"));
    offGui([core = m_core, scan = *m_scan, entries,
            stop = m_workStop] { return checkDedupe(*core, scan, entries, stop.get()); },
           [this, ticket, done](Attempt<DedupeCheck>&& attempt) {
               endBusy(ticket);
               askDedupe(std::move(attempt), done);
           });
    return done->future();
}

AppModel::DedupeCheck AppModel::checkDedupe(CoreCalls& core, const ScanResult& scan,
                                            const QList<ModelEntry>& entries, const StopToken* stop)
{
    DedupeCheck check;
    check.plan = core.planDedupe(scan, entries);
    check.hardLink = std::any_of(
        check.plan.items.cbegin(), check.plan.items.cend(), [&](const DedupeItem& item) {
            return !StopToken::requested(stop) && !core.canShareBlocks(item.path);
        });
    const DedupeOutcome dryRun = core.dedupe(check.plan, check.hardLink, true, stop);
    check.bytes = dryRun.bytesShared();
    check.reason = firstReason(dryRun.files);
    if (!check.reason)
        check.reason = dryRun.error;
    return check;
}

void AppModel::askDedupe(Attempt<DedupeCheck>&& attempt, Done done)
{
    if (m_stopping) {
        done->finish();
        return;
    }
    if (!attempt.value || attempt.value->bytes <= 0) {
        showToast(attempt.value ? attempt.value->reason.value_or(
                                      QStringLiteral("Nothing to free — no copy is stored twice"))
                                : attempt.failure,
                  true);
        done->finish();
        return;
    }
    const DedupeCheck check = std::move(*attempt.value);
    Dialogs::Question question;
    question.title =
        QStringLiteral("Free %1 by sharing identical data?").arg(Format::bytes(check.bytes));
    question.message = QStringLiteral(
        "Both copies stay where they are and keep working; the disk stores their data once.");
    if (check.hardLink)
        question.message += QStringLiteral(" On this drive the copy is replaced by a hard link "
                                           "to the one that stays, so both paths show one file.");
    question.confirm = QStringLiteral("Free Space");
    QPointer<AppModel> self(this);
    m_dialogs.ask(question, [self, check, done](bool confirmed) {
        if (self && confirmed && !self->m_busyMessage && !self->m_stopping)
            self->runDedupe(check, done);
        else
            done->finish();
    });
}

void AppModel::runDedupe(const DedupeCheck& check, Done done)
{
    m_stoppable = true;
    const int ticket = beginBusy(QStringLiteral("Freeing duplicates…"));
    beginChange();
    m_currentStop = std::make_shared<StopToken>();
    offGui([core = m_core, plan = check.plan, hardLink = check.hardLink,
            stop = m_currentStop] { return core->dedupe(plan, hardLink, false, stop.get()); },
           [this, ticket, check, done](Attempt<DedupeOutcome>&& attempt) {
               m_stoppable = false;
               endBusy(ticket);
               endChange();
               finishDedupe(check, std::move(attempt), done);
           });
}

void AppModel::finishDedupe(const DedupeCheck& check, Attempt<DedupeOutcome>&& attempt, Done done)
{
    DedupeOutcome outcome;
    if (attempt.value)
        outcome = std::move(*attempt.value);
    else
        outcome.error = attempt.failure;
    // The plan's skipped files lead the outcome as they are; the question left them out too.
    const QList<DedupedFile> planned =
        outcome.files.mid(std::min(check.plan.skipped.size(), outcome.files.size()));
    const bool everything = !outcome.error && !planned.isEmpty() &&
                            std::all_of(planned.cbegin(), planned.cend(),
                                        [](const DedupedFile& file) { return file.freed(); });
    const QString freed = Format::bytes(outcome.bytesShared());
    if (everything) {
        showToast(QStringLiteral("Freed %1").arg(freed) +
                      (outcome.notes.isEmpty() ? QString()
                                               : QStringLiteral(". ") + outcome.notes.first()),
                  !outcome.notes.isEmpty());
    } else {
        const QString error = outcome.error.value_or(firstReason(planned).value_or(
            firstReason(outcome.files).value_or(QStringLiteral("Nothing was freed."))));
        showToast(
            QStringLiteral("Freed %1 of %2. %3").arg(freed, Format::bytes(check.bytes), error),
            true);
    }
    (void)rescanThen(true, done);
}

#include "CliCommon.h"
#include "Commands.h"
#include "services/DedupePlan.h"
#include "services/DedupeService.h"
#include "text/Format.h"

#include <QJsonArray>
#include <QJsonObject>

namespace Commands {

namespace {

const QString kCountedLater = QStringLiteral(" (the drive reports free space after it commits)");

QJsonValue optionalText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonObject toJson(const DedupeOutcome& outcome, bool dryRun)
{
    QJsonArray files;
    for (const DedupedFile& file : outcome.files)
        files.push_back(QJsonObject{{QStringLiteral("entryId"), file.entryId},
                                    {QStringLiteral("path"), file.path},
                                    {QStringLiteral("keepPath"), file.keepPath},
                                    {QStringLiteral("bytesShared"), file.bytesShared},
                                    {QStringLiteral("hardLinked"), file.hardLinked},
                                    {QStringLiteral("freed"), file.freed()},
                                    {QStringLiteral("reason"), optionalText(file.reason)}});
    QJsonArray filesystems;
    for (const FreedSpace& space : outcome.filesystems)
        filesystems.push_back(QJsonObject{{QStringLiteral("mountPoint"), space.mountPoint},
                                          {QStringLiteral("freeBefore"), space.freeBefore},
                                          {QStringLiteral("freeAfter"), space.freeAfter},
                                          {QStringLiteral("freed"), space.freed()}});
    return QJsonObject{{QStringLiteral("dryRun"), dryRun},
                       {QStringLiteral("files"), files},
                       {QStringLiteral("filesystems"), filesystems},
                       {QStringLiteral("notes"), QJsonArray::fromStringList(outcome.notes)},
                       {QStringLiteral("bytesShared"), outcome.bytesShared()},
                       {QStringLiteral("error"), optionalText(outcome.error)}};
}

// A change of free space with its sign: "+1.2 GB", "-4 KB", "Zero KB".
QString signedBytes(qint64 change)
{
    return change > 0 ? u'+' + Format::bytes(change) : Format::bytes(change);
}

// Each file in order: freed ones on stdout (only when `freedLines`), the others with their
// reason on stderr; the run's error too when no file tells what went wrong; then the notes.
void printFiles(const DedupeOutcome& outcome, bool freedLines)
{
    bool told = false;
    for (const DedupedFile& file : outcome.files) {
        if (!file.reason && freedLines)
            CliCommon::out(CliCommon::singleLine(file.path) + u'\t' +
                           CliCommon::singleLine(file.keepPath) + u'\t' +
                           Format::bytes(file.bytesShared) + u'\n');
        else if (file.reason)
            CliCommon::err(CliCommon::singleLine(file.path) + QStringLiteral(": ") +
                           CliCommon::singleLine(*file.reason) + u'\n');
        told = told || file.reason;
    }
    if (outcome.error && !told)
        CliCommon::err(CliCommon::singleLine(*outcome.error) + u'\n');
    for (const QString& note : outcome.notes)
        CliCommon::err(CliCommon::singleLine(note) + u'\n');
}

// The change of free space of each filesystem touched (not for a dry run), then the total. A
// filesystem whose free space did not grow although blocks were freed on it is said to count
// them later.
void printTotals(const DedupeOutcome& outcome, bool dryRun)
{
    if (!dryRun) {
        for (const FreedSpace& space : outcome.filesystems)
            CliCommon::out(
                QStringLiteral("Free space on ") + CliCommon::singleLine(space.mountPoint) +
                QStringLiteral(": ") + signedBytes(space.freed()) +
                (space.freed() <= 0 && space.bytesShared > 0 ? kCountedLater : QString()) + u'\n');
    }
    CliCommon::out((dryRun ? QStringLiteral("Would free ") : QStringLiteral("Freed ")) +
                   Format::bytes(outcome.bytesShared()) + u'\n');
}

} // namespace

int dedupe(const QStringList& arguments)
{
    CliCommon::Arguments parsed;
    const QStringList flags{QStringLiteral("--json"), QStringLiteral("--dry-run"),
                            QStringLiteral("--hard-link")};
    if (const auto problem = CliCommon::parse(arguments, flags, true, false, false, parsed))
        return CliCommon::usageError(*problem);
    if (parsed.positional.isEmpty())
        return CliCommon::usageError(QStringLiteral("no ids given"));
    const bool json = parsed.flags.contains(QStringLiteral("--json"));
    DedupeService::Options options;
    options.hardLink = parsed.flags.contains(QStringLiteral("--hard-link"));
    options.dryRun = parsed.flags.contains(QStringLiteral("--dry-run"));

    const ScanResult scan = CliCommon::runScan(parsed.scan);
    const std::optional<QList<ModelEntry>> entries =
        CliCommon::entriesWithIds(scan, parsed.positional);
    if (!entries)
        return CliCommon::kFailure;

    const bool showProgress = CliCommon::stderrIsTerminal();
    if (showProgress)
        CliCommon::err(options.dryRun ? QStringLiteral("Looking at duplicates…")
                                      : QStringLiteral("Freeing duplicates…"));
    const DedupeOutcome outcome = DedupeService::run(DedupePlan::of(scan, *entries), options);
    if (showProgress)
        CliCommon::err(QStringLiteral("\r\033[K"));

    printFiles(outcome, !json);
    if (json)
        CliCommon::printJson(QJsonDocument(toJson(outcome, options.dryRun)));
    else
        printTotals(outcome, options.dryRun);
    if (options.dryRun)
        return CliCommon::kSuccess;
    return outcome.succeeded() ? CliCommon::kSuccess : CliCommon::kFailure;
}

} // namespace Commands

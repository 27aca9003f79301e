#include "CliCommon.h"
#include "Commands.h"
#include "services/MoveService.h"
#include "text/Format.h"

#include <QJsonArray>
#include <QJsonObject>

namespace Commands {

namespace {

QJsonObject toJson(const MoveOutcome& outcome)
{
    QJsonObject object;
    object.insert(QStringLiteral("movedTo"), QJsonArray::fromStringList(outcome.movedTo));
    object.insert(QStringLiteral("symlinksCreated"),
                  QJsonArray::fromStringList(outcome.symlinksCreated));
    object.insert(QStringLiteral("error"),
                  outcome.error ? QJsonValue(*outcome.error) : QJsonValue(QJsonValue::Null));
    QJsonArray items;
    for (const MovedItem& item : outcome.items)
        items.push_back(QJsonObject{{QStringLiteral("from"), item.from},
                                    {QStringLiteral("to"), item.to},
                                    {QStringLiteral("linked"), item.linked}});
    object.insert(QStringLiteral("items"), items);
    return object;
}

// The move's progress on stderr when it is a terminal; `showing` tells whether it is shown.
MoveProgress terminalProgress(bool& showing)
{
    MoveProgress progress;
    showing = CliCommon::stderrIsTerminal();
    if (showing) {
        progress.stage = [](const QString& path, MoveStage stage) {
            if (stage == MoveStage::renaming)
                CliCommon::err(QStringLiteral("\r\033[KMoving ") + CliCommon::singleLine(path) +
                               QStringLiteral("…"));
        };
        progress.copied = [](qint64 bytes) {
            CliCommon::err(QStringLiteral("\r\033[KMoving: ") + Format::bytes(bytes) +
                           QStringLiteral(" copied"));
        };
    }
    return progress;
}

int finish(const MoveOutcome& outcome, bool json, bool showedProgress)
{
    if (showedProgress)
        CliCommon::err(QStringLiteral("\r\033[K"));
    if (json) {
        CliCommon::printJson(QJsonDocument(toJson(outcome)));
    } else {
        for (const MovedItem& item : outcome.items)
            CliCommon::out(CliCommon::singleLine(item.from) + u'\t' +
                           CliCommon::singleLine(item.to) + u'\n');
    }
    if (outcome.error)
        CliCommon::err(CliCommon::singleLine(*outcome.error) + u'\n');
    return outcome.succeeded() ? CliCommon::kSuccess : CliCommon::kFailure;
}

// Scans, finds the entries of the ids and runs the move on them, reporting its outcome.
template <typename Move> int run(const CliCommon::Arguments& parsed, bool json, Move move)
{
    const ScanResult scan = CliCommon::runScan(parsed.scan);
    const std::optional<QList<ModelEntry>> entries =
        CliCommon::entriesWithIds(scan, parsed.positional);
    if (!entries)
        return CliCommon::kFailure;
    bool showing = false;
    const MoveProgress progress = terminalProgress(showing);
    return finish(move(*entries, progress), json, showing);
}

} // namespace

int move(const QStringList& arguments)
{
    CliCommon::Arguments parsed;
    const QStringList flags{QStringLiteral("--json"), QStringLiteral("--no-symlinks")};
    if (const auto problem = CliCommon::parse(arguments, flags, true, true, false, parsed))
        return CliCommon::usageError(*problem);
    if (!parsed.to)
        return CliCommon::usageError(QStringLiteral("missing --to DIR"));
    if (parsed.positional.isEmpty())
        return CliCommon::usageError(QStringLiteral("no ids given"));
    const bool json = parsed.flags.contains(QStringLiteral("--json"));
    const bool createSymlinks = !parsed.flags.contains(QStringLiteral("--no-symlinks"));

    return run(parsed, json, [&](const QList<ModelEntry>& entries, const MoveProgress& progress) {
        return MoveService::move(entries, *parsed.to, createSymlinks, progress);
    });
}

int moveBack(const QStringList& arguments)
{
    CliCommon::Arguments parsed;
    if (const auto problem =
            CliCommon::parse(arguments, {QStringLiteral("--json")}, true, false, false, parsed))
        return CliCommon::usageError(*problem);
    if (parsed.positional.isEmpty())
        return CliCommon::usageError(QStringLiteral("no ids given"));
    return run(parsed, parsed.flags.contains(QStringLiteral("--json")),
               [](const QList<ModelEntry>& entries, const MoveProgress& progress) {
                   return MoveService::moveBack(entries, progress);
               });
}

} // namespace Commands

#include "CliCommon.h"
#include "Commands.h"
#include "model/TrashPolicy.h"
#include "scanners/TrashCheck.h"
#include "services/TrashService.h"
#include "text/Format.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <functional>

namespace {

const QString kJson = QStringLiteral("--json");

QJsonValue optionalText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

// A failure on stderr, on one line.
void printError(const QString& error)
{
    CliCommon::err(CliCommon::singleLine(error) + u'\n');
}

// Runs one restore-log operation for every id in argument order (an id given twice counts once),
// going on after a failure. `act` gives the lines to print and the error of one id.
int forEachTrashId(
    QStringList ids, bool json,
    const std::function<std::pair<QStringList, std::optional<QString>>(const QString&)>& act)
{
    ids.removeDuplicates();
    QJsonArray results;
    bool failed = false;
    for (const QString& id : ids) {
        const auto [lines, error] = act(id);
        for (const QString& line : lines) {
            if (!json)
                CliCommon::out(CliCommon::singleLine(line) + u'\n');
        }
        if (error) {
            failed = true;
            printError(*error);
        }
        results.push_back(QJsonObject{{QStringLiteral("id"), id},
                                      {QStringLiteral("error"), optionalText(error)}});
    }
    if (json)
        CliCommon::printJson(QJsonDocument(results));
    return failed ? CliCommon::kFailure : CliCommon::kSuccess;
}

} // namespace

namespace Commands {

int trash(const QStringList& arguments)
{
    CliCommon::Arguments parsed;
    if (const auto problem = CliCommon::parse(arguments, {kJson, QStringLiteral("--force")}, true,
                                              false, false, parsed))
        return CliCommon::usageError(*problem);
    if (parsed.positional.isEmpty())
        return CliCommon::usageError(QStringLiteral("no ids given"));
    const bool json = parsed.flags.contains(kJson);

    parsed.positional.removeDuplicates(); // an id given twice is trashed once
    const ScanResult scan = CliCommon::runScan(parsed.scan);
    const std::optional<QList<ModelEntry>> chosen =
        CliCommon::entriesWithIds(scan, parsed.positional);
    if (!chosen)
        return CliCommon::kFailure;
    if (!parsed.flags.contains(QStringLiteral("--force")) &&
        TrashCheck::needsConfirmation(*chosen, scan.ollamaRunning)) {
        if (const std::optional<qsizetype> used =
                TrashPolicy::firstInUse(*chosen, scan.ollamaRunning)) {
            const ModelEntry& entry = chosen->at(*used);
            CliCommon::err(CliCommon::singleLine(entry.name) + QStringLiteral(" is in use by ") +
                           CliCommon::singleLine(*entry.inUseBy) +
                           QStringLiteral(". Quit it before trashing, or use --force.\n"));
        } else {
            CliCommon::err(QStringLiteral(
                "Ollama is running. Quit it before trashing Ollama models, or use --force.\n"));
        }
        return CliCommon::kFailure;
    }

    QJsonArray results;
    bool failed = false;
    const QList<TrashOutcome> outcomes = TrashService::moveToTrash(*chosen);
    for (qsizetype m = 0; m < outcomes.size(); ++m) {
        const ModelEntry& model = chosen->at(m);
        const TrashOutcome& outcome = outcomes[m];
        if (outcome.entry && !json) {
            const TrashEntry& entry = *outcome.entry;
            const qsizetype count = std::min(entry.originalPaths.size(), entry.trashedPaths.size());
            for (qsizetype i = 0; i < count; ++i)
                CliCommon::out(CliCommon::singleLine(entry.originalPaths[i]) + u'\t' +
                               CliCommon::singleLine(entry.trashedPaths[i]) + u'\n');
        }
        if (outcome.error)
            printError(*outcome.error);
        failed = failed || !outcome.succeeded();
        results.push_back(QJsonObject{
            {QStringLiteral("id"), model.id},
            {QStringLiteral("entry"),
             outcome.entry ? QJsonValue(outcome.entry->toJson()) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("error"), optionalText(outcome.error)},
        });
    }
    if (json)
        CliCommon::printJson(QJsonDocument(results));
    return failed ? CliCommon::kFailure : CliCommon::kSuccess;
}

int trashed(const QStringList& arguments)
{
    CliCommon::Arguments parsed;
    if (const auto problem = CliCommon::parse(arguments, {kJson}, false, false, false, parsed))
        return CliCommon::usageError(*problem);
    if (!parsed.positional.isEmpty())
        return CliCommon::usageError(QStringLiteral("unexpected argument: ") +
                                     parsed.positional.first());
    const QList<TrashEntry> listed = TrashService::entries();
    if (parsed.flags.contains(kJson)) {
        QJsonArray array;
        for (const TrashEntry& entry : listed)
            array.push_back(entry.toJson());
        CliCommon::printJson(QJsonDocument(array));
        return CliCommon::kSuccess;
    }
    for (const TrashEntry& entry : listed) {
        const QString when = QDateTime::fromSecsSinceEpoch(entry.trashedAt)
                                 .toLocalTime()
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        CliCommon::out(CliCommon::singleLine(entry.id) + u'\t' + when + u'\t' +
                       Format::bytes(entry.sizeBytes) + u'\t' +
                       CliCommon::singleLine(entry.modelName) + u'\n');
    }
    return CliCommon::kSuccess;
}

int restore(const QStringList& arguments)
{
    CliCommon::Arguments parsed;
    if (const auto problem = CliCommon::parse(arguments, {kJson}, false, false, false, parsed))
        return CliCommon::usageError(*problem);
    if (parsed.positional.isEmpty())
        return CliCommon::usageError(QStringLiteral("no ids given"));
    return forEachTrashId(parsed.positional, parsed.flags.contains(kJson), [](const QString& id) {
        const RestoreOutcome outcome = TrashService::restore(id);
        return std::pair(outcome.restored, outcome.error);
    });
}

int deleteEntries(const QStringList& arguments)
{
    CliCommon::Arguments parsed;
    if (const auto problem = CliCommon::parse(arguments, {kJson, QStringLiteral("--yes")}, false,
                                              false, false, parsed))
        return CliCommon::usageError(*problem);
    if (!parsed.flags.contains(QStringLiteral("--yes")))
        return CliCommon::usageError(QStringLiteral("delete needs --yes: it cannot be undone"));
    if (parsed.positional.isEmpty())
        return CliCommon::usageError(QStringLiteral("no ids given"));
    return forEachTrashId(parsed.positional, parsed.flags.contains(kJson), [](const QString& id) {
        const DeleteOutcome outcome = TrashService::deletePermanently(id);
        return std::pair(outcome.error ? QStringList() : QStringList{id}, outcome.error);
    });
}

} // namespace Commands

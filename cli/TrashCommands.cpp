#include "CliCommon.h"
#include "Commands.h"
#include "fs/Format.h"
#include "model/BrimvaleError.h"
#include "model/TrashPolicy.h"
#include "services/TrashService.h"

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

// Runs one restore-log operation for every id in argument order, going on after a failure.
// `act` returns the lines to print for a success.
int forEachTrashId(const QStringList& ids, bool json,
                   const std::function<QStringList(const QString&)>& act)
{
    QJsonArray results;
    bool failed = false;
    for (const QString& id : ids) {
        std::optional<QString> error;
        try {
            for (const QString& line : act(id)) {
                if (!json)
                    CliCommon::out(line + u'\n');
            }
        } catch (const BrimvaleError& failure) {
            error = failure.message();
        } catch (const std::exception& failure) {
            error = QString::fromUtf8(failure.what());
        }
        if (error) {
            failed = true;
            CliCommon::err(*error + u'\n');
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

    const ScanResult scan = CliCommon::runScan(parsed.scan);
    const std::optional<QList<ModelEntry>> chosen =
        CliCommon::entriesWithIds(scan, parsed.positional);
    if (!chosen)
        return CliCommon::kFailure;
    if (TrashPolicy::heldBack(*chosen) && !parsed.flags.contains(QStringLiteral("--force"))) {
        CliCommon::err(QStringLiteral(
            "Ollama is running. Quit it before trashing Ollama models, or use --force.\n"));
        return CliCommon::kFailure;
    }

    QJsonArray results;
    bool failed = false;
    for (const ModelEntry& model : *chosen) {
        const TrashOutcome outcome = TrashService::moveToTrash(model);
        if (outcome.entry && !json) {
            const TrashEntry& entry = *outcome.entry;
            const qsizetype count = std::min(entry.originalPaths.size(), entry.trashedPaths.size());
            for (qsizetype i = 0; i < count; ++i)
                CliCommon::out(entry.originalPaths[i] + u'\t' + entry.trashedPaths[i] + u'\n');
        }
        if (outcome.error)
            CliCommon::err(*outcome.error + u'\n');
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
        CliCommon::out(entry.id + u'\t' + when + u'\t' + Format::bytes(entry.sizeBytes) + u'\t' +
                       entry.modelName + u'\n');
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
    return forEachTrashId(parsed.positional, parsed.flags.contains(kJson),
                          [](const QString& id) { return TrashService::restore(id); });
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
        TrashService::deletePermanently(id);
        return QStringList{id};
    });
}

} // namespace Commands

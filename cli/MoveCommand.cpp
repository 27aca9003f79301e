#include "CliCommon.h"
#include "Commands.h"
#include "fs/Format.h"
#include "services/MoveService.h"

#include <QHash>
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
    return object;
}

QString lastComponent(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
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

    const ScanResult scan = CliCommon::runScan(parsed.scan);
    const std::optional<QList<ModelEntry>> entries =
        CliCommon::entriesWithIds(scan, parsed.positional);
    if (!entries)
        return CliCommon::kFailure;

    // Items are tried in order and their names are unique, so a new path's name finds its old
    // path.
    QHash<QString, QString> oldPathByName;
    MoveProgress progress;
    const bool showProgress = CliCommon::stderrIsTerminal();
    progress.stage = [&](const QString& path, MoveStage stage) {
        oldPathByName.insert(lastComponent(path), path);
        if (showProgress && stage == MoveStage::renaming)
            CliCommon::err(QStringLiteral("\r\033[KMoving ") + path + QStringLiteral("…"));
    };
    if (showProgress)
        progress.copied = [](qint64 bytes) {
            CliCommon::err(QStringLiteral("\r\033[KMoving: ") + Format::bytes(bytes) +
                           QStringLiteral(" copied"));
        };
    const MoveOutcome outcome = MoveService::move(*entries, *parsed.to, createSymlinks, progress);
    if (showProgress)
        CliCommon::err(QStringLiteral("\r\033[K"));

    if (json) {
        CliCommon::printJson(QJsonDocument(toJson(outcome)));
    } else {
        for (const QString& newPath : outcome.movedTo)
            CliCommon::out(oldPathByName.value(lastComponent(newPath)) + u'\t' + newPath + u'\n');
    }
    if (outcome.error)
        CliCommon::err(*outcome.error + u'\n');
    return outcome.succeeded() ? CliCommon::kSuccess : CliCommon::kFailure;
}

} // namespace Commands

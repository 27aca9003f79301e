#pragma once

#include "model/ModelEntry.h"
#include "services/TrashEntry.h"

#include <QByteArray>
#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QStringList>

// Helpers for the tests of the Trash layer, the restore log and the CLI trash commands.
namespace TrashFixtures {

// A catalogue entry of source `custom` for the paths.
[[nodiscard]] ModelEntry model(const QString& id, const QStringList& paths,
                               qint64 reclaimableBytes = 1000);

// A digest of what is at the path (not following a link at the path itself): file content,
// link target, or a folder's names and contents recursively. Empty when nothing is there.
[[nodiscard]] QByteArray digestOf(const QString& path);

// Names in the folder (hidden ones included), sorted; empty when it cannot be listed.
[[nodiscard]] QStringList namesIn(const QString& folder);

// The home trash and its two folders.
[[nodiscard]] QString homeTrash();
[[nodiscard]] QString homeTrashFiles();
[[nodiscard]] QString homeTrashInfo();

// The message with which trashing the path fails, or "(no error)" when it goes to the Trash.
[[nodiscard]] QString trashError(const QString& path);

// Content of the .trashinfo of a files/ item.
[[nodiscard]] QByteArray infoOf(const QString& trashedItem);

// The raw restore log, or an empty array when it is missing.
[[nodiscard]] QByteArray rawLog();
// Writes the raw restore log, or the records as the service stores them.
bool writeLog(const QByteArray& content);
bool writeLog(const QList<TrashEntry>& records);

// Writes a file holding `content` at the path and trashes it as one model; its record.
[[nodiscard]] TrashEntry trashedFile(const QString& path, const QByteArray& content = "x");

// An item holding its name, put into the home trash's files/ under `name` as if trashed from
// `original` at `at` (its .trashinfo says so and has that time). Returns its path in files/.
QString placeInTrash(const QString& name, const QString& original,
                     qint64 at = QDateTime::currentSecsSinceEpoch());

// A record of source Custom named after its id.
[[nodiscard]] TrashEntry record(const QString& id, const QStringList& originals,
                                const QStringList& trashed,
                                qint64 at = QDateTime::currentSecsSinceEpoch());

[[nodiscard]] QStringList idsOf(const QList<TrashEntry>& entries);

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

#ifdef BRIMVALE_CLI_PATH
// Runs brimvale-cli with the arguments in the current environment and waits for it.
[[nodiscard]] inline CliRun runCli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments);
    CliRun run;
    if (!process.waitForFinished(300000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
#endif

} // namespace TrashFixtures

#pragma once

#include "model/ModelEntry.h"

#include <QByteArray>
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
// Writes the raw restore log.
bool writeLog(const QByteArray& content);

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

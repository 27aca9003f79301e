#pragma once

#include "model/ModelEntry.h"
#include "model/TrashEntry.h"

#include <QDateTime>
#include <QProcess>
#include <QTest>

// Helpers for the tests of the Trash layer, the restore log and the CLI trash commands (those
// that go through the services are in TrashLogFixtures.h).
namespace TrashFixtures {

// A catalogue entry of source `custom` for the paths.
[[nodiscard]] ModelEntry model(const QString& id, const QStringList& paths,
                               qint64 reclaimableBytes = 1000);
// A digest of what is at the path (a link at the path is not followed): file content, link
// target, or a folder's names and contents. Empty when nothing is there.
[[nodiscard]] QByteArray digestOf(const QString& path);
// Names in the folder (hidden ones included), sorted.
[[nodiscard]] QStringList namesIn(const QString& folder);
[[nodiscard]] QString homeTrashFiles();
[[nodiscard]] QString homeTrashInfo();
// The message with which trashing the path fails, or "(no error)".
[[nodiscard]] QString trashError(const QString& path);
// The .trashinfo of an item in files/.
[[nodiscard]] QByteArray infoOf(const QString& trashedItem);
// The raw restore log (empty when missing); writing it raw or as the service stores records.
[[nodiscard]] QByteArray rawLog();
bool writeLog(const QByteArray& content);
// An item holding its name put into the home trash as if trashed from `original` at `at` (its
// .trashinfo says so and has that time); its path in files/.
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
    friend bool operator==(const CliRun&, const CliRun&) = default;
    friend char* toString(const CliRun& run)
    {
        return QTest::toString(QByteArray::number(run.exitCode) + " | " + run.out + " | " +
                               run.err);
    }
};

#ifdef BRIMVALE_CLI_PATH
// Runs brimvale-cli with the arguments in the current environment and waits for it.
[[nodiscard]] inline CliRun runCli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments);
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}
#endif

} // namespace TrashFixtures

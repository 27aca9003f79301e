#include "FileHolder.h"
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "TrashLogFixtures.h"
#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "services/TrashLog.h"
#include "services/TrashService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace TrashFixtures;

namespace {

// A model file a custom folder reports; returns its id.
QString modelFile(const QString& folder, const QString& stem)
{
    Fixtures::makeSparseFile(folder + u'/' + stem + u".gguf"_qs, 1'000'000, stem.toUtf8());
    return u"custom-"_qs + stem + u"-1000000"_qs;
}

QJsonArray jsonArray(const QByteArray& out)
{
    return QJsonDocument::fromJson(out).array();
}

QJsonObject idAndError(const QString& id, const QJsonValue& error = QJsonValue::Null)
{
    return {{u"id"_qs, id}, {u"error"_qs, error}};
}

} // namespace

class TestCliTrash : public QObject
{
    Q_OBJECT
    std::optional<TestHome> m_home;
    QString h(const QString& relative) const { return m_home->file(relative); }
private slots:
    void init() { m_home.emplace(); }
    void cleanup() { m_home.reset(); }
    void trashPrintsEachPathMovedOnce();
    void trashFailuresExitWithOne();
    void inUseNeedsForce();
    void usageErrors_data();
    void usageErrors();
    void trashedListsNewestFirst();
    void restoreAndDeleteGoOnAfterAFailure();
};

// An entry a running process holds is trashed only with --force; nothing moves before that.
void TestCliTrash::inUseNeedsForce()
{
    const QString folder = h(u"models"_qs);
    const QString free = modelFile(folder, u"free"_qs), held = modelFile(folder, u"held"_qs);
    FileHolder holder(folder + u"/held.gguf"_qs, FileHolder::How::mapped);
    if (!holder.holding())
        QSKIP("python3 could not hold the file here");
    QCOMPARE(runCli({u"trash"_qs, u"--folder"_qs, folder, free, held}),
             (CliRun{1,
                     {},
                     "held.gguf is in use by " + holder.processName().toUtf8() +
                         ". Quit it before trashing, or use --force.\n"}));
    QVERIFY(PosixIO::lexists(folder + u"/free.gguf"_qs));
    const CliRun run = runCli({u"trash"_qs, u"--force"_qs, u"--folder"_qs, folder, free, held});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!PosixIO::lexists(folder + u"/held.gguf"_qs));
}

void TestCliTrash::trashPrintsEachPathMovedOnce()
{
    const QString folder = h(u"mo\ndels"_qs); // printed on one line
    const QString a = modelFile(folder, u"alpha"_qs), b = modelFile(folder, u"beta"_qs);
    const CliRun run = runCli({u"trash"_qs, u"--folder"_qs, folder, b, a, b});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    const QString shown = h(u"mo dels/"_qs), trash = homeTrashFiles() + u'/';
    QCOMPARE(QString::fromUtf8(run.out), shown + u"beta.gguf\t"_qs + trash + u"beta.gguf\n"_qs +
                                             shown + u"alpha.gguf\t"_qs + trash +
                                             u"alpha.gguf\n"_qs);
    QCOMPARE(TrashLog::read().entries.size(), 2);
    const QString c = modelFile(folder, u"gamma"_qs);
    const QJsonArray json =
        jsonArray(runCli({u"trash"_qs, u"--json"_qs, u"--folder"_qs, folder, c}).out);
    QJsonObject expected = idAndError(c);
    expected[u"entry"_qs] = TrashLog::read().entries.value(2).toJson();
    QCOMPARE(json, QJsonArray{expected});
}

void TestCliTrash::trashFailuresExitWithOne()
{
    const QString folder = h(u"models"_qs);
    const QString a = modelFile(folder, u"alpha"_qs);
    // An unknown id stops everything before anything is trashed.
    QCOMPARE(runCli({u"trash"_qs, u"--folder"_qs, folder, a, u"custom-nope-1"_qs}),
             (CliRun{1, {}, "No entry with id custom-nope-1\n"}));
    QVERIFY(PosixIO::lexists(folder + u"/alpha.gguf"_qs));
    QVERIFY(!PosixIO::lexists(AppPaths::dataDir()));
    // The home trash cannot be made where a regular file stands.
    QVERIFY(Fixtures::writeFile(h(u".local/share"_qs), "in the way"));
    const QString message = u"Could not trash "_qs + folder +
                            u"/alpha.gguf: Cannot create folder "_qs + h(u".local/share"_qs) +
                            u": Not a directory"_qs;
    QCOMPARE(runCli({u"trash"_qs, u"--folder"_qs, folder, a}),
             (CliRun{1, {}, (message + u'\n').toUtf8()}));
    const CliRun json = runCli({u"trash"_qs, u"--json"_qs, u"--folder"_qs, folder, a});
    QCOMPARE(json.exitCode, 1);
    const QJsonObject result = jsonArray(json.out).at(0).toObject();
    QVERIFY(result[u"entry"_qs].isNull());
    QCOMPARE(result[u"error"_qs], message);
}

void TestCliTrash::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("trash without ids") << QStringList{u"trash"_qs};
    QTest::newRow("trash with an unknown option") << QStringList{u"trash"_qs, u"--yes"_qs, u"x"_qs};
    QTest::newRow("trash with a missing value")
        << QStringList{u"trash"_qs, u"x"_qs, u"--folder"_qs};
    QTest::newRow("trashed with an argument") << QStringList{u"trashed"_qs, u"x"_qs};
    QTest::newRow("trashed with a scan option") << QStringList{u"trashed"_qs, u"--loose"_qs};
    QTest::newRow("restore without ids") << QStringList{u"restore"_qs};
    QTest::newRow("restore with --force") << QStringList{u"restore"_qs, u"--force"_qs, u"$ID"_qs};
    QTest::newRow("delete without --yes") << QStringList{u"delete"_qs, u"--json"_qs, u"$ID"_qs};
    QTest::newRow("delete without ids") << QStringList{u"delete"_qs, u"--yes"_qs};
}

void TestCliTrash::usageErrors()
{
    QFETCH(QStringList, arguments);
    const TrashEntry record = trashedFile(h(u"m.bin"_qs));
    arguments.replaceInStrings(u"$ID"_qs, record.id);
    const QByteArray log = rawLog();
    const CliRun run = runCli(arguments);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.startsWith("brimvale-cli: ") && run.err.contains("Usage:"),
             run.err.constData());
    QCOMPARE(rawLog(), log);
    QVERIFY(PosixIO::lexists(record.trashedPaths[0]));
}

// In JSON, each entry as the log keeps it.
void TestCliTrash::trashedListsNewestFirst()
{
    QCOMPARE(runCli({u"trashed"_qs, u"--json"_qs}).out, QByteArray("[\n]\n"));
    m_home->setEnv("TZ", "BVT-05:45");
    // 2026-12-06 09:41:59 UTC is 15:26 in a zone 5:45 ahead.
    const qint64 at = 1796550119;
    TrashEntry older = record(u"first"_qs, {u"/x/a"_qs},
                              {placeInTrash(u"a"_qs, u"/x/a"_qs, at - 86400)}, at - 86400);
    older.sizeBytes = 999'999;
    TrashEntry newer =
        record(u"second"_qs, {u"/x/b"_qs}, {placeInTrash(u"b"_qs, u"/x/b"_qs, at)}, at);
    newer.modelName = u"Llama\n3 8B"_qs;
    newer.sizeBytes = 4'700'000'000;
    QVERIFY(writeLog({older, newer, record(u"gone"_qs, {u"/x/g"_qs}, {u"/g"_qs}, at)}));
    const CliRun run = runCli({u"trashed"_qs});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QString::fromUtf8(run.out), u"second\t2026-12-06 15:26\t4.7 GB\tLlama 3 8B\n"
                                         "first\t2026-12-05 15:26\t1 MB\tfirst\n"_qs);
    QJsonArray listed;
    for (const TrashEntry& entry : TrashService::entries())
        listed.push_back(entry.toJson());
    QCOMPARE(listed.size(), 2);
    QCOMPARE(jsonArray(runCli({u"trashed"_qs, u"--json"_qs}).out), listed);
}

// Restore and delete go on after a failure, in plain and JSON output.
void TestCliTrash::restoreAndDeleteGoOnAfterAFailure()
{
    QVERIFY(Fixtures::makeTree(m_home->path(), {u"m/a.bin=a"_qs, u"m/b\nc.bin=b"_qs}));
    const TrashEntry both =
        *TrashService::moveToTrash(model(u"m"_qs, {h(u"m/a.bin"_qs), h(u"m/b\nc.bin"_qs)})).entry;
    const TrashEntry a = trashedFile(h(u"a.bin"_qs)), b = trashedFile(h(u"b.bin"_qs));
    QCOMPARE(runCli({u"restore"_qs, u"nope"_qs, both.id, a.id, both.id}), // on one line each
             (CliRun{1, (h(u"m/a.bin\n"_qs) + h(u"m/b c.bin\n"_qs) + h(u"a.bin\n"_qs)).toUtf8(),
                     "Trash entry not found\n"}));
    QVERIFY(PosixIO::lexists(h(u"m/b\nc.bin"_qs)));
    QCOMPARE(runCli({u"delete"_qs, u"--yes"_qs, b.id, u"nope"_qs, b.id}),
             (CliRun{1, b.id.toUtf8() + '\n', "Trash entry not found\n"}));
    QCOMPARE(namesIn(homeTrashFiles()) + namesIn(homeTrashInfo()), QStringList());
    QVERIFY(TrashLog::read().entries.isEmpty());

    const TrashEntry c = trashedFile(h(u"c.bin"_qs)), d = trashedFile(h(u"d.bin"_qs));
    const CliRun restoredJson = runCli({u"restore"_qs, u"--json"_qs, c.id, u"nope"_qs});
    QCOMPARE(restoredJson.exitCode, 1);
    QCOMPARE(jsonArray(restoredJson.out),
             (QJsonArray{idAndError(c.id), idAndError(u"nope"_qs, u"Trash entry not found"_qs)}));
    QVERIFY(PosixIO::lexists(h(u"c.bin"_qs)));
    const CliRun deletedJson = runCli({u"delete"_qs, u"--json"_qs, u"--yes"_qs, d.id});
    QCOMPARE(deletedJson.exitCode, 0);
    QCOMPARE(jsonArray(deletedJson.out), QJsonArray{idAndError(d.id)});
    QVERIFY(!PosixIO::lexists(d.trashedPaths[0]));
}

QTEST_GUILESS_MAIN(TestCliTrash)
#include "tst_clitrash.moc"

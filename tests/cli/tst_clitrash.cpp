#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/AppPaths.h"
#include "fs/Format.h"
#include "fs/PosixIO.h"
#include "services/TrashLog.h"
#include "services/TrashService.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace TrashFixtures;

namespace {

constexpr qint64 kSize = 1'000'000;

// A model file a custom folder reports; returns its id.
QString modelFile(const QString& folder, const QString& stem)
{
    Fixtures::makeSparseFile(folder + u'/' + stem + QStringLiteral(".gguf"), kSize, stem.toUtf8());
    return QStringLiteral("custom-") + stem + u'-' + QString::number(kSize);
}

QJsonArray jsonArray(const QByteArray& out)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(out, &error);
    return error.error == QJsonParseError::NoError ? document.array() : QJsonArray{};
}

TrashEntry trashedFile(const TestHome& home, const QString& relative)
{
    Fixtures::writeFile(home.file(relative), relative.toUtf8());
    return TrashService::moveToTrash(model(relative, {home.file(relative)}))
        .entry.value_or(TrashEntry{});
}

} // namespace

class TestCliTrash : public QObject
{
    Q_OBJECT

private slots:
    void trashPrintsEachPathMoved();
    void trashPrintsJson();
    void unknownIdStopsEverything_data();
    void unknownIdStopsEverything();
    void trashReportsFailures();
    void usageErrors_data();
    void usageErrors();
    void trashedListsNewestFirst();
    void trashedPrintsTheLogsOwnKeys();
    void restoreGoesOnAfterAFailure();
    void restorePrintsJson();
    void restoreReportsAnOccupiedPath();
    void deleteRemovesForGood();
    void deletePrintsJson();
};

void TestCliTrash::trashPrintsEachPathMoved()
{
    TestHome home;
    const QString folder = home.file(QStringLiteral("models"));
    const QString a = modelFile(folder, QStringLiteral("alpha"));
    const QString b = modelFile(folder, QStringLiteral("beta"));

    const CliRun run = runCli({QStringLiteral("trash"), QStringLiteral("--folder"), folder, b, a});

    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    const QString expected = folder + QStringLiteral("/beta.gguf\t") + homeTrashFiles() +
                             QStringLiteral("/beta.gguf\n") + folder +
                             QStringLiteral("/alpha.gguf\t") + homeTrashFiles() +
                             QStringLiteral("/alpha.gguf\n");
    QCOMPARE(QString::fromUtf8(run.out), expected);
    QCOMPARE(TrashLog::read().entries.size(), 2);
    QVERIFY(!PosixIO::lexists(folder + QStringLiteral("/alpha.gguf")));
}

void TestCliTrash::trashPrintsJson()
{
    TestHome home;
    const QString folder = home.file(QStringLiteral("models"));
    const QString a = modelFile(folder, QStringLiteral("alpha"));

    const CliRun run = runCli(
        {QStringLiteral("trash"), QStringLiteral("--json"), QStringLiteral("--folder"), folder, a});

    QCOMPARE(run.exitCode, 0);
    const QJsonArray array = jsonArray(run.out);
    QCOMPARE(array.size(), 1);
    const QJsonObject result = array[0].toObject();
    QCOMPARE(result.keys(),
             (QStringList{QStringLiteral("entry"), QStringLiteral("error"), QStringLiteral("id")}));
    QCOMPARE(result.value(QStringLiteral("id")).toString(), a);
    QVERIFY(result.value(QStringLiteral("error")).isNull());
    const std::optional<TrashEntry> entry =
        TrashEntry::fromJson(result.value(QStringLiteral("entry")));
    QVERIFY(entry);
    QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{*entry});
    QCOMPARE(entry->originalPaths, QStringList{folder + QStringLiteral("/alpha.gguf")});
    QCOMPARE(entry->sizeBytes, kSize);
    QCOMPARE(entry->source, QStringLiteral("Custom"));
}

void TestCliTrash::unknownIdStopsEverything_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("plain") << false;
    QTest::newRow("json") << true;
}

void TestCliTrash::unknownIdStopsEverything()
{
    QFETCH(bool, json);
    TestHome home;
    const QString folder = home.file(QStringLiteral("models"));
    const QString a = modelFile(folder, QStringLiteral("alpha"));
    QStringList arguments{QStringLiteral("trash"), QStringLiteral("--folder"), folder, a,
                          QStringLiteral("custom-nope-1")};
    if (json)
        arguments << QStringLiteral("--json");

    const CliRun run = runCli(arguments);

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray("No entry with id custom-nope-1\n"));
    QVERIFY(PosixIO::lexists(folder + QStringLiteral("/alpha.gguf")));
    QVERIFY(!PosixIO::lexists(AppPaths::dataDir() + QStringLiteral("/trash_log.json")));
}

void TestCliTrash::trashReportsFailures()
{
    TestHome home;
    const QString folder = home.file(QStringLiteral("models"));
    const QString a = modelFile(folder, QStringLiteral("alpha"));
    // The home trash cannot be made where a regular file stands.
    QVERIFY(Fixtures::writeFile(home.file(QStringLiteral(".local/share")), "in the way"));
    const QString message = QStringLiteral("Could not trash ") + folder +
                            QStringLiteral("/alpha.gguf: Cannot create folder ") +
                            home.file(QStringLiteral(".local/share")) +
                            QStringLiteral(": Not a directory");

    const CliRun plain = runCli({QStringLiteral("trash"), QStringLiteral("--folder"), folder, a});
    QCOMPARE(plain.exitCode, 1);
    QCOMPARE(plain.out, QByteArray());
    QCOMPARE(QString::fromUtf8(plain.err), message + u'\n');

    const CliRun json = runCli(
        {QStringLiteral("trash"), QStringLiteral("--json"), QStringLiteral("--folder"), folder, a});
    QCOMPARE(json.exitCode, 1);
    const QJsonObject result = jsonArray(json.out).at(0).toObject();
    QVERIFY(result.value(QStringLiteral("entry")).isNull());
    QCOMPARE(result.value(QStringLiteral("error")).toString(), message);
}

void TestCliTrash::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("trash without ids") << QStringList{QStringLiteral("trash")};
    QTest::newRow("trash with an unknown option")
        << QStringList{QStringLiteral("trash"), QStringLiteral("--yes"), QStringLiteral("x")};
    QTest::newRow("trash with a missing value")
        << QStringList{QStringLiteral("trash"), QStringLiteral("x"), QStringLiteral("--folder")};
    QTest::newRow("trashed with an argument")
        << QStringList{QStringLiteral("trashed"), QStringLiteral("x")};
    QTest::newRow("trashed with a scan option")
        << QStringList{QStringLiteral("trashed"), QStringLiteral("--loose")};
    QTest::newRow("restore without ids") << QStringList{QStringLiteral("restore")};
    QTest::newRow("restore with --force")
        << QStringList{QStringLiteral("restore"), QStringLiteral("--force"), QStringLiteral("$ID")};
    QTest::newRow("delete without --yes")
        << QStringList{QStringLiteral("delete"), QStringLiteral("$ID")};
    QTest::newRow("delete --json without --yes")
        << QStringList{QStringLiteral("delete"), QStringLiteral("--json"), QStringLiteral("$ID")};
    QTest::newRow("delete without ids")
        << QStringList{QStringLiteral("delete"), QStringLiteral("--yes")};
}

void TestCliTrash::usageErrors()
{
    QFETCH(QStringList, arguments);
    TestHome home;
    const TrashEntry record = trashedFile(home, QStringLiteral("m.bin"));
    arguments.replaceInStrings(QStringLiteral("$ID"), record.id);
    const QByteArray log = rawLog();

    const CliRun run = runCli(arguments);

    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.startsWith("brimvale-cli: ") && run.err.contains("Usage:"),
             run.err.constData());
    QCOMPARE(rawLog(), log);
    QVERIFY(PosixIO::lexists(record.trashedPaths[0]));
}

void TestCliTrash::trashedListsNewestFirst()
{
    TestHome home;
    home.setEnv("TZ", "BVT-05:45");
    QVERIFY(Fixtures::makeTree(
        homeTrashFiles(), {QStringLiteral("a=1"), QStringLiteral("b=1"), QStringLiteral("c=1")}));
    const QString f = homeTrashFiles() + u'/';
    // 2026-12-06 09:41:59 UTC is 15:26 in a zone 5:45 ahead.
    const QList<TrashEntry> log{
        {QStringLiteral("first"),
         QStringLiteral("Old one"),
         {QStringLiteral("/x/a")},
         {f + QStringLiteral("a")},
         1796550119 - 86400,
         999'999,
         QStringLiteral("Custom")},
        {QStringLiteral("second"),
         QStringLiteral("Llama 3 8B"),
         {QStringLiteral("/x/b")},
         {f + QStringLiteral("b")},
         1796550119,
         4'700'000'000,
         QStringLiteral("Ollama")},
        {QStringLiteral("gone"),
         QStringLiteral("Gone"),
         {QStringLiteral("/x/g")},
         {f + QStringLiteral("g")},
         1796550119,
         1,
         QStringLiteral("Custom")},
    };
    TrashLog::write(log, {});

    const CliRun run = runCli({QStringLiteral("trashed")});

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QString::fromUtf8(run.out),
             QStringLiteral("second\t2026-12-06 15:26\t4.7 GB\tLlama 3 8B\n"
                            "first\t2026-12-05 15:26\t1 MB\tOld one\n"));
    QCOMPARE(Format::bytes(999'999), QStringLiteral("1 MB"));
}

void TestCliTrash::trashedPrintsTheLogsOwnKeys()
{
    TestHome home;
    const TrashEntry a = trashedFile(home, QStringLiteral("a.bin"));
    const TrashEntry b = trashedFile(home, QStringLiteral("b.bin"));

    const CliRun run = runCli({QStringLiteral("trashed"), QStringLiteral("--json")});

    QCOMPARE(run.exitCode, 0);
    const QJsonArray array = jsonArray(run.out);
    QCOMPARE(array.size(), 2);
    QList<TrashEntry> printed;
    for (const QJsonValue& value : array) {
        QCOMPARE(value.toObject().keys().size(), 7);
        printed << TrashEntry::fromJson(value).value_or(TrashEntry{});
    }
    QCOMPARE(printed, TrashService::entries());

    TestHome empty;
    const CliRun none = runCli({QStringLiteral("trashed"), QStringLiteral("--json")});
    QCOMPARE(none.exitCode, 0);
    QVERIFY(QJsonDocument::fromJson(none.out).isArray());
    QCOMPARE(jsonArray(none.out).size(), 0);
    QCOMPARE(runCli({QStringLiteral("trashed")}).out, QByteArray());
}

void TestCliTrash::restoreGoesOnAfterAFailure()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("m/a.bin=a"), QStringLiteral("m/b.bin=b")}));
    const TrashEntry both = *TrashService::moveToTrash(
                                 model(QStringLiteral("m"), {home.file(QStringLiteral("m/a.bin")),
                                                             home.file(QStringLiteral("m/b.bin"))}))
                                 .entry;
    const TrashEntry other = trashedFile(home, QStringLiteral("other.bin"));

    const CliRun run =
        runCli({QStringLiteral("restore"), QStringLiteral("nope"), both.id, other.id});

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QByteArray("Trash entry not found\n"));
    QCOMPARE(QString::fromUtf8(run.out),
             both.originalPaths.join(u'\n') + u'\n' + other.originalPaths[0] + u'\n');
    QVERIFY(PosixIO::lexists(home.file(QStringLiteral("m/b.bin"))));
    QVERIFY(TrashLog::read().entries.isEmpty());
}

void TestCliTrash::restorePrintsJson()
{
    TestHome home;
    const TrashEntry record = trashedFile(home, QStringLiteral("a.bin"));

    const CliRun run = runCli(
        {QStringLiteral("restore"), QStringLiteral("--json"), record.id, QStringLiteral("nope")});

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QByteArray("Trash entry not found\n"));
    const QJsonArray array = jsonArray(run.out);
    QCOMPARE(array.size(), 2);
    QCOMPARE(array[0].toObject(), (QJsonObject{{QStringLiteral("id"), record.id},
                                               {QStringLiteral("error"), QJsonValue::Null}}));
    QCOMPARE(array[1].toObject(),
             (QJsonObject{{QStringLiteral("id"), QStringLiteral("nope")},
                          {QStringLiteral("error"), QStringLiteral("Trash entry not found")}}));
    QVERIFY(PosixIO::lexists(home.file(QStringLiteral("a.bin"))));
}

void TestCliTrash::restoreReportsAnOccupiedPath()
{
    TestHome home;
    const TrashEntry record = trashedFile(home, QStringLiteral("a.bin"));
    QVERIFY(Fixtures::writeFile(home.file(QStringLiteral("a.bin")), "new"));

    const CliRun run = runCli({QStringLiteral("restore"), record.id});

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err), QStringLiteral("Something already exists at ") +
                                             home.file(QStringLiteral("a.bin")) +
                                             QStringLiteral(". Move it away and try again.\n"));
    QVERIFY(PosixIO::lexists(record.trashedPaths[0]));
}

void TestCliTrash::deleteRemovesForGood()
{
    TestHome home;
    const TrashEntry a = trashedFile(home, QStringLiteral("a.bin"));
    const TrashEntry b = trashedFile(home, QStringLiteral("b.bin"));

    const CliRun run = runCli(
        {QStringLiteral("delete"), QStringLiteral("--yes"), b.id, QStringLiteral("nope"), a.id});

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(QString::fromUtf8(run.out), b.id + u'\n' + a.id + u'\n');
    QCOMPARE(run.err, QByteArray("Trash entry not found\n"));
    QCOMPARE(namesIn(homeTrashFiles()), QStringList());
    QCOMPARE(namesIn(homeTrashInfo()), QStringList());
    QVERIFY(TrashLog::read().entries.isEmpty());
}

void TestCliTrash::deletePrintsJson()
{
    TestHome home;
    const TrashEntry a = trashedFile(home, QStringLiteral("a.bin"));

    const CliRun run =
        runCli({QStringLiteral("delete"), QStringLiteral("--json"), QStringLiteral("--yes"), a.id});

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(jsonArray(run.out),
             (QJsonArray{QJsonObject{{QStringLiteral("id"), a.id},
                                     {QStringLiteral("error"), QJsonValue::Null}}}));
    QVERIFY(!PosixIO::lexists(a.trashedPaths[0]));
}

QTEST_GUILESS_MAIN(TestCliTrash)
#include "tst_clitrash.moc"

// brimvale-cli killed with SIGKILL at random moments of trash, restore and delete: after every
// kill, nothing is lost, the restore log parses, and what it lists can be put back whole.
// BRIMVALE_FAULT_KILLS sets the number of kills per operation (at least 20 by default).
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "fs/XdgTrash.h"
#include "model/BrimvaleError.h"
#include "services/TrashLog.h"
#include "services/TrashService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMultiHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <chrono>
#include <csignal>
#include <limits>
#include <thread>

using namespace TrashFixtures;

namespace {

constexpr int kEntries = 50;
constexpr qint64 kModelSize = 1'000'000; // the smallest file a custom folder reports
// Uninterrupted runs that set the span over which kills are spread (the quickest counts).
constexpr int kBaselineRuns = 2;

struct Item
{
    QString path;
    QByteArray digest;
};

struct Record
{
    QString id;
    QList<Item> items;
};

// How the kills fell: before anything changed, part-way, or after the run had finished.
struct Tally
{
    int before = 0;
    int partWay = 0;
    int after = 0;

    void count(int done, int total)
    {
        if (done == 0)
            ++before;
        else if (done < total)
            ++partWay;
        else
            ++after;
    }
    [[nodiscard]] QString text(const char* operation) const
    {
        return QStringLiteral("%1: %2 kills, %3 before any change, %4 part-way, %5 after the end")
            .arg(QString::fromUtf8(operation))
            .arg(before + partWay + after)
            .arg(before)
            .arg(partWay)
            .arg(after);
    }
};

int killCount()
{
    const int requested = qEnvironmentVariableIntValue("BRIMVALE_FAULT_KILLS");
    return requested > 20 ? requested : 20;
}

// Model files of the custom-folder kind, each with its own content.
QList<Item> makeModelFiles(const QString& folder, int count, quint32 seed = 1)
{
    QList<Item> items;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/m%1.gguf").arg(i, 3, 10, QLatin1Char('0'));
        Fixtures::makeSparseFile(path, kModelSize, Fixtures::headBytes(quint32(i) + seed, 4096));
        items.push_back({path, digestOf(path)});
    }
    return items;
}

QString customId(const Item& item)
{
    const QString name = item.path.mid(item.path.lastIndexOf(u'/') + 1);
    return QStringLiteral("custom-") + name.left(name.lastIndexOf(u'.')) + u'-' +
           QString::number(kModelSize);
}

// Records as the app leaves them, made in this process and logged with one write: every fifth
// has three items (a file, a folder, another file).
QList<Record> makeRecords(const TestHome& home, bool multiItem)
{
    QList<Record> records;
    QList<TrashEntry> log;
    for (int i = 0; i < kEntries; ++i) {
        const QString base = home.file(QStringLiteral("models/r%1").arg(i));
        QStringList paths{base + QStringLiteral("/a.bin")};
        Fixtures::writeFile(paths[0], Fixtures::headBytes(quint32(i) + 100, 2048));
        if (multiItem && i % 5 == 0) {
            paths << base + QStringLiteral("/dir") << base + QStringLiteral("/b.bin");
            Fixtures::makeTree(base, {QStringLiteral("dir/x.bin=x") + QString::number(i),
                                      QStringLiteral("dir/sub/y.bin=y"),
                                      QStringLiteral("dir/link->x.bin"),
                                      QStringLiteral("b.bin=b") + QString::number(i)});
        }
        Record record{QStringLiteral("r%1-%2").arg(i).arg(1000 * i + 1234, 8, 16, QLatin1Char('0')),
                      {}};
        TrashEntry entry{record.id, QStringLiteral("model %1").arg(i), paths, {}, 1000 + i / 3,
                         1000,      QStringLiteral("Custom")};
        for (const QString& path : paths) {
            record.items.push_back({path, digestOf(path)});
            entry.trashedPaths << XdgTrash::trashItem(path);
        }
        records.push_back(record);
        log.push_back(entry);
    }
    TrashLog::write(log, {});
    return records;
}

// Starts the CLI, sends SIGKILL after the delay unless it has finished, and reaps it.
// Returns the elapsed time of a run that was not killed, or -1 when it was killed.
qint64 runAndKill(const QStringList& arguments, std::optional<qint64> killAfterUs)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    process.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments);
    timer.start();
    if (!process.waitForStarted())
        return -2;
    if (killAfterUs) {
        std::this_thread::sleep_for(std::chrono::microseconds(*killAfterUs));
        // The child is not reaped before waitForFinished, so its pid cannot be reused.
        ::kill(pid_t(process.processId()), SIGKILL);
    }
    process.waitForFinished(-1);
    if (process.exitStatus() == QProcess::CrashExit)
        return -1;
    return process.exitCode() == 0 ? timer.nsecsElapsed() / 1000 : -2;
}

// A kill moment in the k-th of `count` equal slices of a run that takes `fullUs`.
qint64 killMoment(qint64 fullUs, int k, int count)
{
    const double slice = double(fullUs) * 1.1 / count;
    return qint64(slice * (k + QRandomGenerator::global()->generateDouble()));
}

// Digests of everything in the home trash's files/ folder, with how often each occurs.
QMultiHash<QByteArray, QString> trashContents()
{
    QMultiHash<QByteArray, QString> contents;
    for (const QString& name : namesIn(homeTrashFiles()))
        contents.insert(digestOf(homeTrashFiles() + u'/' + name), name);
    return contents;
}

QStringList listedIds()
{
    const CliRun run = runCli({QStringLiteral("trashed"), QStringLiteral("--json")});
    QStringList ids;
    for (const QJsonValue& value : QJsonDocument::fromJson(run.out).array())
        ids << value.toObject().value(QStringLiteral("id")).toString();
    if (run.exitCode != 0)
        ids << QStringLiteral("(trashed failed)");
    return ids;
}

// Every item is whole exactly once: at its old path or in the Trash (with its .trashinfo).
void verifyEachOnce(const QList<Item>& items)
{
    const QMultiHash<QByteArray, QString> inTrash = trashContents();
    for (const QString& name : inTrash)
        QVERIFY2(PosixIO::lexists(homeTrashInfo() + u'/' + name + QStringLiteral(".trashinfo")),
                 qPrintable(name));
    int matched = 0;
    for (const Item& item : items) {
        const QByteArray here = digestOf(item.path);
        QVERIFY2(here.isEmpty() || here == item.digest, qPrintable(item.path + u" is not whole"));
        const int copies = int(!here.isEmpty()) + int(inTrash.count(item.digest));
        QVERIFY2(copies == 1, qPrintable(item.path + u": " + QString::number(copies) + u" copies"));
        matched += int(inTrash.count(item.digest));
    }
    QCOMPARE(matched, int(inTrash.size())); // nothing else in the Trash
}

void verifyLogParses()
{
    if (!PosixIO::lexists(AppPaths::dataDir() + QStringLiteral("/trash_log.json")))
        return; // killed before the first record was written
    QVERIFY2(!TrashLog::read().unusable, rawLog().constData());
}

// Restores every id in this process and checks that each listed record's items come back whole.
void verifyListedRestore(const QMultiHash<QString, Item>& itemsByRecord)
{
    const QStringList ids = listedIds();
    for (const QString& id : ids) {
        try {
            (void)TrashService::restore(id);
        } catch (const BrimvaleError& error) {
            QFAIL(qPrintable(id + QStringLiteral(": ") + error.message()));
        }
        for (const Item& item : itemsByRecord.values(id))
            QVERIFY2(digestOf(item.path) == item.digest, qPrintable(item.path + u" not whole"));
    }
}

} // namespace

class TestTrashFaults : public QObject
{
    Q_OBJECT

private slots:
    void killedDuringTrash();
    void killedDuringRestore();
    void killedDuringDelete();
    void twoProcessesKeepEveryRecord();
};

void TestTrashFaults::killedDuringTrash()
{
    auto arguments = [](const QString& folder, const QList<Item>& items) {
        QStringList list{QStringLiteral("trash"), QStringLiteral("--folder"), folder};
        for (const Item& item : items)
            list << customId(item);
        return list;
    };
    qint64 full = std::numeric_limits<qint64>::max();
    for (int run = 0; run < kBaselineRuns; ++run) {
        TestHome home;
        const QList<Item> items = makeModelFiles(home.file(QStringLiteral("models")), kEntries);
        const qint64 took =
            runAndKill(arguments(home.file(QStringLiteral("models")), items), std::nullopt);
        QVERIFY2(took > 0, "an uninterrupted trash must succeed");
        full = std::min(full, took);
        QCOMPARE(TrashLog::read().entries.size(), kEntries);
    }
    const int kills = killCount();
    Tally tally;
    for (int k = 0; k < kills; ++k) {
        TestHome home;
        const QString folder = home.file(QStringLiteral("models"));
        const QList<Item> items = makeModelFiles(folder, kEntries);
        (void)runAndKill(arguments(folder, items), killMoment(full, k, kills));

        verifyEachOnce(items);
        if (QTest::currentTestFailed())
            return;
        tally.count(int(trashContents().size()), kEntries);
        verifyLogParses();
        if (QTest::currentTestFailed())
            return;
        // Every record in the log has its items in the Trash, and what is listed comes back.
        QMultiHash<QString, Item> byRecord;
        for (const TrashEntry& entry : TrashLog::read().entries) {
            for (qsizetype i = 0; i < entry.trashedPaths.size(); ++i) {
                QVERIFY(PosixIO::lexists(entry.trashedPaths[i]));
                const auto found =
                    std::find_if(items.cbegin(), items.cend(), [&](const Item& item) {
                        return item.path == entry.originalPaths.value(i);
                    });
                QVERIFY(found != items.cend());
                byRecord.insert(entry.id, *found);
            }
        }
        verifyListedRestore(byRecord);
        if (QTest::currentTestFailed())
            return;
    }
    qInfo("%s", qPrintable(tally.text("trash")));
}

void TestTrashFaults::killedDuringRestore()
{
    auto arguments = [](const QList<Record>& records) {
        QStringList list{QStringLiteral("restore")};
        for (const Record& record : records)
            list << record.id;
        return list;
    };
    qint64 full = std::numeric_limits<qint64>::max();
    for (int run = 0; run < kBaselineRuns; ++run) {
        TestHome home;
        const QList<Record> records = makeRecords(home, false);
        const qint64 took = runAndKill(arguments(records), std::nullopt);
        QVERIFY2(took > 0, "an uninterrupted restore must succeed");
        full = std::min(full, took);
        QVERIFY(TrashLog::read().entries.isEmpty());
    }
    const int kills = killCount();
    Tally tally;
    for (int k = 0; k < kills; ++k) {
        TestHome home;
        const QList<Record> records = makeRecords(home, false);
        QList<Item> items;
        QMultiHash<QString, Item> byRecord;
        for (const Record& record : records) {
            items += record.items;
            for (const Item& item : record.items)
                byRecord.insert(record.id, item);
        }
        (void)runAndKill(arguments(records), killMoment(full, k, kills));

        verifyEachOnce(items);
        if (QTest::currentTestFailed())
            return;
        tally.count(kEntries - int(trashContents().size()), kEntries);
        verifyLogParses();
        verifyListedRestore(byRecord);
        if (QTest::currentTestFailed())
            return;
        for (const Item& item : items)
            QVERIFY2(digestOf(item.path) == item.digest, qPrintable(item.path));
    }
    qInfo("%s", qPrintable(tally.text("restore")));
}

void TestTrashFaults::killedDuringDelete()
{
    auto arguments = [](const QList<Record>& records) {
        QStringList list{QStringLiteral("delete"), QStringLiteral("--yes")};
        for (const Record& record : records)
            list << record.id;
        return list;
    };
    qint64 full = std::numeric_limits<qint64>::max();
    for (int run = 0; run < kBaselineRuns; ++run) {
        TestHome home;
        const QList<Record> records = makeRecords(home, true);
        const qint64 took = runAndKill(arguments(records), std::nullopt);
        QVERIFY2(took > 0, "an uninterrupted delete must succeed");
        full = std::min(full, took);
        QVERIFY(TrashLog::read().entries.isEmpty());
        QCOMPARE(namesIn(homeTrashFiles()), QStringList());
    }
    const int kills = killCount();
    Tally tally;
    for (int k = 0; k < kills; ++k) {
        TestHome home;
        const QList<Record> records = makeRecords(home, true);
        QMultiHash<QString, Item> byRecord;
        for (const Record& record : records) {
            for (const Item& item : record.items)
                byRecord.insert(record.id, item);
        }
        (void)runAndKill(arguments(records), killMoment(full, k, kills));

        verifyLogParses();
        if (QTest::currentTestFailed())
            return;
        tally.count(kEntries - int(TrashLog::read().entries.size()), kEntries);
        // What is listed now comes back whole; then the next delete settles every leftover,
        // after which what is listed comes back whole too.
        verifyListedRestore(byRecord);
        if (QTest::currentTestFailed())
            return;
        const CliRun next = runCli(
            {QStringLiteral("delete"), QStringLiteral("--yes"), QStringLiteral("no-such-id")});
        QCOMPARE(next.err, QByteArray("Trash entry not found\n"));
        for (const QString& name : namesIn(homeTrashFiles()))
            QVERIFY2(!name.startsWith(QStringLiteral(".brimvale-deleting-")), qPrintable(name));
        verifyListedRestore(byRecord);
        if (QTest::currentTestFailed())
            return;
        // No record is left in part: all of its items are back whole, or none is anywhere.
        QCOMPARE(namesIn(homeTrashFiles()), QStringList());
        for (const Record& record : records) {
            int whole = 0;
            for (const Item& item : record.items) {
                const QByteArray here = digestOf(item.path);
                QVERIFY2(here.isEmpty() || here == item.digest, qPrintable(item.path));
                whole += int(!here.isEmpty());
            }
            QVERIFY2(whole == 0 || whole == record.items.size(), qPrintable(record.id));
        }
    }
    qInfo("%s", qPrintable(tally.text("delete")));
}

void TestTrashFaults::twoProcessesKeepEveryRecord()
{
    constexpr int kEach = 200;
    TestHome home;
    QList<QStringList> arguments;
    QList<Item> all;
    for (const QString& name : {QStringLiteral("a"), QStringLiteral("b")}) {
        const QString folder = home.file(name);
        const QList<Item> items = makeModelFiles(folder, kEach, quint32(all.size()) + 1);
        QStringList list{QStringLiteral("trash"), QStringLiteral("--folder"), folder};
        for (const Item& item : items)
            list << customId(item);
        arguments << list;
        all += items;
    }
    QProcess first;
    QProcess second;
    first.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments[0]);
    second.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments[1]);
    QVERIFY(first.waitForFinished(300000) && second.waitForFinished(300000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);

    QCOMPARE(TrashLog::read().entries.size(), 2 * kEach);
    QCOMPARE(listedIds().size(), 2 * kEach);
    verifyEachOnce(all);
}

QTEST_GUILESS_MAIN(TestTrashFaults)
#include "tst_trashfaults.moc"

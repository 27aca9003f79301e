// brimvale-cli killed with SIGKILL at random moments of trash, restore and delete: after every
// kill, nothing is lost, the restore log parses, and what it lists can be put back whole.
// BRIMVALE_FAULT_KILLS sets the number of kills per operation (at least 20 by default).
#include "FaultSeed.h"
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "fs/XdgTrash.h"
#include "services/TrashLog.h"
#include "services/TrashService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMultiHash>
#include <QTest>
#include <functional>
#include <limits>
#include <numeric>

using namespace TrashFixtures;

namespace {

constexpr int kEntries = 50;
// Trashing an entry takes little next to the scan before it: more entries give more kills
// part-way, with records left in the journal.
constexpr int kTrashEntries = 100;
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

// The command to kill and the records it works on.
struct Fixture
{
    QStringList arguments;
    QList<Record> records;
    [[nodiscard]] QList<Item> items() const
    {
        return std::accumulate(records.cbegin(), records.cend(), QList<Item>(),
                               [](QList<Item> all, const Record& r) { return all + r.items; });
    }
};

// Model files of the custom-folder kind, each with its own content, as one record each.
QList<Record> makeModelFiles(const QString& folder, int count, quint32 seed = 1)
{
    QList<Record> records;
    for (int i = 0; i < count; ++i) {
        const QString name = u"m%1"_qs.arg(i, 3, 10, QLatin1Char('0'));
        const QString path = folder + u'/' + name + u".gguf"_qs;
        Fixtures::makeSparseFile(path, kModelSize, Fixtures::headBytes(quint32(i) + seed, 4096));
        records.push_back({u"custom-"_qs + name + u"-1000000"_qs, {{path, digestOf(path)}}});
    }
    return records;
}

// Records made in this process: with `multiItem`, every fifth has three items (a file, a
// folder, another file).
Fixture makeRecords(const TestHome& home, const QString& command, bool multiItem)
{
    Fixture fixture{{command}, {}};
    for (int i = 0; i < kEntries; ++i) {
        const QString base = home.file(u"models/r%1"_qs.arg(i));
        QStringList paths{base + u"/a.bin"_qs};
        Fixtures::writeFile(paths[0], Fixtures::headBytes(quint32(i) + 100, 2048));
        if (multiItem && i % 5 == 0) {
            paths << base + u"/dir"_qs << base + u"/b.bin"_qs;
            Fixtures::makeTree(base, {u"dir/x.bin=x"_qs + QString::number(i), u"dir/sub/y.bin=y"_qs,
                                      u"dir/link->x.bin"_qs, u"b.bin=b"_qs + QString::number(i)});
        }
        Record record;
        for (const QString& path : paths)
            record.items.push_back({path, digestOf(path)});
        record.id =
            TrashService::moveToTrash(model(u"r"_qs, paths)).entry.value_or(TrashEntry{}).id;
        fixture.records.push_back(record);
        fixture.arguments << record.id;
    }
    return fixture;
}

// Digests of everything in the home trash's files/ folder, with how often each occurs.
QMultiHash<QByteArray, QString> trashContents()
{
    QMultiHash<QByteArray, QString> contents;
    for (const QString& name : namesIn(homeTrashFiles()))
        contents.insert(digestOf(homeTrashFiles() + u'/' + name), name);
    return contents;
}

// Every item is whole exactly once: at its old path or in the Trash (with its .trashinfo).
void verifyEachOnce(const QList<Item>& items)
{
    const QMultiHash<QByteArray, QString> inTrash = trashContents();
    for (const QString& name : inTrash)
        QVERIFY2(PosixIO::lexists(homeTrashInfo() + u'/' + name + u".trashinfo"_qs),
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

// The log parses, and every record it lists comes back whole when restored in this process.
void verifyListedRestore(const QList<Item>& items)
{
    if (PosixIO::lexists(AppPaths::dataDir() + u"/trash_log.json"_qs)) // not killed too early
        QVERIFY2(!TrashLog::read().unusable, rawLog().constData());
    QHash<QString, QByteArray> digests;
    for (const Item& item : items)
        digests.insert(item.path, item.digest);
    const CliRun listed = runCli({u"trashed"_qs, u"--json"_qs});
    QCOMPARE(listed.exitCode, 0);
    for (const QJsonValue& value : QJsonDocument::fromJson(listed.out).array()) {
        const TrashEntry entry = TrashEntry::fromJson(value).value_or(TrashEntry{});
        const RestoreOutcome outcome = TrashService::restore(entry.id);
        QVERIFY2(outcome.succeeded(),
                 qPrintable(entry.id + u": " + outcome.error.value_or(QString())));
        for (const QString& path : entry.originalPaths)
            QVERIFY2(digestOf(path) == digests.value(path), qPrintable(path + u" is not whole"));
    }
}

QString journalPath()
{
    return AppPaths::dataDir() + u"/trash_log.json.journal"_qs;
}

using Prepare = std::function<Fixture(const TestHome&)>;
// Checks what a run left and sets how many of the fixture's records it had dealt with.
using Verify = std::function<void(const Fixture&, int& done)>;

// Times uninterrupted runs (which must deal with every record), then kills runs at moments
// spread over that span, checking what each one left.
void sweep(const char* operation, const Prepare& prepare, const Verify& verify)
{
    qint64 full = std::numeric_limits<qint64>::max();
    for (int run = 0; run < kBaselineRuns; ++run) {
        const TestHome home;
        const Fixture fixture = prepare(home);
        const FaultSeed::KilledRun whole = FaultSeed::runCli(fixture.arguments, std::nullopt);
        QVERIFY2(whole.exitCode == 0, "an uninterrupted run must succeed");
        full = std::min(full, whole.elapsedUs);
        int done = 0;
        verify(fixture, done);
        QCOMPARE(done, fixture.records.size());
    }
    const int kills = std::max(20, qEnvironmentVariableIntValue("BRIMVALE_FAULT_KILLS"));
    QRandomGenerator random = FaultSeed::generator(operation);
    int counts[3] = {0, 0, 0}; // kills before any change, part-way, after the end
    int journals = 0;          // kills that left records in the journal
    for (int k = 0; k < kills && !QTest::currentTestFailed(); ++k) {
        const TestHome home;
        const Fixture fixture = prepare(home);
        const double slice = double(full) * 1.1 / kills;
        (void)FaultSeed::runCli(fixture.arguments, qint64(slice * (k + random.generateDouble())));
        const bool journalLeft = PosixIO::lexists(journalPath());
        int done = 0;
        verify(fixture, done);
        ++counts[done == 0 ? 0 : done < fixture.records.size() ? 1 : 2];
        journals += int(journalLeft);
    }
    qInfo("%s: %d kills before any change, %d part-way, %d after the end; %d left a journal",
          operation, counts[0], counts[1], counts[2], journals);
}

} // namespace

class TestTrashFaults : public QObject
{
    Q_OBJECT
private slots:
    void killedDuringTrash()
    {
        const auto prepare = [](const TestHome& home) {
            const QString folder = home.file(u"models"_qs);
            Fixture fixture{{u"trash"_qs, u"--folder"_qs, folder},
                            makeModelFiles(folder, kTrashEntries)};
            for (const Record& record : fixture.records)
                fixture.arguments << record.id;
            return fixture;
        };
        sweep("trash", prepare, [](const Fixture& fixture, int& done) {
            verifyEachOnce(fixture.items());
            done = int(trashContents().size());
            // Every record in the log (and the journal a kill may leave) has its items in the
            // Trash, as its own; only the entry in hand when the kill came may have none yet.
            const QList<TrashEntry> log = TrashLog::read().entries;
            QStringList recorded;
            for (const TrashEntry& entry : log) {
                for (qsizetype i = 0; i < entry.trashedPaths.size(); ++i)
                    QVERIFY(XdgTrash::isItemOf(entry.trashedPaths[i], entry.originalPaths[i],
                                               entry.id, entry.trashedAt));
                recorded += entry.trashedPaths;
            }
            QCOMPARE(recorded.size(), log.size());
            QVERIFY2(done - recorded.size() <= 1,
                     qPrintable(QString::number(done - recorded.size())));
            QCOMPARE(TrashService::entries().size(), log.size());
            // A later trash appends to what the killed run left and keeps every record.
            const QString later = qEnvironmentVariable("HOME") + u"/later.bin"_qs;
            QVERIFY(Fixtures::writeFile(later, "later"));
            QVERIFY(TrashService::moveToTrash(model(u"later"_qs, {later})).succeeded());
            QCOMPARE(TrashLog::read().entries.size(), log.size() + 1);
            QVERIFY(TrashLog::read().entries.mid(0, log.size()) == log);
            QVERIFY(!PosixIO::lexists(journalPath()));
            QVERIFY(TrashService::restore(TrashLog::read().entries.last().id).succeeded());
            verifyListedRestore(fixture.items());
        });
    }

    void killedDuringRestore()
    {
        const auto prepare = [](const TestHome& home) {
            return makeRecords(home, u"restore"_qs, false);
        };
        sweep("restore", prepare, [](const Fixture& fixture, int& done) {
            verifyEachOnce(fixture.items());
            done = kEntries - int(trashContents().size());
            verifyListedRestore(fixture.items());
            for (const Item& item : fixture.items())
                QVERIFY2(digestOf(item.path) == item.digest, qPrintable(item.path));
        });
    }

    void killedDuringDelete()
    {
        const auto prepare = [](const TestHome& home) {
            Fixture fixture = makeRecords(home, u"delete"_qs, true);
            fixture.arguments.insert(1, u"--yes"_qs);
            return fixture;
        };
        sweep("delete", prepare, [](const Fixture& fixture, int& done) {
            done = kEntries - int(TrashLog::read().entries.size());
            // What is listed now comes back whole; then the next delete settles every leftover,
            // after which what is listed comes back whole too.
            verifyListedRestore(fixture.items());
            const CliRun next = runCli({u"delete"_qs, u"--yes"_qs, u"no-such-id"_qs});
            QCOMPARE(next.err, QByteArray("Trash entry not found\n"));
            for (const QString& name : namesIn(homeTrashFiles()))
                QVERIFY2(!name.startsWith(u".brimvale-deleting-"_qs), qPrintable(name));
            verifyListedRestore(fixture.items());
            // No record is left in part: all of its items are back whole, or none is anywhere.
            QCOMPARE(namesIn(homeTrashFiles()), QStringList());
            for (const Record& record : fixture.records) {
                int whole = 0;
                for (const Item& item : record.items) {
                    const QByteArray here = digestOf(item.path);
                    QVERIFY2(here.isEmpty() || here == item.digest, qPrintable(item.path));
                    whole += int(!here.isEmpty());
                }
                QVERIFY2(whole == 0 || whole == record.items.size(), qPrintable(record.id));
            }
        });
    }

    void twoProcessesKeepEveryRecord()
    {
        constexpr int kEach = 200;
        const TestHome home;
        QList<Item> all;
        QList<QStringList> arguments;
        for (const QString& name : {u"a"_qs, u"b"_qs}) {
            arguments << QStringList{u"trash"_qs, u"--folder"_qs, home.file(name)};
            for (const Record& record : makeModelFiles(home.file(name), kEach, all.size() + 1)) {
                arguments.back() << record.id;
                all += record.items;
            }
        }
        QProcess first, second; // both at once
        first.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments[0]);
        second.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments[1]);
        QVERIFY(first.waitForFinished(300000) && second.waitForFinished(300000));
        QCOMPARE(first.exitCode() + second.exitCode(), 0);
        QCOMPARE(TrashLog::read().entries.size(), 2 * kEach);
        QCOMPARE(TrashService::entries().size(), 2 * kEach);
        verifyEachOnce(all);
    }
};

QTEST_GUILESS_MAIN(TestTrashFaults)
#include "tst_trashfaults.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "TrashLogFixtures.h"
#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "fs/XdgTrash.h"
#include "services/TrashLog.h"
#include "services/TrashService.h"
#include "services/TrashStaging.h"
#include "services/TreeRemover.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TrashFixtures;
using Kind = BrimvaleError::Kind;

namespace {

// Runs the function in a forked child with a private mount namespace; returns its exit status
// (77 when the namespace cannot be made).
int inOwnMountNamespace(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(77);
        ::_exit(body());
    }
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0) {
    }
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class TestTrashService : public QObject
{
    Q_OBJECT
    std::optional<TestHome> m_home;
    QString h(const QString& relative) const { return m_home->file(relative); }
private slots:
    void init() { m_home.emplace(); }
    void cleanup() { m_home.reset(); }

    void movesToTrashAndRecords()
    {
        const QString path = h(u"models/a.gguf"_qs);
        QVERIFY(Fixtures::writeFile(path, "A"));
        ModelEntry entry = model(u"custom-a-1"_qs, {path}, 4242);
        entry.source = ModelSource::huggingFace;
        // Nine tenths into a second, so rounding instead of dropping the fraction gives the next
        // one.
        while (QDateTime::currentMSecsSinceEpoch() % 1000 < 900)
            QThread::msleep(5);
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const TrashOutcome outcome = TrashService::moveToTrash(entry);
        QVERIFY(outcome.succeeded());
        if (QDateTime::currentSecsSinceEpoch() == before) // the call did not cross into the next
            QCOMPARE(outcome.entry->trashedAt, before);
        const TrashEntry& record = *outcome.entry;
        QVERIFY(QRegularExpression(u"^custom-a-1-[0-9A-F]{8}$"_qs).match(record.id).hasMatch());
        QCOMPARE(record.modelName, entry.name);
        QCOMPARE(record.originalPaths, QStringList{path});
        QCOMPARE(record.trashedPaths, QStringList{homeTrashFiles() + u"/a.gguf"_qs});
        QVERIFY(record.trashedAt >= before &&
                record.trashedAt <= QDateTime::currentSecsSinceEpoch());
        QCOMPARE(record.sizeBytes, qint64(4242)); // reclaimableBytes, not sizeBytes
        QCOMPARE(record.source, u"HuggingFace"_qs);
        QCOMPARE(record.modelSource(), std::optional<ModelSource>(ModelSource::huggingFace));
        QCOMPARE(record.trashedDate(), QDateTime::fromSecsSinceEpoch(record.trashedAt, Qt::UTC));
        QVERIFY(!PosixIO::lexists(path));
        QCOMPARE(TrashService::entries(), QList<TrashEntry>{record});
        QVERIFY(rawLog().startsWith("[\n    {\n") && rawLog().contains("\\/"));
        QCOMPARE(TrashEntry::fromJson(QJsonDocument::fromJson(rawLog()).array().at(0)), record);
        // A second trash of the same model gets its own id.
        const TrashEntry again = trashedFile(path);
        QVERIFY(!again.id.isEmpty() && again.id != record.id);
        QCOMPARE(idsOf(TrashLog::read().entries), (QStringList{record.id, again.id}));
        // Ids are compared exactly (an id whose random part holds no letter has no lower-case
        // form).
        for (const QString& id :
             QStringList{QString(), record.id.toLower(), record.id.chopped(1), record.id + u' '}) {
            if (id != record.id)
                QCOMPARE(TrashService::deletePermanently(id).error, u"Trash entry not found"_qs);
        }
    }

    void nothingLeftToTrash_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("error"); // $P: the first path
        QTest::addColumn<Kind>("kind");
        const auto gone = [](const char* name, const QStringList& paths) {
            QTest::newRow(name) << paths << u"Nothing left to trash — files are already gone."_qs
                                << Kind::nothingLeft;
        };
        gone("missing", {u"$H/gone.bin"_qs});
        gone("empty path", {QString()});
        gone("no paths", {});
        gone("dangling link", {u"$H/dangling"_qs});
        // The path up to NUL is an existing folder, which must not go to the Trash.
        QTest::newRow("NUL in the path")
            << QStringList{u"$H/dir"_qs + QChar(0) + u"x/m.gguf"_qs, u"$H/gone"_qs}
            << u"Could not trash $P: Invalid path"_qs << Kind::invalidPath;
    }

    void nothingLeftToTrash()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, error);
        QVERIFY(Fixtures::makeTree(m_home->path(), {u"dangling->/nowhere"_qs, u"dir/m.gguf=x"_qs}));
        paths.replaceInStrings(u"$H"_qs, m_home->path());
        const TrashOutcome outcome = TrashService::moveToTrash(model(u"m"_qs, paths));
        QVERIFY(!outcome.entry);
        QCOMPARE(outcome.error, error.replace(u"$P"_qs, paths.value(0)));
        QTEST(outcome.errorKind, "kind");
        QVERIFY(!PosixIO::lexists(AppPaths::dataDir()));
        QVERIFY(!PosixIO::lexists(AppPaths::homeTrash()));
    }

    void recordsOnlyWhatWasTrashed()
    {
        const QString first = h(u"a.bin"_qs), fifo = h(u"pipe"_qs), last = h(u"c.bin"_qs);
        QVERIFY(Fixtures::writeFile(first, "a") && Fixtures::writeFile(last, "c"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const TrashOutcome outcome =
            TrashService::moveToTrash(model(u"m"_qs, {first, h(u"missing"_qs), fifo, last}));
        QVERIFY(outcome.entry && !outcome.succeeded());
        QCOMPARE(outcome.error, u"Could not trash "_qs + fifo + u": Not a file or folder"_qs);
        QCOMPARE(outcome.entry->originalPaths, (QStringList{first, last}));
        QCOMPARE(outcome.entry->trashedPaths.size(), 2);
        QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{*outcome.entry});
        // One existing and one missing path: a full success.
        QVERIFY(Fixtures::writeFile(first, "again"));
        QVERIFY(TrashService::moveToTrash(model(u"n"_qs, {h(u"missing"_qs), first})).succeeded());
    }

    void reportsALogThatCannotBeSaved()
    {
        // A file where the data folder must be: neither the lock nor the log can be written.
        QVERIFY(Fixtures::writeFile(AppPaths::dataDir(), "in the way"));
        const QString path = h(u"m.bin"_qs);
        QVERIFY(Fixtures::writeFile(path, "x"));
        const TrashOutcome outcome = TrashService::moveToTrash(model(u"m"_qs, {path}));
        QVERIFY(outcome.entry && outcome.error);
        QVERIFY2(outcome.error->startsWith(u"Trashed, but could not save the restore log: "_qs) &&
                     outcome.error->endsWith(u"Not a directory"_qs),
                 qPrintable(*outcome.error));
        QVERIFY(PosixIO::lexists(outcome.entry->trashedPaths[0]));
        QVERIFY(TrashService::restore(outcome.entry->id).error->contains(u"Not a directory"_qs));
    }

    void listsOwnItemsNewestFirst()
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const auto at = [](const QString& name) -> QString {
            return homeTrashFiles() + u'/' + name;
        };
        const QString link = placeInTrash(u"link"_qs, u"/x/l"_qs, now - 50);
        QVERIFY(QFile::remove(link) && QFile::link(u"/nowhere"_qs, link));
        placeInTrash(u"a"_qs, u"/x/a"_qs, now - 100);
        placeInTrash(u"b"_qs, u"/x/b"_qs, now - 30);
        placeInTrash(u"c"_qs, u"/x/c"_qs, now - 60);
        placeInTrash(u"d"_qs, u"/x/d"_qs, now - 30);
        placeInTrash(u"other"_qs, u"/x/other"_qs, now);
        QVERIFY(writeLog({
            record(u"old"_qs, {u"/x/a"_qs}, {at(u"a"_qs)}, now - 100),
            record(u"tie1"_qs, {u"/x/b"_qs}, {at(u"b"_qs)}, now - 30),
            record(u"gone"_qs, {u"/x/g"_qs}, {at(u"g"_qs)}, now),
            record(u"empty"_qs, {u"/x/e"_qs}, {QString()}, now),
            record(u"mid"_qs, {u"/x/c"_qs}, {at(u"c"_qs)}, now - 60),
            record(u"tie2"_qs, {u"/x/h"_qs, u"/x/d"_qs}, {at(u"h"_qs), at(u"d"_qs)}, now - 30),
            record(u"link"_qs, {u"/x/l"_qs}, {at(u"link"_qs)}, now - 50),
            // Another model's item under the name of this record's.
            record(u"stale"_qs, {u"/x/mine"_qs}, {at(u"other"_qs)}, now),
        }));
        const QByteArray before = rawLog();
        QCOMPARE(idsOf(TrashService::entries()),
                 (QStringList{u"tie1"_qs, u"tie2"_qs, u"link"_qs, u"mid"_qs, u"old"_qs}));
        QCOMPARE(rawLog(), before); // records whose items are gone stay in the file
    }

    void unusableLogsReadAsEmpty_data()
    {
        QTest::addColumn<QByteArray>("log");
        const QByteArray good =
            R"({"id":"x","modelName":"m","originalPaths":["/a"],)"
            R"("trashedPaths":["$F"],"trashedAt":5,"sizeBytes":1,"source":"C"})";
        const auto with = [&](const char* from, const char* to) -> QByteArray {
            return "[" + QByteArray(good).replace(from, to) + "]";
        };
        QTest::newRow("object") << good;
        QTest::newRow("not JSON") << "[{" + good;
        QTest::newRow("no source") << with(R"(,"source":"C")", "");
        QTest::newRow("text time") << with(R"("trashedAt":5)", R"("trashedAt":"5")");
        QTest::newRow("fractional size") << with(R"("sizeBytes":1)", R"("sizeBytes":1.5)");
        QTest::newRow("number in paths") << with(R"(["/a"])", "[7]");
        QTest::newRow("null id") << with(R"("id":"x")", R"("id":null)");
        QTest::newRow("one bad element") << "[" + good + ",{}]";
        QTest::newRow("a folder") << QByteArray();
    }

    void unusableLogsReadAsEmpty()
    {
        QFETCH(QByteArray, log);
        const QString item = placeInTrash(u"item"_qs, u"/a"_qs, 5);
        if (log.isEmpty())
            QVERIFY(QDir().mkpath(AppPaths::dataDir() + u"/trash_log.json"_qs));
        else
            QVERIFY(writeLog(log.replace("$F", QFile::encodeName(item))));
        QVERIFY(TrashService::entries().isEmpty());
        QVERIFY(TrashLog::read().unusable);
        QCOMPARE(TrashService::restore(u"x"_qs).errorKind, Kind::notFound);
        QCOMPARE(TrashService::deletePermanently(u"x"_qs).errorKind, Kind::notFound);
        QVERIFY(PosixIO::lexists(item));
        // The next trash writes a new log and keeps the unusable one aside as it was.
        const TrashEntry record = trashedFile(h(u"m.bin"_qs));
        QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{record});
        const QStringList aside =
            QDir(AppPaths::dataDir()).entryList({u"trash_log.json.corrupt-*"_qs});
        QCOMPARE(aside.size(), 1);
        if (!log.isEmpty())
            QCOMPARE(PosixIO::readRegularFile(AppPaths::dataDir() + u'/' + aside[0]), log);
    }

    void journalFoldsIntoTheLog_data()
    {
        QTest::addColumn<QByteArray>("log");     // $A: record A's line; empty: no log
        QTest::addColumn<QByteArray>("journal"); // $A: record A's line
        QTest::addColumn<bool>("damaged");       // the journal is kept aside, not removed
        QTest::newRow("journal alone") << QByteArray() << QByteArray("$A\n") << false;
        QTest::newRow("a record in both") << QByteArray("[$A]") << QByteArray("$A\n") << false;
        QTest::newRow("an unusable log") << QByteArray("{") << QByteArray("$A\n") << false;
        QTest::newRow("an unfinished line")
            << QByteArray() << QByteArray("$A\n{\"id\":\"b") << true;
        QTest::newRow("a damaged line") << QByteArray() << QByteArray("[]\n$A\n") << true;
    }

    void journalFoldsIntoTheLog()
    {
        QFETCH(QByteArray, log);
        QFETCH(QByteArray, journal);
        QFETCH(bool, damaged);
        const TrashEntry a = record(u"a"_qs, {u"/a"_qs}, {placeInTrash(u"a"_qs, u"/a"_qs, 5)}, 5);
        const QByteArray line = QJsonDocument(a.toJson()).toJson(QJsonDocument::Compact);
        const QString journalPath = AppPaths::dataDir() + u"/trash_log.json.journal"_qs;
        if (!log.isEmpty())
            QVERIFY(writeLog(log.replace("$A", line)));
        QVERIFY(Fixtures::writeFile(journalPath, journal.replace("$A", line)));
        QCOMPARE(TrashService::entries(), QList<TrashEntry>{a});
        // The next trash appends after what is there, then writes the log with both records.
        const TrashEntry b = trashedFile(h(u"b.bin"_qs));
        QCOMPARE(TrashLog::read().entries, (QList<TrashEntry>{a, b}));
        QCOMPARE(QJsonDocument::fromJson(rawLog()).array().size(), 2);
        QVERIFY(!PosixIO::lexists(journalPath));
        const QStringList aside =
            QDir(AppPaths::dataDir()).entryList({u"trash_log.json.journal.corrupt-*"_qs});
        QCOMPARE(aside.size(), int(damaged));
    }

    void restoresAndForgets()
    {
        QVERIFY(Fixtures::makeTree(m_home->path(), {u"m/dir/w.bin=W"_qs, u"m/dir/sub/x.bin=X"_qs,
                                                    u"m/manifest=M"_qs, u"drive/t.bin=T"_qs,
                                                    u"m/link->../drive/t.bin"_qs}));
        const QByteArray tree = digestOf(h(u"m"_qs));
        const TrashOutcome outcome = TrashService::moveToTrash(
            model(u"m"_qs, {h(u"m/manifest"_qs), h(u"m/dir"_qs), h(u"m/link"_qs)}));
        const TrashEntry other = trashedFile(h(u"other.bin"_qs));
        QVERIFY(outcome.succeeded());
        // Its folder is gone, and so is the drive its link points to: the link still counts.
        QVERIFY(QDir(h(u"m"_qs)).removeRecursively() && QDir(h(u"drive"_qs)).removeRecursively());
        QCOMPARE(TrashService::entries().size(), 2);
        const RestoreOutcome restored = TrashService::restore(outcome.entry->id);
        QCOMPARE(restored, (RestoreOutcome{outcome.entry->originalPaths, {}, {}}));
        QCOMPARE(digestOf(h(u"m"_qs)), tree);
        QCOMPARE(namesIn(homeTrashInfo()), QStringList{u"other.bin.trashinfo"_qs});
        QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{other});
    }

    void restoreStopsAtAnObstacle_data()
    {
        QTest::addColumn<QString>("obstacle"); // in the home; $B: the second item's old path
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("firstBack"); // the first item is back after the failure
        const QString taken = u"Something already exists at $B. Move it away and try again."_qs;
        QTest::newRow("a new file") << u"b/m.bin=new"_qs << taken << false;
        QTest::newRow("a dangling link") << u"b/m.bin->/nowhere"_qs << taken << false;
        QTest::newRow("a folder") << u"b/m.bin/"_qs << taken << false;
        QTest::newRow("a file for its folder")
            << u"b=file"_qs << u"Cannot create folder $H/b: Not a directory"_qs << true;
    }

    void restoreStopsAtAnObstacle()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, error);
        QFETCH(bool, firstBack);
        const QString a = h(u"a/m.bin"_qs), b = h(u"b/m.bin"_qs);
        QVERIFY(Fixtures::writeFile(a, "A") && Fixtures::writeFile(b, "B"));
        const TrashEntry record = *TrashService::moveToTrash(model(u"m"_qs, {a, b})).entry;
        QVERIFY(QDir(h(u"b"_qs)).removeRecursively() &&
                Fixtures::makeTree(m_home->path(), {obstacle}));
        const QByteArray log = rawLog();
        const RestoreOutcome outcome = TrashService::restore(record.id);
        QCOMPARE(outcome.error, error.replace(u"$B"_qs, b).replace(u"$H"_qs, m_home->path()));
        QCOMPARE(outcome.restored, firstBack ? QStringList{a} : QStringList());
        QCOMPARE(PosixIO::lexists(a), firstBack); // occupied places are all checked first
        QVERIFY(PosixIO::lexists(record.trashedPaths[1]));
        QCOMPARE(rawLog(), log);
        // Once the obstacle is gone the rest comes back.
        QVERIFY(QFile::remove(h(u"b"_qs)) || QDir(h(u"b"_qs)).removeRecursively());
        QCOMPARE(TrashService::restore(record.id).restored.size(), firstBack ? 1 : 2);
        QCOMPARE(TrashLog::read().entries, QList<TrashEntry>());
    }

    void refusesBeforeTouchingAnything_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("error"); // $I: the item
        QTest::addColumn<Kind>("kind");
        const QString outside = u"Refusing to touch $I: it is not in the Trash"_qs;
        const auto row = [&](const char* name, const QString& item) {
            QTest::newRow(name) << item << u"$H/restored"_qs << outside << Kind::notInTrash;
        };
        // XdgTrash::isInTrash has the other shapes; these show the service asks it first.
        row("a file in the home", u"$H/precious.bin"_qs);
        row("inside a trashed folder", u"$T/files/dir/inner.bin"_qs);
        QTest::newRow("an unplugged drive")
            << u"/no-such-drive-brimvale/.Trash-0/files/m.bin"_qs << u"$H/restored"_qs
            << u"Cannot reach $I: its drive is not connected"_qs << Kind::unreachable;
        QTest::newRow("NUL in the item")
            << u"$T/files/dir"_qs + QChar(0) + u"x"_qs << u"$H/restored"_qs << u"Invalid path"_qs
            << Kind::invalidPath;
        QTest::newRow("NUL in the old path")
            << u"$T/files/dir"_qs << u"$H/precious.bin"_qs + QChar(0) << u"Invalid path"_qs
            << Kind::invalidPath;
    }

    void refusesBeforeTouchingAnything()
    {
        QFETCH(QString, item);
        QFETCH(QString, original);
        QFETCH(QString, error);
        QVERIFY(Fixtures::makeTree(m_home->path(), {u"precious.bin=P"_qs}));
        QVERIFY(Fixtures::makeTree(AppPaths::homeTrash(), {u"files/dir/inner.bin=I"_qs}));
        const QString first = placeInTrash(u"real.bin"_qs, h(u"real.bin"_qs));
        const auto expand = [&](QString text) {
            return text.replace(u"$H"_qs, m_home->path()).replace(u"$T"_qs, AppPaths::homeTrash());
        };
        item = expand(item);
        // The refused item comes after one that could be acted on.
        QVERIFY(
            writeLog({record(u"evil"_qs, {h(u"real.bin"_qs), expand(original)}, {first, item})}));
        QCOMPARE(TrashService::restore(u"x"_qs).errorKind, Kind::notFound); // makes the lock file
        const QByteArray everything = digestOf(m_home->root());
        const RestoreOutcome restored = TrashService::restore(u"evil"_qs);
        const DeleteOutcome deleted = TrashService::deletePermanently(u"evil"_qs);
        QCOMPARE(restored.error, error.replace(u"$I"_qs, item));
        QTEST(restored.errorKind, "kind");
        QCOMPARE(deleted.error, error);
        QTEST(deleted.errorKind, "kind");
        QCOMPARE(digestOf(m_home->root()), everything); // nothing moved, deleted or rewritten
    }

    void staleRecordsNeverTouchAnotherItem_data()
    {
        // XdgTrash::isItemOf has the other ways an item stops being a record's own.
        QTest::addColumn<bool>("keepsOne"); // the record's second item is still in the Trash
        QTest::addColumn<bool>(
            "samePath"); // the next item is trashed from the first one's old path
        QTest::newRow("nothing of its own left") << false << false;
        QTest::newRow("one item still its own") << true << false;
        QTest::newRow("its old path trashed again") << false << true;
    }

    void staleRecordsNeverTouchAnotherItem()
    {
        QFETCH(bool, keepsOne);
        QFETCH(bool, samePath);
        for (const bool restoring : {true, false}) {
            TestHome home;
            const QString a = home.file(u"pub/a/model.gguf"_qs),
                          keep = home.file(u"pub/a/k.bin"_qs);
            QVERIFY(Fixtures::writeFile(a, "a") && Fixtures::writeFile(keep, "k"));
            const TrashEntry first = *TrashService::moveToTrash(model(u"a"_qs, {a, keep})).entry;
            // The desktop empties the Trash: the log keeps the record.
            for (const QString& item : first.trashedPaths.mid(0, keepsOne ? 1 : 2))
                QVERIFY(QFile::remove(item) && QFile::remove(XdgTrash::infoPathOf(item)));
            // Another model's item gets the same name.
            const TrashEntry next =
                trashedFile(samePath ? a : home.file(u"pub/b/model.gguf"_qs), "next");
            QCOMPARE(next.trashedPaths, QStringList{first.trashedPaths[0]});
            const QByteArray untouched = digestOf(first.trashedPaths[0]);
            QCOMPARE(idsOf(TrashService::entries()).contains(first.id), keepsOne);
            if (restoring) {
                const RestoreOutcome outcome = TrashService::restore(first.id);
                QCOMPARE(outcome.restored, keepsOne ? QStringList{keep} : QStringList());
                if (!keepsOne) {
                    QCOMPARE(outcome.error, u"Nothing left to restore — the items are no longer in "
                                            "the Trash"_qs);
                    QCOMPARE(outcome.errorKind, Kind::nothingLeft);
                }
                QVERIFY(!PosixIO::lexists(a));
            } else {
                QCOMPARE(
                    TrashService::deletePermanently(first.id),
                    (DeleteOutcome{
                        keepsOne ? QStringList{first.trashedPaths[1]} : QStringList(), {}, {}}));
            }
            QCOMPARE(digestOf(first.trashedPaths[0]), untouched);
            QCOMPARE(idsOf(TrashLog::read().entries), QStringList{next.id});
        }
    }

    void aMovedInfoTimeKeepsItsRecord_data()
    {
        QTest::addColumn<qint64>("shift"); // of the .trashinfo's time, against the record's
        QTest::addColumn<bool>("restoring");
        const qint64 days2 = 2 * 24 * 3600;
        QTest::newRow("two days later, restored") << days2 << true;
        QTest::newRow("two days earlier, restored") << -days2 << true;
        QTest::newRow("two days earlier, deleted") << -days2 << false;
    }

    void aMovedInfoTimeKeepsItsRecord()
    {
        QFETCH(qint64, shift);
        QFETCH(bool, restoring);
        const QString path = h(u"m/a.bin"_qs);
        const TrashEntry record = trashedFile(path, "A");
        // A drive whose clock is off, a copied home or another program moved the time.
        QVERIFY(Fixtures::setModified(XdgTrash::infoPathOf(record.trashedPaths[0]),
                                      record.trashedAt + shift));
        QCOMPARE(TrashService::entries(), QList<TrashEntry>{record});
        if (restoring) {
            QCOMPARE(TrashService::restore(record.id), (RestoreOutcome{{path}, {}, {}}));
            QCOMPARE(PosixIO::readRegularFile(path), QByteArray("A"));
        } else {
            QCOMPARE(TrashService::deletePermanently(record.id),
                     (DeleteOutcome{record.trashedPaths, {}, {}}));
        }
        QCOMPARE(namesIn(homeTrashFiles()) + namesIn(homeTrashInfo()), QStringList());
        QVERIFY(TrashLog::read().entries.isEmpty());
    }

    void deletesForGood()
    {
        QVERIFY(Fixtures::makeTree(m_home->path(), {u"keep/precious.bin=P"_qs, u"m/dir/w.bin=W"_qs,
                                                    u"m/dir/toKeep->../../keep"_qs,
                                                    u"m/manifest->../keep/precious.bin"_qs}));
        const QByteArray kept = digestOf(h(u"keep"_qs));
        const TrashEntry record =
            *TrashService::moveToTrash(model(u"m"_qs, {h(u"m/manifest"_qs), h(u"m/dir"_qs)})).entry;
        const TrashEntry other = trashedFile(h(u"other.bin"_qs));
        // A record whose item locations are partly unknown or gone.
        const TrashEntry sparse = trashedFile(h(u"s.bin"_qs));
        QVERIFY(writeLog({record, other,
                          TrashFixtures::record(
                              sparse.id, {u"/a"_qs, u"/b"_qs, sparse.originalPaths[0]},
                              {QString(), homeTrashFiles() + u"/gone"_qs, sparse.trashedPaths[0]},
                              sparse.trashedAt)}));
        QCOMPARE(TrashService::deletePermanently(record.id),
                 (DeleteOutcome{record.trashedPaths, {}, {}}));
        QCOMPARE(TrashService::deletePermanently(sparse.id),
                 (DeleteOutcome{sparse.trashedPaths, {}, {}}));
        QCOMPARE(digestOf(h(u"keep"_qs)), kept);
        QCOMPARE(namesIn(homeTrashFiles()), QStringList{u"other.bin"_qs});
        QCOMPARE(namesIn(homeTrashInfo()), QStringList{u"other.bin.trashinfo"_qs});
        QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{other});
    }

    void deleteNeverEntersAnotherMount_data()
    {
        QTest::addColumn<bool>("bind");
        QTest::newRow("another file system") << false;
        QTest::newRow("a bind mount of the same drive") << true;
    }

    void deleteNeverEntersAnotherMount()
    {
        QFETCH(bool, bind);
        QVERIFY(Fixtures::makeTree(m_home->path(), {u"m/model/w.bin=w"_qs, u"m/model/mnt/"_qs,
                                                    u"elsewhere/precious.bin=p"_qs}));
        const TrashEntry record =
            *TrashService::moveToTrash(model(u"m"_qs, {h(u"m/model"_qs)})).entry;
        const QByteArray mountPoint = QFile::encodeName(record.trashedPaths[0] + u"/mnt"_qs);
        const QByteArray source = QFile::encodeName(h(u"elsewhere"_qs));
        const QString expected =
            u"Cannot delete "_qs + record.trashedPaths[0] + u": Invalid cross-device link"_qs;
        const int status = inOwnMountNamespace([&] {
            const int mounted = bind ? ::mount(source.constData(), mountPoint.constData(), nullptr,
                                               MS_BIND, nullptr)
                                     : ::mount("none", mountPoint.constData(), "tmpfs", 0, nullptr);
            if (mounted != 0)
                return 77;
            if (!bind &&
                !Fixtures::writeFile(QFile::decodeName(mountPoint) + u"/precious.bin"_qs, "p"))
                return 3;
            if (TrashService::deletePermanently(record.id).error != expected)
                return 1;
            // The staged item still holds the mount, with its content.
            return PosixIO::lexists(TrashStaging::stagedPathOf(record.trashedPaths[0]) +
                                    u"/mnt/precious.bin"_qs)
                       ? 0
                       : 2;
        });
        if (status == 77)
            QSKIP("mounting in a private mount namespace is not permitted here");
        QCOMPARE(status, 0);
        QVERIFY(PosixIO::lexists(h(u"elsewhere/precious.bin"_qs)));
        // The record left the log before anything was deleted; with the mount gone, the next call
        // finishes the staged item off, with its .trashinfo.
        QVERIFY(TrashLog::read().entries.isEmpty());
        QCOMPARE(TrashService::restore(u"no-such-id"_qs).errorKind, Kind::notFound);
        QCOMPARE(namesIn(homeTrashFiles()) + namesIn(homeTrashInfo()), QStringList());
        // Nor does a name holding NUL reach anything (a shortened one would name another file).
        const int home =
            ::open(QFile::encodeName(m_home->path()).constData(), O_RDONLY | O_DIRECTORY);
        QCOMPARE(TreeRemover::remove(home, QByteArray("elsewhere\0x", 11)), EINVAL);
        ::close(home);
        QVERIFY(PosixIO::lexists(h(u"elsewhere/precious.bin"_qs)));
    }

    void sweepSettlesLeftovers()
    {
        const TrashEntry named = trashedFile(h(u"named.bin"_qs), "n");
        const TrashEntry orphan = trashedFile(h(u"orphan.bin"_qs), "o");
        const TrashEntry twin = trashedFile(h(u"twin.bin"_qs), "t");
        const QByteArray namedDigest = digestOf(named.trashedPaths[0]);
        // As a killed deletion leaves them: items staged; only `named` still has a record.
        for (const TrashEntry& entry : {named, orphan, twin})
            QVERIFY(QFile::rename(entry.trashedPaths[0],
                                  TrashStaging::stagedPathOf(entry.trashedPaths[0])));
        // Its .trashinfo's time moved: it is still the record's own.
        QVERIFY(Fixtures::setModified(XdgTrash::infoPathOf(named.trashedPaths[0]),
                                      named.trashedAt - 2 * 24 * 3600));
        // Another item took the twin's name meanwhile: its .trashinfo must stay.
        QVERIFY(Fixtures::writeFile(twin.trashedPaths[0], "someone else's"));
        // A record points into a folder that is no Trash: a look-alike leftover there stays.
        const QString mine = h(u"models/.brimvale-deleting-m.bin"_qs);
        QVERIFY(Fixtures::writeFile(mine, "mine"));
        // A stale record names the orphan's item but it is not its own: it is not put back.
        QVERIFY(writeLog({named, record(u"odd"_qs, {u"/x"_qs}, {h(u"models/m.bin"_qs)}),
                          record(u"stale"_qs, {u"/x"_qs}, orphan.trashedPaths)}));
        QVERIFY(TrashService::entries().isEmpty()); // its item is staged away
        QCOMPARE(TrashService::deletePermanently(u"no-such-id"_qs).errorKind, Kind::notFound);
        QCOMPARE(namesIn(homeTrashFiles()), (QStringList{u"named.bin"_qs, u"twin.bin"_qs}));
        QCOMPARE(digestOf(named.trashedPaths[0]), namedDigest);
        QCOMPARE(namesIn(homeTrashInfo()),
                 (QStringList{u"named.bin.trashinfo"_qs, u"twin.bin.trashinfo"_qs}));
        QCOMPARE(idsOf(TrashService::entries()), QStringList{named.id});
        QVERIFY(PosixIO::lexists(mine));
    }

    void aBusyLogChangesNothing()
    {
        const TrashEntry record = trashedFile(h(u"old.bin"_qs));
        QVERIFY(Fixtures::writeFile(h(u"m.bin"_qs), "m"));
        const QList<ModelEntry> models{model(u"m"_qs, {h(u"m.bin"_qs)}), model(u"o"_qs, {})};
        // Another process holds the restore log's lock.
        QProcess holder;
        holder.start(u"flock"_qs, {AppPaths::dataDir() + u"/trash_log.json.lock"_qs, u"-c"_qs,
                                   u"echo held; exec sleep 20"_qs});
        QVERIFY(holder.waitForReadyRead(30000));
        const QByteArray everything = digestOf(m_home->root());
        const LockWait wait = std::chrono::milliseconds{200};
        const QString busy = u"Another Brimvale is working on the Trash — try again in a moment"_qs;
        const QList<TrashOutcome> trashed = TrashService::moveToTrash(models, nullptr, wait);
        const RestoreOutcome restored = TrashService::restore(record.id, wait);
        const DeleteOutcome deleted = TrashService::deletePermanently(record.id, wait);
        holder.kill();
        holder.waitForFinished();
        QCOMPARE(trashed, (QList<TrashOutcome>{{std::nullopt, busy, Kind::busy}}));
        QCOMPARE(restored, (RestoreOutcome{{}, busy, Kind::busy}));
        QCOMPARE(deleted, (DeleteOutcome{{}, busy, Kind::busy}));
        QCOMPARE(digestOf(m_home->root()), everything);
    }

    void stopEndsAMultiModelTrash()
    {
        QVERIFY(Fixtures::makeTree(m_home->path(), {u"a.bin=a"_qs, u"b.bin=b"_qs}));
        const QList<ModelEntry> models{model(u"a"_qs, {h(u"a.bin"_qs)}),
                                       model(u"b"_qs, {h(u"b.bin"_qs)})};
        StopToken stop;
        stop.requestStop();
        QVERIFY(TrashService::moveToTrash(models, &stop).isEmpty());
        QVERIFY(PosixIO::lexists(h(u"a.bin"_qs)) && !PosixIO::lexists(AppPaths::dataDir()));
        const QList<TrashOutcome> outcomes = TrashService::moveToTrash(models);
        QCOMPARE(outcomes.size(), 2);
        QCOMPARE(outcomes[1].entry->originalPaths, QStringList{h(u"b.bin"_qs)});
    }
};

QTEST_GUILESS_MAIN(TestTrashService)
#include "tst_trashservice.moc"

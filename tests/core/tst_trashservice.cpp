#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "fs/XdgTrash.h"
#include "model/BrimvaleError.h"
#include "services/TrashLog.h"
#include "services/TrashService.h"
#include "services/TrashStaging.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace TrashFixtures;

namespace {

template <typename Call> QString errorOf(Call call)
{
    try {
        call();
    } catch (const BrimvaleError& error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

QString restoreError(const QString& id)
{
    return errorOf([&] { (void)TrashService::restore(id); });
}

QString deleteError(const QString& id)
{
    return errorOf([&] { TrashService::deletePermanently(id); });
}

QByteArray logEntry(const QString& id, const QStringList& originals, const QStringList& trashed,
                    qint64 at)
{
    TrashEntry entry{id, id, originals, trashed, at, 1, QStringLiteral("Custom")};
    return QJsonDocument(entry.toJson()).toJson();
}

QByteArray logOf(const QList<QByteArray>& entries)
{
    QByteArray log = "[";
    for (qsizetype i = 0; i < entries.size(); ++i)
        log += (i > 0 ? "," : "") + entries[i];
    return log + "]";
}

QStringList ids(const QList<TrashEntry>& entries)
{
    QStringList list;
    for (const TrashEntry& entry : entries)
        list << entry.id;
    return list;
}

// Gives everything under the path (links themselves, not their targets) to the user.
bool chownTree(const QString& path, uid_t user)
{
    bool ok = ::lchown(QFile::encodeName(path).constData(), user, user) == 0;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok = ::lchown(QFile::encodeName(it.next()).constData(), user, user) == 0 && ok;
    return ok;
}

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

// Trashes a fresh file holding `content` at `relative` in the home; returns the record.
TrashEntry trashedFile(const TestHome& home, const QString& relative, const QByteArray& content)
{
    const QString path = home.file(relative);
    Fixtures::writeFile(path, content);
    const TrashOutcome outcome = TrashService::moveToTrash(model(relative, {path}));
    return outcome.entry.value_or(TrashEntry{});
}

} // namespace

class TestTrashService : public QObject
{
    Q_OBJECT

private slots:
    void movesToTrashAndRecords();
    void writesTheLogAsStored();
    void nothingLeftToTrash_data();
    void nothingLeftToTrash();
    void recordsOnlyWhatWasTrashed();
    void twoTrashesOfOneModelGetTwoIds();
    void reportsALogThatCannotBeSaved();
    void dropsTheFractionOfASecond();
    void listsNewestFirstWithTiesInFileOrder();
    void unusableLogsReadAsEmpty_data();
    void unusableLogsReadAsEmpty();
    void keepsAnUnusableLogAside();
    void restoresAndForgets();
    void restoreRecreatesParentFolders();
    void restoreRefusesAnOccupiedPath_data();
    void restoreRefusesAnOccupiedPath();
    void restorePassesOnAFolderFailure();
    void restoreOfVanishedItemsOnlyForgets();
    void restoresALinkWhoseTargetIsGone();
    void refusesItemsOutsideTheTrash_data();
    void refusesItemsOutsideTheTrash();
    void refusesAnUnreachableDrive();
    void deletesForGood();
    void deleteSkipsEmptyAndMissingItems();
    void deleteStopsAtTheFirstFailure();
    void deleteNeverEntersAnotherMount_data();
    void deleteNeverEntersAnotherMount();
    void unknownIdsAreNotFound();
    void sweepSettlesLeftovers();
    void sweepIgnoresFoldersOutsideTheTrash();
    void threadsNeverLoseRecords();
};

void TestTrashService::movesToTrashAndRecords()
{
    TestHome home;
    const QString path = home.file(QStringLiteral("models/a.gguf"));
    QVERIFY(Fixtures::writeFile(path, "A"));
    ModelEntry entry = model(QStringLiteral("custom-a-1"), {path}, 4242);
    entry.source = ModelSource::huggingFace;
    const qint64 before = QDateTime::currentSecsSinceEpoch();

    const TrashOutcome outcome = TrashService::moveToTrash(entry);

    QVERIFY(outcome.succeeded());
    QVERIFY(!outcome.error);
    const TrashEntry& record = *outcome.entry;
    QVERIFY(
        QRegularExpression(QStringLiteral("^custom-a-1-[0-9A-F]{8}$")).match(record.id).hasMatch());
    QCOMPARE(record.modelName, entry.name);
    QCOMPARE(record.originalPaths, QStringList{path});
    QCOMPARE(record.trashedPaths, QStringList{homeTrashFiles() + QStringLiteral("/a.gguf")});
    QVERIFY(record.trashedAt >= before && record.trashedAt <= QDateTime::currentSecsSinceEpoch());
    QCOMPARE(record.sizeBytes, qint64(4242)); // reclaimableBytes, not sizeBytes
    QCOMPARE(record.source, QStringLiteral("HuggingFace"));
    QCOMPARE(record.modelSource(), std::optional<ModelSource>(ModelSource::huggingFace));
    QCOMPARE(record.trashedDate().toSecsSinceEpoch(), record.trashedAt);
    QVERIFY(!PosixIO::lexists(path));
    QCOMPARE(TrashService::entries(), QList<TrashEntry>{record});
    QVERIFY(QFileInfo::exists(AppPaths::dataDir() + QStringLiteral("/trash_log.json.lock")));
}

void TestTrashService::writesTheLogAsStored()
{
    TestHome home;
    const TrashEntry record = trashedFile(home, QStringLiteral("m.bin"), "x");
    const QByteArray log = rawLog();
    const QStringList keys{QStringLiteral("\"id\""),
                           QStringLiteral("\"modelName\""),
                           QStringLiteral("\"originalPaths\""),
                           QStringLiteral("\"sizeBytes\""),
                           QStringLiteral("\"source\""),
                           QStringLiteral("\"trashedAt\""),
                           QStringLiteral("\"trashedPaths\"")};
    qsizetype last = -1;
    for (const QString& key : keys) {
        const qsizetype at = log.indexOf(key.toUtf8());
        QVERIFY2(at > last, qPrintable(key));
        last = at;
    }
    QVERIFY(log.startsWith("[\n    {\n"));
    QVERIFY(log.contains("\\/"));
    QVERIFY(!log.contains(QFile::encodeName(home.path())));
    const QJsonArray array = QJsonDocument::fromJson(log).array();
    QCOMPARE(array.size(), 1);
    QCOMPARE(TrashEntry::fromJson(array[0]), std::optional<TrashEntry>(record));
}

void TestTrashService::nothingLeftToTrash_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("missing") << QStringList{QStringLiteral("$H/gone.bin")};
    QTest::newRow("empty path") << QStringList{QString()};
    QTest::newRow("no paths") << QStringList{};
    QTest::newRow("a link whose target is gone") << QStringList{QStringLiteral("$H/dangling")};
}

void TestTrashService::nothingLeftToTrash()
{
    QFETCH(QStringList, paths);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("dangling->/nowhere")}));
    paths.replaceInStrings(QStringLiteral("$H"), home.path());
    const TrashOutcome outcome = TrashService::moveToTrash(model(QStringLiteral("m"), paths));
    QVERIFY(!outcome.entry);
    QCOMPARE(outcome.error, std::optional<QString>(
                                QStringLiteral("Nothing left to trash — files are already gone.")));
    QVERIFY(!PosixIO::lexists(AppPaths::dataDir()));
    QVERIFY(!PosixIO::lexists(homeTrash()));
}

void TestTrashService::recordsOnlyWhatWasTrashed()
{
    TestHome home;
    const QString first = home.file(QStringLiteral("a.bin"));
    const QString fifo = home.file(QStringLiteral("pipe"));
    const QString missing = home.file(QStringLiteral("missing.bin"));
    const QString last = home.file(QStringLiteral("c.bin"));
    QVERIFY(Fixtures::writeFile(first, "a") && Fixtures::writeFile(last, "c"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);

    const TrashOutcome outcome =
        TrashService::moveToTrash(model(QStringLiteral("m"), {first, missing, fifo, last}));

    QVERIFY(outcome.entry);
    QVERIFY(!outcome.succeeded());
    QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Could not trash ") + fifo +
                                                   QStringLiteral(": Not a file or folder")));
    QCOMPARE(outcome.entry->originalPaths, (QStringList{first, last}));
    QCOMPARE(outcome.entry->trashedPaths.size(), 2);
    QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{*outcome.entry});

    // One existing and one missing path: a full success.
    QVERIFY(Fixtures::writeFile(first, "again"));
    const TrashOutcome second =
        TrashService::moveToTrash(model(QStringLiteral("n"), {missing, first}));
    QVERIFY(second.succeeded());
    QCOMPARE(second.entry->originalPaths, QStringList{first});
}

void TestTrashService::twoTrashesOfOneModelGetTwoIds()
{
    TestHome home;
    const TrashEntry a = trashedFile(home, QStringLiteral("same.bin"), "1");
    const TrashEntry b = trashedFile(home, QStringLiteral("same.bin"), "2");
    QVERIFY(!a.id.isEmpty() && !b.id.isEmpty());
    QVERIFY(a.id != b.id);
    QCOMPARE(ids(TrashLog::read().entries), (QStringList{a.id, b.id}));
}

void TestTrashService::reportsALogThatCannotBeSaved()
{
    TestHome home;
    // A file where the data folder must be: neither the lock nor the log can be written.
    QVERIFY(Fixtures::writeFile(AppPaths::dataDir(), "in the way"));
    const QString path = home.file(QStringLiteral("m.bin"));
    QVERIFY(Fixtures::writeFile(path, "x"));

    const TrashOutcome outcome = TrashService::moveToTrash(model(QStringLiteral("m"), {path}));

    QVERIFY(outcome.entry);
    QVERIFY(outcome.error);
    QVERIFY2(
        outcome.error->startsWith(QStringLiteral("Trashed, but could not save the restore log: ")),
        qPrintable(*outcome.error));
    QVERIFY(outcome.error->endsWith(QStringLiteral("Not a directory")));
    QVERIFY(PosixIO::lexists(outcome.entry->trashedPaths[0]));
    QCOMPARE(restoreError(outcome.entry->id).contains(QStringLiteral("Not a directory")), true);
}

void TestTrashService::dropsTheFractionOfASecond()
{
    TestHome home;
    const QString path = home.file(QStringLiteral("m.bin"));
    for (int attempt = 0; attempt < 5; ++attempt) {
        QVERIFY(Fixtures::writeFile(path, "x"));
        // Start nine tenths into a second, so rounding would give the next second.
        while (QDateTime::currentMSecsSinceEpoch() % 1000 < 900)
            QThread::msleep(5);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const TrashOutcome outcome = TrashService::moveToTrash(model(QStringLiteral("m"), {path}));
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(outcome.succeeded());
        if (before / 1000 != after / 1000)
            continue; // the call crossed a second boundary: try again
        QCOMPARE(outcome.entry->trashedAt, before / 1000);
        return;
    }
    QFAIL("every attempt crossed a second boundary");
}

void TestTrashService::listsNewestFirstWithTiesInFileOrder()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(homeTrashFiles(),
                               {QStringLiteral("a=1"), QStringLiteral("b=1"), QStringLiteral("c=1"),
                                QStringLiteral("d=1"), QStringLiteral("link->/nowhere")}));
    const QString f = homeTrashFiles() + u'/';
    QVERIFY(writeLog(logOf({
        logEntry(QStringLiteral("old"), {QStringLiteral("/x/a")}, {f + QStringLiteral("a")}, 100),
        logEntry(QStringLiteral("tie1"), {QStringLiteral("/x/b")}, {f + QStringLiteral("b")}, 300),
        logEntry(QStringLiteral("gone"), {QStringLiteral("/x/g")}, {f + QStringLiteral("g")}, 999),
        logEntry(QStringLiteral("empty"), {QStringLiteral("/x/e")}, {QString()}, 998),
        logEntry(QStringLiteral("mid"), {QStringLiteral("/x/c")}, {f + QStringLiteral("c")}, 200),
        logEntry(QStringLiteral("tie2"), {QStringLiteral("/x/d"), QStringLiteral("/x/h")},
                 {f + QStringLiteral("h"), f + QStringLiteral("d")}, 300),
        logEntry(QStringLiteral("link"), {QStringLiteral("/x/l")}, {f + QStringLiteral("link")},
                 50),
    })));
    const QByteArray before = rawLog();
    QCOMPARE(ids(TrashService::entries()),
             (QStringList{QStringLiteral("tie1"), QStringLiteral("tie2"), QStringLiteral("mid"),
                          QStringLiteral("old"), QStringLiteral("link")}));
    QCOMPARE(rawLog(), before); // the entry whose items are gone stays in the file
}

void TestTrashService::unusableLogsReadAsEmpty_data()
{
    QTest::addColumn<QByteArray>("log");
    const QByteArray good =
        R"({"id":"x","modelName":"m","originalPaths":["/a"],)"
        R"("trashedPaths":["$F"],"trashedAt":5,"sizeBytes":1,"source":"Custom"})";
    QTest::newRow("object") << QByteArray(good);
    QTest::newRow("not JSON") << QByteArray("[{") + good;
    QTest::newRow("no source") << "[" + QByteArray(good).replace(R"(,"source":"Custom")", "") + "]";
    QTest::newRow("text time") << "[" +
                                      QByteArray(good).replace("\"trashedAt\":5",
                                                               "\"trashedAt\":\"5\"") +
                                      "]";
    QTest::newRow("fractional size")
        << "[" + QByteArray(good).replace("\"sizeBytes\":1", "\"sizeBytes\":1.5") + "]";
    QTest::newRow("number in paths") << "[" + QByteArray(good).replace("[\"/a\"]", "[7]") + "]";
    QTest::newRow("null id") << "[" + QByteArray(good).replace("\"id\":\"x\"", "\"id\":null") + "]";
    QTest::newRow("one bad element") << "[" + good + ",{}]";
    QTest::newRow("a folder") << QByteArray();
}

void TestTrashService::unusableLogsReadAsEmpty()
{
    QFETCH(QByteArray, log);
    TestHome home;
    QVERIFY(Fixtures::writeFile(homeTrashFiles() + QStringLiteral("/item"), "x"));
    if (log.isEmpty())
        QVERIFY(QDir().mkpath(AppPaths::dataDir() + QStringLiteral("/trash_log.json")));
    else
        QVERIFY(writeLog(
            log.replace("$F", QFile::encodeName(homeTrashFiles() + QStringLiteral("/item")))));
    QVERIFY(TrashService::entries().isEmpty());
    QVERIFY(TrashLog::read().unusable);
    QCOMPARE(restoreError(QStringLiteral("x")), QStringLiteral("Trash entry not found"));
    QCOMPARE(deleteError(QStringLiteral("x")), QStringLiteral("Trash entry not found"));
    QVERIFY(PosixIO::lexists(homeTrashFiles() + QStringLiteral("/item")));
}

void TestTrashService::keepsAnUnusableLogAside()
{
    TestHome home;
    QVERIFY(writeLog("{\"not\": \"a list\"}"));
    const TrashEntry record = trashedFile(home, QStringLiteral("m.bin"), "x");
    QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{record});
    const QStringList aside =
        QDir(AppPaths::dataDir()).entryList({QStringLiteral("trash_log.json.corrupt-*")});
    QCOMPARE(aside.size(), 1);
    QFile kept(AppPaths::dataDir() + u'/' + aside[0]);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("{\"not\": \"a list\"}"));
}

void TestTrashService::restoresAndForgets()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("m/dir/w.bin=W"),
                                             QStringLiteral("m/dir/sub/x.bin=X"),
                                             QStringLiteral("m/manifest=M")}));
    const QByteArray dir = digestOf(home.file(QStringLiteral("m/dir")));
    const QByteArray manifest = digestOf(home.file(QStringLiteral("m/manifest")));
    const TrashOutcome outcome = TrashService::moveToTrash(
        model(QStringLiteral("m"),
              {home.file(QStringLiteral("m/manifest")), home.file(QStringLiteral("m/dir"))}));
    const TrashEntry other = trashedFile(home, QStringLiteral("other.bin"), "o");
    QVERIFY(outcome.succeeded());

    const QStringList restored = TrashService::restore(outcome.entry->id);

    QCOMPARE(restored, outcome.entry->originalPaths);
    QCOMPARE(digestOf(home.file(QStringLiteral("m/dir"))), dir);
    QCOMPARE(digestOf(home.file(QStringLiteral("m/manifest"))), manifest);
    QCOMPARE(namesIn(homeTrashInfo()), QStringList{QStringLiteral("other.bin.trashinfo")});
    QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{other});
}

void TestTrashService::restoreRecreatesParentFolders()
{
    TestHome home;
    const TrashEntry record = trashedFile(home, QStringLiteral("deep/er/m.bin"), "x");
    QVERIFY(QDir(home.file(QStringLiteral("deep"))).removeRecursively());
    (void)TrashService::restore(record.id);
    QCOMPARE(digestOf(home.file(QStringLiteral("deep/er/m.bin"))).isEmpty(), false);
    QVERIFY(TrashLog::read().entries.isEmpty());
}

void TestTrashService::restoreRefusesAnOccupiedPath_data()
{
    QTest::addColumn<QString>("occupant");
    QTest::newRow("a new file") << QStringLiteral("file");
    QTest::newRow("a link whose target is gone") << QStringLiteral("dangling");
    QTest::newRow("a folder") << QStringLiteral("folder");
}

void TestTrashService::restoreRefusesAnOccupiedPath()
{
    QFETCH(QString, occupant);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("m/a.bin=A"), QStringLiteral("m/b.bin=B")}));
    const QString a = home.file(QStringLiteral("m/a.bin"));
    const QString b = home.file(QStringLiteral("m/b.bin"));
    const TrashEntry record = *TrashService::moveToTrash(model(QStringLiteral("m"), {a, b})).entry;
    // The second item's old place is taken again.
    if (occupant == QStringLiteral("file"))
        QVERIFY(Fixtures::writeFile(b, "new"));
    else if (occupant == QStringLiteral("dangling"))
        QVERIFY(QFile::link(QStringLiteral("/nowhere"), b));
    else
        QVERIFY(QDir().mkpath(b));
    const QByteArray occupied = digestOf(b);
    const QByteArray log = rawLog();

    QCOMPARE(restoreError(record.id), QStringLiteral("Something already exists at ") + b +
                                          QStringLiteral(". Move it away and try again."));

    QCOMPARE(digestOf(b), occupied);
    QVERIFY(!PosixIO::lexists(a)); // nothing was moved back
    QVERIFY(PosixIO::lexists(record.trashedPaths[0]) && PosixIO::lexists(record.trashedPaths[1]));
    QCOMPARE(rawLog(), log);
}

void TestTrashService::restorePassesOnAFolderFailure()
{
    TestHome home;
    const TrashEntry record = trashedFile(home, QStringLiteral("dir/m.bin"), "x");
    QVERIFY(QDir(home.file(QStringLiteral("dir"))).removeRecursively());
    QVERIFY(Fixtures::writeFile(home.file(QStringLiteral("dir")), "a file where a folder was"));
    const QByteArray log = rawLog();
    QCOMPARE(restoreError(record.id), QStringLiteral("Cannot create folder ") +
                                          home.file(QStringLiteral("dir")) +
                                          QStringLiteral(": Not a directory"));
    QVERIFY(PosixIO::lexists(record.trashedPaths[0]));
    QCOMPARE(rawLog(), log);
}

void TestTrashService::restoreOfVanishedItemsOnlyForgets()
{
    TestHome home;
    const TrashEntry record = trashedFile(home, QStringLiteral("m.bin"), "x");
    QVERIFY(QFile::remove(record.trashedPaths[0]));
    QVERIFY(TrashService::entries().isEmpty());
    QCOMPARE(TrashService::restore(record.id), QStringList());
    QVERIFY(!PosixIO::lexists(home.file(QStringLiteral("m.bin"))));
    QVERIFY(TrashLog::read().entries.isEmpty());
}

void TestTrashService::restoresALinkWhoseTargetIsGone()
{
    TestHome home;
    QVERIFY(
        Fixtures::makeTree(home.path(), {QStringLiteral("drive/model.bin=x"),
                                         QStringLiteral("models/model.bin->../drive/model.bin")}));
    const QString link = home.file(QStringLiteral("models/model.bin"));
    const TrashOutcome outcome = TrashService::moveToTrash(model(QStringLiteral("m"), {link}));
    QVERIFY(outcome.succeeded());
    // The drive the link points to goes away.
    QVERIFY(QDir(home.file(QStringLiteral("drive"))).removeRecursively());
    QCOMPARE(ids(TrashService::entries()), QStringList{outcome.entry->id});

    QCOMPARE(TrashService::restore(outcome.entry->id), QStringList{link});

    QCOMPARE(QFileInfo(link).symLinkTarget(), home.file(QStringLiteral("drive/model.bin")));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(TrashLog::read().entries.isEmpty());
}

void TestTrashService::refusesItemsOutsideTheTrash_data()
{
    QTest::addColumn<QString>("victim");
    QTest::addColumn<bool>("firstInTrash");
    QTest::newRow("a file in the home") << QStringLiteral("$H/precious.bin") << false;
    QTest::newRow("after a real item") << QStringLiteral("$H/precious.bin") << true;
    QTest::newRow("escaping with dot-dot")
        << QStringLiteral("$T/files/../../../../precious.bin") << false;
    QTest::newRow("inside a trashed folder") << QStringLiteral("$T/files/dir/inner.bin") << false;
    QTest::newRow("the files folder") << QStringLiteral("$T/files") << false;
    QTest::newRow("dot-dot item") << QStringLiteral("$T/files/..") << false;
    QTest::newRow("an info file") << QStringLiteral("$T/info/dir.trashinfo") << false;
    QTest::newRow("a fake top trash") << QStringLiteral("$H/.Trash-0/files/precious.bin") << false;
}

void TestTrashService::refusesItemsOutsideTheTrash()
{
    QFETCH(QString, victim);
    QFETCH(bool, firstInTrash);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("precious.bin=P"),
                                             QStringLiteral(".Trash-0/files/precious.bin=P")}));
    QVERIFY(Fixtures::makeTree(homeTrash(), {QStringLiteral("files/dir/inner.bin=I"),
                                             QStringLiteral("info/dir.trashinfo=I"),
                                             QStringLiteral("files/real.bin=R")}));
    victim.replace(QStringLiteral("$H"), home.path()).replace(QStringLiteral("$T"), homeTrash());
    const QString real = homeTrashFiles() + QStringLiteral("/real.bin");
    QStringList trashed{victim};
    if (firstInTrash)
        trashed.prepend(real);
    QStringList originals;
    for (qsizetype i = 0; i < trashed.size(); ++i)
        originals << home.file(QStringLiteral("restored-") + QString::number(i));
    QVERIFY(writeLog(logOf({logEntry(QStringLiteral("evil"), originals, trashed, 1)})));
    QCOMPARE(restoreError(QStringLiteral("x")), QStringLiteral("Trash entry not found"));
    const QByteArray everything = digestOf(home.root()); // the lock file is there now
    const QString refusal =
        QStringLiteral("Refusing to touch ") + victim + QStringLiteral(": it is not in the Trash");

    QCOMPARE(restoreError(QStringLiteral("evil")), refusal);
    QCOMPARE(deleteError(QStringLiteral("evil")), refusal);

    QCOMPARE(digestOf(home.root()), everything); // nothing moved, deleted or rewritten
}

void TestTrashService::refusesAnUnreachableDrive()
{
    TestHome home;
    const QString item = QStringLiteral("/no-such-drive-brimvale/.Trash-0/files/m.bin");
    const TrashEntry real = trashedFile(home, QStringLiteral("real.bin"), "r");
    QVERIFY(writeLog(logOf({logEntry(QStringLiteral("away"),
                                     {home.file(QStringLiteral("m.bin")), real.originalPaths[0]},
                                     {real.trashedPaths[0], item}, 1)})));
    const QByteArray log = rawLog();
    const QString expected =
        QStringLiteral("Cannot reach ") + item + QStringLiteral(": its drive is not connected");
    QCOMPARE(restoreError(QStringLiteral("away")), expected);
    QCOMPARE(deleteError(QStringLiteral("away")), expected);
    QCOMPARE(rawLog(), log);
    QVERIFY(PosixIO::lexists(real.trashedPaths[0]));
}

void TestTrashService::deletesForGood()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("keep/precious.bin=P"),
                                             QStringLiteral("m/dir/w.bin=W"),
                                             QStringLiteral("m/dir/toKeep->../../keep"),
                                             QStringLiteral("m/manifest->../keep/precious.bin")}));
    const QByteArray kept = digestOf(home.file(QStringLiteral("keep")));
    const TrashEntry record =
        *TrashService::moveToTrash(
             model(QStringLiteral("m"),
                   {home.file(QStringLiteral("m/manifest")), home.file(QStringLiteral("m/dir"))}))
             .entry;
    const TrashEntry other = trashedFile(home, QStringLiteral("other.bin"), "o");

    TrashService::deletePermanently(record.id);

    for (const QString& item : record.trashedPaths)
        QVERIFY(!PosixIO::lexists(item));
    QCOMPARE(digestOf(home.file(QStringLiteral("keep"))), kept);
    QCOMPARE(namesIn(homeTrashFiles()), QStringList{QStringLiteral("other.bin")});
    QCOMPARE(namesIn(homeTrashInfo()), QStringList{QStringLiteral("other.bin.trashinfo")});
    QCOMPARE(TrashLog::read().entries, QList<TrashEntry>{other});
}

void TestTrashService::deleteSkipsEmptyAndMissingItems()
{
    TestHome home;
    const TrashEntry real = trashedFile(home, QStringLiteral("real.bin"), "r");
    const QString f = homeTrashFiles() + u'/';
    QVERIFY(writeLog(
        logOf({logEntry(QStringLiteral("sparse"),
                        {QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")},
                        {QString(), f + QStringLiteral("missing"), real.trashedPaths[0]}, 1)})));
    TrashService::deletePermanently(QStringLiteral("sparse"));
    QVERIFY(!PosixIO::lexists(real.trashedPaths[0]));
    QVERIFY(TrashLog::read().entries.isEmpty());
}

void TestTrashService::deleteStopsAtTheFirstFailure()
{
    if (::getuid() != 0)
        QSKIP("needs root to act as another user");
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("m/model/locked/inner.bin=x")}));
    const TrashEntry record =
        *TrashService::moveToTrash(
             model(QStringLiteral("m"), {home.file(QStringLiteral("m/model"))}))
             .entry;
    // Everything is the unprivileged user's but one folder inside the item, which stays root's.
    home.openToEveryone();
    QVERIFY(chownTree(home.path(), 65534));
    QVERIFY(
        ::lchown(QFile::encodeName(record.trashedPaths[0] + QStringLiteral("/locked")).constData(),
                 0, 0) == 0);
    const QString expected = QStringLiteral("Cannot delete ") + record.trashedPaths[0] +
                             QStringLiteral(": Permission denied");

    QVERIFY(Fixtures::runUnprivileged([&] { return deleteError(record.id) == expected; }));

    // The record left the log before anything was deleted; what remains is staged.
    QVERIFY(TrashLog::read().entries.isEmpty());
    const QString staged = TrashStaging::stagedPathOf(record.trashedPaths[0]);
    QVERIFY(PosixIO::lexists(staged + QStringLiteral("/locked/inner.bin")));
    // The next deletion finishes it off, with its .trashinfo.
    QCOMPARE(deleteError(QStringLiteral("no-such-id")), QStringLiteral("Trash entry not found"));
    QVERIFY(!PosixIO::lexists(staged));
    QCOMPARE(namesIn(homeTrashInfo()), QStringList());
}

void TestTrashService::deleteNeverEntersAnotherMount_data()
{
    QTest::addColumn<bool>("bind");
    QTest::newRow("another file system") << false;
    QTest::newRow("a bind mount of the same drive") << true;
}

void TestTrashService::deleteNeverEntersAnotherMount()
{
    QFETCH(bool, bind);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("m/model/w.bin=w"), QStringLiteral("m/model/mnt/"),
                                QStringLiteral("elsewhere/precious.bin=p")}));
    const TrashEntry record =
        *TrashService::moveToTrash(
             model(QStringLiteral("m"), {home.file(QStringLiteral("m/model"))}))
             .entry;
    const QByteArray mountPoint =
        QFile::encodeName(record.trashedPaths[0] + QStringLiteral("/mnt"));
    const QByteArray source = QFile::encodeName(home.file(QStringLiteral("elsewhere")));
    const QString expected = QStringLiteral("Cannot delete ") + record.trashedPaths[0] +
                             QStringLiteral(": Invalid cross-device link");

    const int status = inOwnMountNamespace([&] {
        const int mounted =
            bind ? ::mount(source.constData(), mountPoint.constData(), nullptr, MS_BIND, nullptr)
                 : ::mount("none", mountPoint.constData(), "tmpfs", 0, nullptr);
        if (mounted != 0)
            return 77;
        if (!bind && !Fixtures::writeFile(
                         QFile::decodeName(mountPoint) + QStringLiteral("/precious.bin"), "p"))
            return 3;
        if (deleteError(record.id) != expected)
            return 1;
        // The staged item still holds the mount, with its content.
        return PosixIO::lexists(TrashStaging::stagedPathOf(record.trashedPaths[0]) +
                                QStringLiteral("/mnt/precious.bin"))
                   ? 0
                   : 2;
    });
    if (status == 77)
        QSKIP("mounting in a private mount namespace is not permitted here");
    QCOMPARE(status, 0);
    QVERIFY(PosixIO::lexists(home.file(QStringLiteral("elsewhere/precious.bin"))));
}

void TestTrashService::unknownIdsAreNotFound()
{
    TestHome home;
    const TrashEntry record = trashedFile(home, QStringLiteral("m.bin"), "x");
    const QByteArray log = rawLog();
    for (const QString& id :
         QStringList{QString(), record.id.toUpper(), record.id.chopped(1), record.id + u' '}) {
        QCOMPARE(restoreError(id), QStringLiteral("Trash entry not found"));
        QCOMPARE(deleteError(id), QStringLiteral("Trash entry not found"));
    }
    QCOMPARE(rawLog(), log);
}

void TestTrashService::sweepSettlesLeftovers()
{
    TestHome home;
    const TrashEntry named = trashedFile(home, QStringLiteral("named.bin"), "n");
    const TrashEntry orphan = trashedFile(home, QStringLiteral("orphan.bin"), "o");
    const TrashEntry twin = trashedFile(home, QStringLiteral("twin.bin"), "t");
    const QByteArray namedDigest = digestOf(named.trashedPaths[0]);
    // As a killed deletion leaves them: items staged; only `named` still has a record.
    for (const TrashEntry& entry : {named, orphan, twin})
        QVERIFY(QFile::rename(entry.trashedPaths[0],
                              TrashStaging::stagedPathOf(entry.trashedPaths[0])));
    // Another item took the twin's name meanwhile: its .trashinfo must stay.
    QVERIFY(Fixtures::writeFile(twin.trashedPaths[0], "someone else's"));
    QVERIFY(writeLog(logOf({QJsonDocument(named.toJson()).toJson()})));
    QVERIFY(TrashService::entries().isEmpty()); // its item is staged away

    QCOMPARE(deleteError(QStringLiteral("no-such-id")), QStringLiteral("Trash entry not found"));

    QCOMPARE(namesIn(homeTrashFiles()),
             (QStringList{QStringLiteral("named.bin"), QStringLiteral("twin.bin")}));
    QCOMPARE(digestOf(named.trashedPaths[0]), namedDigest);
    QCOMPARE(namesIn(homeTrashInfo()), (QStringList{QStringLiteral("named.bin.trashinfo"),
                                                    QStringLiteral("twin.bin.trashinfo")}));
    QCOMPARE(ids(TrashService::entries()), QStringList{named.id});
}

void TestTrashService::sweepIgnoresFoldersOutsideTheTrash()
{
    TestHome home;
    // A record points into a folder that is no Trash; a look-alike leftover there is not touched.
    const QString staged = home.file(QStringLiteral("models/.brimvale-deleting-m.bin"));
    QVERIFY(Fixtures::writeFile(staged, "mine"));
    QVERIFY(writeLog(logOf({logEntry(QStringLiteral("odd"), {QStringLiteral("/x")},
                                     {home.file(QStringLiteral("models/other.bin"))}, 1)})));
    QCOMPARE(restoreError(QStringLiteral("no-such-id")), QStringLiteral("Trash entry not found"));
    QVERIFY(PosixIO::lexists(staged));
}

void TestTrashService::threadsNeverLoseRecords()
{
    TestHome home;
    constexpr int kThreads = 6;
    constexpr int kEach = 8;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kEach; ++i)
            QVERIFY(
                Fixtures::writeFile(home.file(QStringLiteral("t%1/m%2.bin").arg(t).arg(i)), "x"));
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&home, t] {
            for (int i = 0; i < kEach; ++i)
                (void)TrashService::moveToTrash(model(
                    QStringLiteral("m"), {home.file(QStringLiteral("t%1/m%2.bin").arg(t).arg(i))}));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(TrashLog::read().entries.size(), kThreads * kEach);
    QCOMPARE(namesIn(homeTrashFiles()).size(), kThreads * kEach);
}

QTEST_GUILESS_MAIN(TestTrashService)
#include "tst_trashservice.moc"

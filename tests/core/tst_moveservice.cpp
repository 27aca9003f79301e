// MoveService within one filesystem: every refusal of a plan at its trigger and in its order,
// the items checked again under the move lock, symlinks, and the failures a move reports.
#include "Fixtures.h"
#include "MoveTestSupport.h"
#include "TestHome.h"
#include "fs/FileLock.h"
#include "model/BrimvaleError.h"
#include "services/MoveService.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

ModelEntry entryWith(const QStringList& paths)
{
    ModelEntry entry;
    entry.id = QStringLiteral("test-") + paths.value(0);
    entry.name = paths.value(0);
    entry.primaryPath = paths.value(0);
    entry.allPaths = paths;
    return entry;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

using MoveTestSupport::linkTarget;

class MoveServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void validatePlanRefuses_data();
    void validatePlanRefuses();
    void validatePlanAccepts_data();
    void validatePlanAccepts();
    void movesAndLinks_data();
    void movesAndLinks();
    void refusedPlanMovesNothing();
    void itemCheckedAgainUnderTheLock_data();
    void itemCheckedAgainUnderTheLock();
    void failedSymlinkStillCountsAsMoved();
    void readOnlyDestination();
    void waitsForTheMoveLock();
};

void MoveServiceTest::validatePlanRefuses_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("message");

    const QStringList base{QStringLiteral("dest/"),          QStringLiteral("a/model.gguf=A"),
                           QStringLiteral("b/model.gguf=B"), QStringLiteral("c/other.bin=C"),
                           QStringLiteral("models/backup/"), QStringLiteral("models/m.bin=M"),
                           QStringLiteral("file.txt=x")};
    QTest::newRow("destination missing")
        << base << QStringList{QStringLiteral("a/model.gguf")} << QStringLiteral("nowhere")
        << QStringLiteral("Destination must be an existing folder");
    QTest::newRow("destination is a file")
        << base << QStringList{QStringLiteral("a/model.gguf")} << QStringLiteral("file.txt")
        << QStringLiteral("Destination must be an existing folder");
    QTest::newRow("destination is a dangling link")
        << (base + QStringList{QStringLiteral("gone->nowhere")})
        << QStringList{QStringLiteral("a/model.gguf")} << QStringLiteral("gone")
        << QStringLiteral("Destination must be an existing folder");
    QTest::newRow("item is a symlink, after a good item")
        << (base + QStringList{QStringLiteral("l/model.gguf->../a/model.gguf")})
        << QStringList{QStringLiteral("c/other.bin"), QStringLiteral("l/model.gguf")}
        << QStringLiteral("dest")
        << QStringLiteral("model.gguf is already a symlink — it may have been moved before.");
    QTest::newRow("two items of one name")
        << base << QStringList{QStringLiteral("a/model.gguf"), QStringLiteral("b/model.gguf")}
        << QStringLiteral("dest")
        << QStringLiteral("The destination would contain multiple items named model.gguf");
    QTest::newRow("name taken at the destination")
        << (base + QStringList{QStringLiteral("dest/other.bin=old")})
        << QStringList{QStringLiteral("c/other.bin")} << QStringLiteral("dest")
        << QStringLiteral("other.bin already exists in dest");
    QTest::newRow("name taken by a dangling link")
        << (base + QStringList{QStringLiteral("dest/other.bin->missing")})
        << QStringList{QStringLiteral("c/other.bin")} << QStringLiteral("dest")
        << QStringLiteral("other.bin already exists in dest");
    QTest::newRow("folder named after the resolved destination")
        << (base + QStringList{QStringLiteral("real/other.bin=old"), QStringLiteral("alias->real")})
        << QStringList{QStringLiteral("c/other.bin")} << QStringLiteral("alias")
        << QStringLiteral("other.bin already exists in real");
    QTest::newRow("item is the destination")
        << base << QStringList{QStringLiteral("models")} << QStringLiteral("models")
        << QStringLiteral("Source and destination cannot be the same folder");
    QTest::newRow("item is the destination through a link")
        << (base + QStringList{QStringLiteral("alias->models")})
        << QStringList{QStringLiteral("models")} << QStringLiteral("alias")
        << QStringLiteral("Source and destination cannot be the same folder");
    QTest::newRow("destination inside the item")
        << base << QStringList{QStringLiteral("models")} << QStringLiteral("models/backup")
        << QStringLiteral("The destination cannot be inside models");
    QTest::newRow("nothing left to move")
        << base << QStringList{QStringLiteral("a/gone.gguf"), QStringLiteral("b/gone.bin")}
        << QStringLiteral("dest") << QStringLiteral("No model files were found to move");
    QTest::newRow("no paths") << base << QStringList{} << QStringLiteral("dest")
                              << QStringLiteral("No model files were found to move");
    QTest::newRow("first broken rule wins: name taken before a symlink")
        << (base + QStringList{QStringLiteral("dest/other.bin=old"),
                               QStringLiteral("l/model.gguf->../a/model.gguf")})
        << QStringList{QStringLiteral("c/other.bin"), QStringLiteral("l/model.gguf")}
        << QStringLiteral("dest") << QStringLiteral("other.bin already exists in dest");
    QTest::newRow("symlink checked before the name")
        << (base + QStringList{QStringLiteral("dest/model.gguf=old"),
                               QStringLiteral("l/model.gguf->../a/model.gguf")})
        << QStringList{QStringLiteral("l/model.gguf")} << QStringLiteral("dest")
        << QStringLiteral("model.gguf is already a symlink — it may have been moved before.");
}

void MoveServiceTest::validatePlanRefuses()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, paths);
    QFETCH(QString, destination);
    QFETCH(QString, message);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), tree));
    QStringList absolute;
    for (const QString& path : paths)
        absolute.push_back(home.file(path));

    QString thrown;
    try {
        (void)MoveService::validatePlan(absolute, home.file(destination));
    } catch (const BrimvaleError& error) {
        thrown = error.message();
    }
    QCOMPARE(thrown, message);

    // move reports the same refusal and touches nothing.
    const MoveOutcome outcome =
        MoveService::move({entryWith(absolute)}, home.file(destination), true);
    QCOMPARE(outcome, (MoveOutcome{{}, {}, message}));
    QVERIFY(!outcome.succeeded());
    QCOMPARE(contentOf(home.file(QStringLiteral("a/model.gguf"))), QByteArray("A"));
    QCOMPARE(contentOf(home.file(QStringLiteral("c/other.bin"))), QByteArray("C"));
    QCOMPARE(contentOf(home.file(QStringLiteral("models/m.bin"))), QByteArray("M"));
}

void MoveServiceTest::validatePlanAccepts_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("sibling folder with a longer name")
        << QStringList{QStringLiteral("models")} << QStringLiteral("models2")
        << QStringList{QStringLiteral("models")};
    QTest::newRow("one path twice")
        << QStringList{QStringLiteral("a/model.gguf"), QStringLiteral("a/model.gguf")}
        << QStringLiteral("dest") << QStringList{QStringLiteral("a/model.gguf")};
    QTest::newRow("two paths to one item, kept as given")
        << QStringList{QStringLiteral("alias/model.gguf"), QStringLiteral("a/model.gguf")}
        << QStringLiteral("dest") << QStringList{QStringLiteral("alias/model.gguf")};
    QTest::newRow("vanished paths dropped")
        << QStringList{QStringLiteral("a/gone.bin"), QStringLiteral("models")}
        << QStringLiteral("dest") << QStringList{QStringLiteral("models")};
    QTest::newRow("destination through a link")
        << QStringList{QStringLiteral("a/model.gguf")} << QStringLiteral("destlink")
        << QStringList{QStringLiteral("a/model.gguf")};
}

void MoveServiceTest::validatePlanAccepts()
{
    QFETCH(QStringList, paths);
    QFETCH(QString, destination);
    QFETCH(QStringList, expected);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("dest/"), QStringLiteral("models2/"),
                                QStringLiteral("a/model.gguf=A"), QStringLiteral("models/m.bin=M"),
                                QStringLiteral("alias->a"), QStringLiteral("destlink->dest")}));
    QStringList absolute;
    for (const QString& path : paths)
        absolute.push_back(home.file(path));
    QStringList expectedAbsolute;
    for (const QString& path : expected)
        expectedAbsolute.push_back(home.file(path));
    QCOMPARE(MoveService::validatePlan(absolute, home.file(destination)), expectedAbsolute);
}

void MoveServiceTest::movesAndLinks_data()
{
    QTest::addColumn<bool>("createSymlinks");
    QTest::addColumn<QString>("destination"); // as the caller passes it
    QTest::newRow("with symlinks") << true << QStringLiteral("dest");
    QTest::newRow("without symlinks") << false << QStringLiteral("dest");
    QTest::newRow("destination with a trailing slash") << true << QStringLiteral("dest/");
}

void MoveServiceTest::movesAndLinks()
{
    QFETCH(bool, createSymlinks);
    QFETCH(QString, destination);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("dest/"), QStringLiteral("a/one.gguf=1"),
                                QStringLiteral("b/two.bin=2"), QStringLiteral("pkg/blobs/x=3"),
                                QStringLiteral("pkg/empty/"), QStringLiteral("pkg/ref->blobs/x")}));
    const QString one = home.file(QStringLiteral("a/one.gguf"));
    const QString two = home.file(QStringLiteral("b/two.bin"));
    const QString pkg = home.file(QStringLiteral("pkg"));
    const QString to = home.file(destination);
    const MoveOutcome outcome =
        MoveService::move({entryWith({one, two}), entryWith({pkg})}, to, createSymlinks);

    const QString dest = home.file(QStringLiteral("dest"));
    const QStringList expectedNew{dest + QStringLiteral("/one.gguf"),
                                  dest + QStringLiteral("/two.bin"), dest + QStringLiteral("/pkg")};
    QCOMPARE(outcome.movedTo, expectedNew);
    QCOMPARE(outcome.error, std::nullopt);
    QVERIFY(outcome.succeeded());
    QCOMPARE(contentOf(expectedNew[0]), QByteArray("1"));
    QCOMPARE(contentOf(expectedNew[2] + QStringLiteral("/ref")), QByteArray("3"));
    QVERIFY(QFileInfo(expectedNew[2] + QStringLiteral("/empty")).isDir());
    if (createSymlinks) {
        QCOMPARE(outcome.symlinksCreated, (QStringList{one, two, pkg}));
        QCOMPARE(linkTarget(one), expectedNew[0]);
        QCOMPARE(linkTarget(pkg), expectedNew[2]);
        QCOMPARE(contentOf(one), QByteArray("1")); // the tools still find it
    } else {
        QVERIFY(outcome.symlinksCreated.isEmpty());
        QVERIFY(!QFileInfo::exists(one) && !Fixtures::isSymlink(one));
    }
    QVERIFY(QFile::exists(home.path() + QStringLiteral("/.brimvale/move.lock")));
}

void MoveServiceTest::refusedPlanMovesNothing()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("dest/"), QStringLiteral("a/ok.bin=1"),
                                             QStringLiteral("b/old.bin->../a/ok.bin")}));
    const QString ok = home.file(QStringLiteral("a/ok.bin"));
    const MoveOutcome outcome =
        MoveService::move({entryWith({ok}), entryWith({home.file(QStringLiteral("b/old.bin"))})},
                          home.file(QStringLiteral("dest")), true);
    QCOMPARE(outcome.error,
             QStringLiteral("old.bin is already a symlink — it may have been moved before."));
    QVERIFY(outcome.movedTo.isEmpty());
    QCOMPARE(contentOf(ok), QByteArray("1"));
    QVERIFY(!Fixtures::isSymlink(ok));
}

void MoveServiceTest::itemCheckedAgainUnderTheLock_data()
{
    QTest::addColumn<QString>("change"); // done to the second item while the first one moves
    QTest::addColumn<QString>("description");
    QTest::newRow("item removed") << QStringLiteral("remove")
                                  << QStringLiteral("No such file or directory");
    QTest::newRow("item replaced by a symlink")
        << QStringLiteral("symlink") << QStringLiteral("Already a symlink");
    QTest::newRow("name taken at the destination")
        << QStringLiteral("occupy") << QStringLiteral("File exists");
}

void MoveServiceTest::itemCheckedAgainUnderTheLock()
{
    QFETCH(QString, change);
    QFETCH(QString, description);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("dest/"), QStringLiteral("a/one.bin=1"),
                                QStringLiteral("b/two.bin=2"), QStringLiteral("c/three.bin=3")}));
    const QString one = home.file(QStringLiteral("a/one.bin"));
    const QString two = home.file(QStringLiteral("b/two.bin"));
    const QString three = home.file(QStringLiteral("c/three.bin"));
    const QString dest = home.file(QStringLiteral("dest"));
    MoveProgress progress;
    bool changed = false;
    progress.stage = [&](const QString& path, MoveStage) {
        if (path != one || changed)
            return;
        changed = true;
        if (change == QStringLiteral("remove")) {
            QFile::remove(two);
        } else if (change == QStringLiteral("symlink")) {
            QFile::rename(two, two + QStringLiteral(".real"));
            QFile::link(two + QStringLiteral(".real"), two);
        } else {
            Fixtures::writeFile(dest + QStringLiteral("/two.bin"), "other");
        }
    };
    const MoveOutcome outcome = MoveService::move(
        {entryWith({one}), entryWith({two}), entryWith({three})}, dest, true, progress);
    QCOMPARE(outcome.movedTo,
             (QStringList{dest + QStringLiteral("/one.bin"), dest + QStringLiteral("/three.bin")}));
    QCOMPARE(outcome.symlinksCreated, (QStringList{one, three}));
    QCOMPARE(outcome.error,
             QStringLiteral("Could not move ") + two + QStringLiteral(": ") + description);
    if (change == QStringLiteral("occupy"))
        QCOMPARE(contentOf(dest + QStringLiteral("/two.bin")), QByteArray("other"));
    if (change == QStringLiteral("symlink"))
        QCOMPARE(contentOf(two), QByteArray("2"));
}

void MoveServiceTest::failedSymlinkStillCountsAsMoved()
{
    // A symlink's target may not exceed 4095 bytes, while the move itself goes through open
    // folders: a deep destination lets the move succeed and the link fail.
    TestHome home;
    QString dest = home.file(QStringLiteral("d"));
    while (dest.size() < 3790)
        dest += u'/' + QString(200, u'x');
    if (dest.size() < 3989)
        dest += u'/' + QString(3989 - dest.size(), u'y'); // about 3990 bytes in all
    QVERIFY(QDir().mkpath(dest));
    const QString name = QString(240, u'm') + QStringLiteral(".bin");
    const QString item = home.file(QStringLiteral("a/") + name);
    QVERIFY(Fixtures::writeFile(item, "payload"));
    const MoveOutcome outcome = MoveService::move({entryWith({item})}, dest, true);
    QCOMPARE(outcome.movedTo, QStringList{dest + u'/' + name});
    QVERIFY(outcome.symlinksCreated.isEmpty());
    QCOMPARE(outcome.error, QStringLiteral("Moved, but the symlink at ") + item +
                                QStringLiteral(" failed: File name too long"));
    QVERIFY(!outcome.succeeded());
    QVERIFY(!QFileInfo::exists(item) && !Fixtures::isSymlink(item));
    // The moved file's full path is too long for path-based clean-up.
    const int folder = ::open(QFile::encodeName(dest).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(folder >= 0);
    QCOMPARE(::unlinkat(folder, QFile::encodeName(name).constData(), 0), 0);
    ::close(folder);
}

void MoveServiceTest::readOnlyDestination()
{
    TestHome home;
    QVERIFY(MoveTestSupport::openMoveLockToEveryone(home));
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("readonly/"), QStringLiteral("a/m.bin=1")}));
    const QString item = home.file(QStringLiteral("a/m.bin"));
    const QString dest = home.file(QStringLiteral("readonly"));
    ::chmod(QFile::encodeName(home.file(QStringLiteral("a"))).constData(), 0777);
    ::chmod(QFile::encodeName(dest).constData(), 0755); // owned by root: read-only for the child
    const bool ok = Fixtures::runUnprivileged([&] {
        const MoveOutcome outcome = MoveService::move({entryWith({item})}, dest, true);
        return outcome.movedTo.isEmpty() && outcome.symlinksCreated.isEmpty() &&
               outcome.error ==
                   QStringLiteral("Could not move ") + item + QStringLiteral(": Permission denied");
    });
    QVERIFY(ok);
    QCOMPARE(contentOf(item), QByteArray("1"));
    QVERIFY(QDir(dest).isEmpty());
}

void MoveServiceTest::waitsForTheMoveLock()
{
    TestHome home;
    QVERIFY(
        Fixtures::makeTree(home.path(), {QStringLiteral("dest/"), QStringLiteral("a/m.bin=1")}));
    const QString item = home.file(QStringLiteral("a/m.bin"));
    std::optional<FileLock> held;
    held.emplace(FileLock::inDataDir(QStringLiteral("move")));
    std::atomic<bool> done = false;
    MoveOutcome outcome;
    std::thread mover([&] {
        outcome = MoveService::move({entryWith({item})}, home.file(QStringLiteral("dest")), true);
        done = true;
    });
    QTest::qWait(200);
    const bool movedWhileHeld = done || !QFileInfo::exists(item);
    held.reset();
    mover.join();
    QVERIFY(!movedWhileHeld);
    QVERIFY(outcome.succeeded());
    QCOMPARE(contentOf(home.file(QStringLiteral("dest/m.bin"))), QByteArray("1"));
}

QTEST_GUILESS_MAIN(MoveServiceTest)
#include "tst_moveservice.moc"

// MoveService across filesystems (the temporary home and /dev/shm): what the copy carries over,
// what makes an item fail with its source whole and no copy left, a stop, long names, the
// failures once the copy is in place, and rights and limits (checked in an unprivileged or
// limited child, since permission bits stop nothing for root).
#include "MoveTestSupport.h"
#include "services/ItemMover.h"
#include "services/MoveService.h"

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>

using namespace MoveTestSupport;

namespace {

bool makeFolderWithEverything(const QString& pkg)
{
    bool ok = Fixtures::makeTree(
        pkg, {QStringLiteral("blobs/sha-1=first blob"), QStringLiteral("blobs/sha-2=second blob"),
              QStringLiteral("empty/"), QStringLiteral("deep/er/est/"),
              QStringLiteral("snap/main/model.bin->../../blobs/sha-1"),
              QStringLiteral("absolute->/etc/hostname"), QStringLiteral("dangling->nowhere"),
              QStringLiteral("ro/inside.txt=locked in"), QStringLiteral("private.key=secret")});
    ok = ok &&
         Fixtures::writeFile(pkg + QStringLiteral("/big.bin"), Fixtures::headBytes(7, 3'500'000));
    ok = ok && Fixtures::makeSparseFile(pkg + QStringLiteral("/sparse.gguf"), 60'000'000,
                                        Fixtures::headBytes(3));
    // A name that is not UTF-8 (Latin-1 "café.bin").
    const QByteArray latin1 = QFile::encodeName(pkg) + "/caf\xe9.bin";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ok = ok && fd >= 0 && ::write(fd, "latin", 5) == 5 && ::close(fd) == 0;
    ok = ok &&
         ::chmod(QFile::encodeName(pkg + QStringLiteral("/private.key")).constData(), 0600) == 0;
    ok = ok && Fixtures::setModified(pkg + QStringLiteral("/blobs/sha-1"), 1'600'000'000);
    ok = ok && Fixtures::setModified(pkg + QStringLiteral("/snap/main/model.bin"), 1'500'000'000);
    ok = ok && Fixtures::setModified(pkg + QStringLiteral("/empty"), 1'400'000'000);
    ok = ok && ::chmod(QFile::encodeName(pkg + QStringLiteral("/ro")).constData(), 0555) == 0;
    return ok;
}

bool chmodAll(const QStringList& paths, mode_t mode)
{
    for (const QString& path : paths)
        if (::chmod(QFile::encodeName(path).constData(), mode) != 0)
            return false;
    return true;
}

} // namespace

class MoveCrossFsTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void copiesEverything_data();
    void copiesEverything();
    void itemFailsWithSourceWhole_data();
    void itemFailsWithSourceWhole();
    void stopEndsTheMove_data();
    void stopEndsTheMove();
    void staleCopyIsReplaced_data();
    void staleCopyIsReplaced();
    void failedSymlink_data();
    void failedSymlink();
    void failedRemovalOfTheSource();
    void fullDestination();
    void readOnlyDestination_data();
    void readOnlyDestination();
    void readOnlyFolderMovedByItsOwner();
};

void MoveCrossFsTest::copiesEverything_data()
{
    QTest::addColumn<bool>("folder");
    QTest::newRow("folder") << true;
    QTest::newRow("file") << false;
}

void MoveCrossFsTest::copiesEverything()
{
    QFETCH(bool, folder);
    const QString item = m_source + (folder ? QStringLiteral("/pkg") : QStringLiteral("/m.gguf"));
    if (folder) {
        QVERIFY(makeFolderWithEverything(item));
    } else {
        QVERIFY(Fixtures::writeFile(item, Fixtures::headBytes(9, 2'500'000)));
        QVERIFY(chmodAll({item}, 0640));
        QVERIFY(Fixtures::setModified(item, 1'234'567'890));
    }
    const Tree before = treeOf(item);
    qint64 lastCopied = 0;
    bool increasing = true;
    MoveProgress progress;
    progress.copied = [&](qint64 bytes) {
        increasing = increasing && bytes > lastCopied;
        lastCopied = bytes;
    };

    const MoveOutcome outcome = MoveService::move({entryWith({item})}, m_second, true, progress);
    const QString moved = m_second + item.mid(m_source.size());
    QCOMPARE(outcome, outcomeOf({{item, moved, true}}));
    QCOMPARE(linkTarget(item), moved);
    QVERIFY(treeOf(moved) == before);
    QVERIFY(increasing);
    QVERIFY(lastCopied >= 2'500'000);
    QCOMPARE(namesIn(m_second), QStringList{moved.mid(m_second.size() + 1)});
    QCOMPARE(namesIn(m_source), QStringList{item.mid(m_source.size() + 1)}); // just the link
    struct stat st
    {
    };
    if (folder &&
        ::stat(QFile::encodeName(moved + QStringLiteral("/sparse.gguf")).constData(), &st) == 0)
        QVERIFY2(st.st_blocks * 512 < 10'000'000, "holes were written out");
}

void MoveCrossFsTest::itemFailsWithSourceWhole_data()
{
    QTest::addColumn<bool>("folder"); // the item is a folder holding big.bin, else big.bin
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("description");
    const QString special = QStringLiteral("Not a file, folder or symlink: pkg/sub/odd");
    QTest::newRow("FIFO inside") << true << QStringLiteral("fifo") << special;
    QTest::newRow("device inside") << true << QStringLiteral("device") << special;
    for (const bool folder : {true, false}) {
        const QString changed =
            QStringLiteral("Changed while being copied: ") +
            (folder ? QStringLiteral("pkg/big.bin") : QStringLiteral("big.bin"));
        for (const char* change : {"grows", "shrinks", "rewritten", "changed after verification"})
            QTest::addRow("%s: %s", folder ? "file in a folder" : "file", change)
                << folder << QString::fromLatin1(change) << changed;
    }
    QTest::newRow("set-aside name taken")
        << true << QStringLiteral("aside") << QStringLiteral("File exists");
}

void MoveCrossFsTest::itemFailsWithSourceWhole()
{
    QFETCH(bool, folder);
    QFETCH(QString, change);
    QFETCH(QString, description);
    const QString item = m_source + (folder ? QStringLiteral("/pkg") : QStringLiteral("/big.bin"));
    const QString file = folder ? item + QStringLiteral("/big.bin") : item;
    QVERIFY(Fixtures::writeFile(file, Fixtures::headBytes(5, 4'000'000)));
    if (folder)
        QVERIFY(Fixtures::makeTree(item, {QStringLiteral("small.txt=s"), QStringLiteral("sub/")}));
    const QByteArray special = QFile::encodeName(item + QStringLiteral("/sub/odd"));
    if (change == QStringLiteral("fifo"))
        QCOMPARE(::mkfifo(special.constData(), 0644), 0);
    if (change == QStringLiteral("device") &&
        ::mknod(special.constData(), S_IFCHR | 0644, makedev(1, 3)) != 0)
        QSKIP("Device files cannot be made here");
    if (change == QStringLiteral("aside"))
        QVERIFY(Fixtures::makeTree(m_source, {QStringLiteral(".brimvale-moved-pkg/old.bin=old")}));
    const Tree before = treeOf(m_source);

    bool changed = false;
    const auto alter = [&](bool afterVerification) {
        if (changed || !description.startsWith(QStringLiteral("Changed")) ||
            afterVerification != change.startsWith(QStringLiteral("changed")))
            return;
        changed = true;
        QFile target(file);
        QVERIFY(target.open(QIODevice::ReadWrite));
        if (change == QStringLiteral("shrinks"))
            QVERIFY(target.resize(1000));
        QVERIFY(target.seek(change == QStringLiteral("rewritten") ? 3'000'000 : target.size()));
        target.write("more");
    };
    MoveProgress progress;
    progress.copied = [&](qint64) { alter(false); };
    progress.stage = [&](const QString&, MoveStage stage) {
        if (stage == MoveStage::settingAside)
            alter(true);
    };
    const MoveOutcome outcome = MoveService::move({entryWith({item})}, m_second, true, progress);
    QCOMPARE(outcome, outcomeOf({}, QStringLiteral("Could not move ") + item +
                                        QStringLiteral(": ") + description));
    QVERIFY(namesIn(m_second).isEmpty());
    if (changed) { // the source is back under its name with the change
        QCOMPARE(namesIn(m_source), QStringList{item.mid(m_source.size() + 1)});
        QVERIFY(!Fixtures::isSymlink(item) && QFileInfo(file).isFile());
    } else {
        QVERIFY(treeOf(m_source) == before);
    }
}

void MoveCrossFsTest::stopEndsTheMove_data()
{
    QTest::addColumn<bool>("midCopy");
    QTest::newRow("in the middle of a copy") << true;
    QTest::newRow("between items") << false;
}

void MoveCrossFsTest::stopEndsTheMove()
{
    QFETCH(bool, midCopy);
    const QString pkg = m_source + QStringLiteral("/pkg");
    const QString other = m_source + QStringLiteral("/other.bin");
    QVERIFY(
        Fixtures::writeFile(pkg + QStringLiteral("/big.bin"), Fixtures::headBytes(5, 4'000'000)));
    QVERIFY(Fixtures::writeFile(other, "other"));
    const Tree pkgBefore = treeOf(pkg);
    const Tree otherBefore = treeOf(other);
    StopToken stop;
    MoveProgress progress;
    if (midCopy) // after the first block of several
        progress.copied = [&](qint64) { stop.requestStop(); };
    else
        progress.stage = [&](const QString&, MoveStage stage) {
            if (stage == MoveStage::linking)
                stop.requestStop();
        };
    const MoveOutcome outcome =
        MoveService::move({entryWith({pkg, other})}, m_second, true, progress, &stop);
    const QString moved = m_second + QStringLiteral("/pkg");
    QCOMPARE(outcome, outcomeOf(midCopy ? QList<MovedItem>{} : QList<MovedItem>{{pkg, moved, true}},
                                QStringLiteral("Stopped — the remaining items were not moved"),
                                BrimvaleError::Kind::stopped));
    QCOMPARE(namesIn(m_second), midCopy ? QStringList{} : QStringList{QStringLiteral("pkg")});
    QVERIFY(treeOf(midCopy ? pkg : moved) == pkgBefore);
    QVERIFY(treeOf(other) == otherBefore);
}

void MoveCrossFsTest::staleCopyIsReplaced_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("short name") << QStringLiteral("pkg");
    QTest::newRow("255 bytes") << QString(255, u'n');
    QTest::newRow("245 bytes, cut inside a character")
        << u'a' + QString(120, QChar(0xe9)) + QStringLiteral(".bin");
}

void MoveCrossFsTest::staleCopyIsReplaced()
{
    QFETCH(QString, name);
    const QByteArray bytes = QFile::encodeName(name);
    for (const QByteArray& prefix :
         {QByteArrayLiteral(".brimvale-partial-"), QByteArrayLiteral(".brimvale-moved-")}) {
        const QByteArray temporary = ItemMover::temporaryName(prefix, bytes);
        QVERIFY(temporary.size() <= 255);
        QCOMPARE(QString::fromUtf8(temporary).toUtf8(), temporary); // whole characters only
        QVERIFY(temporary != ItemMover::temporaryName(prefix, bytes.chopped(1) + 'y'));
    }
    const QString pkg = m_source + u'/' + name;
    QVERIFY(Fixtures::makeTree(pkg, {QStringLiteral("a.bin=fresh")}));
    const QString stale =
        m_second + u'/' +
        QFile::decodeName(ItemMover::temporaryName(QByteArrayLiteral(".brimvale-partial-"), bytes));
    const QString outside = m_home->file(QStringLiteral("outside"));
    QVERIFY(Fixtures::makeTree(outside, {QStringLiteral("keep.bin=keep")}));
    QVERIFY(Fixtures::makeTree(stale, {QStringLiteral("a.bin=half"), QStringLiteral("ro/x=1"),
                                       QStringLiteral("link->") + outside}));
    QVERIFY(chmodAll({stale + QStringLiteral("/ro")}, 0555));
    const MoveOutcome outcome = MoveService::move({entryWith({pkg})}, m_second, true);
    QCOMPARE(outcome, outcomeOf({{pkg, m_second + u'/' + name, true}}));
    QCOMPARE(namesIn(m_second), QStringList{name});
    QCOMPARE(namesIn(m_second + u'/' + name), QStringList{QStringLiteral("a.bin")});
    QCOMPARE(namesIn(outside), QStringList{QStringLiteral("keep.bin")}); // link not followed
}

void MoveCrossFsTest::failedSymlink_data()
{
    QTest::addColumn<bool>("across");
    QTest::newRow("within one filesystem") << false;
    QTest::newRow("across filesystems") << true;
}

void MoveCrossFsTest::failedSymlink()
{
    QFETCH(bool, across);
    const QString dest = across ? m_second : m_home->file(QStringLiteral("dest"));
    QVERIFY(QDir().mkpath(dest));
    const QString pkg = m_source + QStringLiteral("/pkg");
    QVERIFY(Fixtures::makeTree(pkg, {QStringLiteral("a.bin=a")}));
    MoveProgress progress;
    progress.stage = [&](const QString&, MoveStage stage) {
        if (stage == MoveStage::linking)
            QVERIFY(Fixtures::writeFile(pkg, "someone else's file"));
    };
    const QString moved = dest + QStringLiteral("/pkg");
    QCOMPARE(MoveService::move({entryWith({pkg})}, dest, true, progress),
             outcomeOf({{pkg, moved, false}}, QStringLiteral("Moved, but the symlink at ") + pkg +
                                                  QStringLiteral(" failed: File exists")));
    QCOMPARE(namesIn(moved), QStringList{QStringLiteral("a.bin")});
    QCOMPARE(namesIn(m_source), QStringList{QStringLiteral("pkg")}); // no set-aside source left
    QVERIFY(QFileInfo(pkg).isFile());
}

void MoveCrossFsTest::failedRemovalOfTheSource()
{
    // A folder with the sticky bit, owned by root with root's file inside: the unprivileged
    // mover may rename it aside but not empty it.
    QVERIFY(openMoveLockToEveryone(*m_home));
    const QString pkg = m_source + QStringLiteral("/pkg");
    QVERIFY(Fixtures::makeTree(pkg, {QStringLiteral("root.bin=root's")}));
    QVERIFY(chmodAll({m_source, m_second}, 0777) && chmodAll({pkg}, 01777));
    const QString moved = m_second + QStringLiteral("/pkg");
    const QString aside = m_source + QStringLiteral("/.brimvale-moved-pkg");
    QVERIFY(Fixtures::runUnprivileged([&] {
        return MoveService::move({entryWith({pkg})}, m_second, true) ==
               outcomeOf({{pkg, moved, true}}, QStringLiteral("Moved, but could not remove ") +
                                                   aside +
                                                   QStringLiteral(": Operation not permitted"));
    }));
    QCOMPARE(linkTarget(pkg), moved);
    QCOMPARE(namesIn(moved), QStringList{QStringLiteral("root.bin")});
    QCOMPARE(namesIn(aside), QStringList{QStringLiteral("root.bin")});
}

void MoveCrossFsTest::fullDestination()
{
    const QString item = m_source + QStringLiteral("/big.gguf");
    QVERIFY(Fixtures::writeFile(item, Fixtures::headBytes(11, 3'000'000)));
    const Tree before = treeOf(m_source);
    QVERIFY(runInChild([&] {
        // A file size limit makes every write past 1 MB fail as on a full drive.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1'000'000, 1'000'000};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
               MoveService::move({entryWith({item})}, m_second, true) ==
                   outcomeOf({}, QStringLiteral("Could not move ") + item +
                                     QStringLiteral(": File too large"));
    }));
    QVERIFY(treeOf(m_source) == before);
    QVERIFY(namesIn(m_second).isEmpty());
}

void MoveCrossFsTest::readOnlyDestination_data()
{
    QTest::addColumn<bool>("across");
    QTest::newRow("within one filesystem") << false;
    QTest::newRow("across filesystems") << true;
}

void MoveCrossFsTest::readOnlyDestination()
{
    QFETCH(bool, across);
    QVERIFY(openMoveLockToEveryone(*m_home));
    const QString dest = across ? m_second : m_home->file(QStringLiteral("readonly"));
    const QString item = m_source + QStringLiteral("/m.bin");
    QVERIFY(Fixtures::writeFile(item, "model") && QDir().mkpath(dest));
    QVERIFY(chmodAll({m_source}, 0777) && chmodAll({dest}, 0755)); // owned by root
    QVERIFY(Fixtures::runUnprivileged([&] {
        return MoveService::move({entryWith({item})}, dest, true) ==
               outcomeOf({}, QStringLiteral("Could not move ") + item +
                                 QStringLiteral(": Permission denied"));
    }));
    QCOMPARE(contentOf(item), QByteArray("model"));
    QVERIFY(namesIn(dest).isEmpty());
}

void MoveCrossFsTest::readOnlyFolderMovedByItsOwner()
{
    // A folder without write permission inside the item (as some caches make them): the owner's
    // move must still be able to delete the source afterwards.
    QVERIFY(openMoveLockToEveryone(*m_home));
    QVERIFY(chmodAll({m_source, m_second}, 0777));
    const QString pkg = m_source + QStringLiteral("/pkg");
    const QString moved = m_second + QStringLiteral("/pkg");
    QVERIFY(Fixtures::runUnprivileged([&] {
        return Fixtures::makeTree(pkg,
                                  {QStringLiteral("ro/sub/x.bin=x"), QStringLiteral("y.bin=y")}) &&
               chmodAll({pkg + QStringLiteral("/ro/sub")}, 0555) &&
               chmodAll({pkg + QStringLiteral("/ro")}, 0500) &&
               MoveService::move({entryWith({pkg})}, m_second, true) ==
                   outcomeOf({{pkg, moved, true}});
    }));
    QCOMPARE(namesIn(m_source), QStringList{QStringLiteral("pkg")});
    QCOMPARE(int(QFileInfo(moved + QStringLiteral("/ro")).permissions() & 0x7000),
             int(QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(QFileInfo::exists(moved + QStringLiteral("/ro/sub/x.bin")));
}

QTEST_GUILESS_MAIN(MoveCrossFsTest)
#include "tst_movecrossfs.moc"

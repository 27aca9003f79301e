// MoveService across filesystems (the temporary home and /dev/shm): what the copy carries over,
// what makes an item fail with its source untouched, and the failures after the copy is in place.
#include "Fixtures.h"
#include "MoveTestSupport.h"
#include "TestHome.h"
#include "services/MoveService.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QUuid>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace MoveTestSupport;

namespace {

namespace fs = std::filesystem;

struct Node
{
    char type = '?'; // f, d, l
    QByteArray digest;
    std::string target;
    unsigned mode = 0;
    qint64 modifiedNs = 0;
    friend bool operator==(const Node&, const Node&) = default;
};

using Tree = std::map<std::string, Node>;

QByteArray digestOf(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "<unreadable>";
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

Node nodeOf(const fs::path& path, bool withDirectoryTimes)
{
    struct stat st
    {
    };
    Node node;
    if (::lstat(path.c_str(), &st) != 0)
        return node;
    node.mode = st.st_mode & 07777;
    node.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    if (S_ISREG(st.st_mode)) {
        node.type = 'f';
        node.digest = digestOf(path.string());
    } else if (S_ISDIR(st.st_mode)) {
        node.type = 'd';
        if (!withDirectoryTimes)
            node.modifiedNs = 0;
    } else if (S_ISLNK(st.st_mode)) {
        node.type = 'l';
        node.target = fs::read_symlink(path).string();
        node.mode = 0;
    }
    return node;
}

// Every entry under (and including) the root by byte path, read without following links.
Tree treeOf(const QString& root)
{
    const fs::path base(QFile::encodeName(root).toStdString());
    Tree tree;
    tree[""] = nodeOf(base, true);
    if (tree[""].type == 'd') {
        for (const auto& entry : fs::recursive_directory_iterator(base))
            tree[entry.path().lexically_relative(base).string()] = nodeOf(entry.path(), true);
    }
    return tree;
}

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

} // namespace

class MoveCrossFsTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void copiesEverything_data();
    void copiesEverything();
    void unsupportedEntryFailsTheItem_data();
    void unsupportedEntryFailsTheItem();
    void changeWhileCopying_data();
    void changeWhileCopying();
    void changeAfterVerificationPutsSourceBack();
    void staleCopyIsReplaced();
    void leftoverAsideNameFailsTheItem();
    void failedSymlinkAfterCopy();
};

void MoveCrossFsTest::init()
{
    setUp();
}

void MoveCrossFsTest::cleanup()
{
    tearDown();
}

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
        QVERIFY(::chmod(QFile::encodeName(item).constData(), 0640) == 0);
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

    const MoveOutcome outcome = MoveService::move({entryWith(item)}, m_second, true, progress);
    const QString moved = m_second + item.mid(m_source.size());
    QCOMPARE(outcome, (MoveOutcome{{moved}, {item}, std::nullopt}));
    QCOMPARE(linkTarget(item), moved);
    const Tree after = treeOf(moved);
    QCOMPARE(after.size(), before.size());
    for (const auto& [path, node] : before) {
        QVERIFY2(after.count(path) == 1, path.c_str());
        QVERIFY2(after.at(path) == node, path.c_str());
    }
    QVERIFY(increasing);
    QVERIFY(lastCopied >= 2'500'000);
    QCOMPARE(namesIn(m_second), QStringList{moved.mid(m_second.size() + 1)});
    QCOMPARE(namesIn(m_source), QStringList{item.mid(m_source.size() + 1)}); // just the link
    if (folder) {
        struct stat st
        {
        };
        QVERIFY(::stat(QFile::encodeName(moved + QStringLiteral("/sparse.gguf")).constData(),
                       &st) == 0);
        QCOMPARE(st.st_size, 60'000'000);
        QVERIFY2(st.st_blocks * 512 < 10'000'000, "holes were written out");
    }
}

void MoveCrossFsTest::unsupportedEntryFailsTheItem_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << QStringLiteral("fifo");
    QTest::newRow("socket") << QStringLiteral("socket");
    QTest::newRow("device") << QStringLiteral("device");
}

void MoveCrossFsTest::unsupportedEntryFailsTheItem()
{
    QFETCH(QString, kind);
    const QString pkg = m_source + QStringLiteral("/pkg");
    QVERIFY(Fixtures::makeTree(pkg, {QStringLiteral("a.bin=a"), QStringLiteral("sub/z.bin=z")}));
    const QByteArray special = QFile::encodeName(pkg + QStringLiteral("/sub/odd"));
    if (kind == QStringLiteral("fifo")) {
        QCOMPARE(::mkfifo(special.constData(), 0644), 0);
    } else if (kind == QStringLiteral("socket")) {
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(special.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, special.constData(), size_t(special.size()));
        QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(sock);
    } else if (::mknod(special.constData(), S_IFCHR | 0644, makedev(1, 3)) != 0) {
        QSKIP("Device files cannot be made here");
    }
    const Tree before = treeOf(pkg);
    const MoveOutcome outcome = MoveService::move({entryWith(pkg)}, m_second, true);
    QCOMPARE(outcome.error, QStringLiteral("Could not move ") + pkg +
                                QStringLiteral(": Not a file, folder or symlink: pkg/sub/odd"));
    QVERIFY(outcome.movedTo.isEmpty());
    QVERIFY(outcome.symlinksCreated.isEmpty());
    QVERIFY(treeOf(pkg) == before);
    QVERIFY(namesIn(m_second).isEmpty());
}

void MoveCrossFsTest::changeWhileCopying_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("change");
    for (const bool folder : {true, false}) {
        const char* what = folder ? "file in a folder" : "file";
        for (const char* change : {"grows", "shrinks", "rewritten in place"})
            QTest::addRow("%s %s", what, change) << folder << QString::fromLatin1(change);
    }
}

void MoveCrossFsTest::changeWhileCopying()
{
    QFETCH(bool, folder);
    QFETCH(QString, change);
    const QString item = m_source + (folder ? QStringLiteral("/pkg") : QStringLiteral("/big.bin"));
    const QString file = folder ? item + QStringLiteral("/big.bin") : item;
    QVERIFY(Fixtures::writeFile(file, Fixtures::headBytes(5, 4'000'000)));
    if (folder)
        QVERIFY(Fixtures::writeFile(item + QStringLiteral("/small.txt"), "small"));
    MoveProgress progress;
    bool changed = false;
    progress.copied = [&](qint64) {
        if (changed)
            return;
        changed = true;
        QFile target(file);
        QVERIFY(target.open(QIODevice::ReadWrite));
        if (change == QStringLiteral("grows")) {
            target.seek(target.size());
            target.write("more");
        } else if (change == QStringLiteral("shrinks")) {
            target.resize(1000);
        } else {
            target.seek(3'000'000);
            target.write("different");
        }
    };
    const MoveOutcome outcome = MoveService::move({entryWith(item)}, m_second, true, progress);
    QVERIFY(changed);
    const QString shown = folder ? QStringLiteral("pkg/big.bin") : QStringLiteral("big.bin");
    QCOMPARE(outcome, (MoveOutcome{{},
                                   {},
                                   QStringLiteral("Could not move ") + item +
                                       QStringLiteral(": Changed while being copied: ") + shown}));
    QVERIFY(QFileInfo(item).exists() && !QFileInfo(item).isSymLink());
    QVERIFY(namesIn(m_second).isEmpty());
    QCOMPARE(namesIn(m_source).size(), 1);
}

void MoveCrossFsTest::changeAfterVerificationPutsSourceBack()
{
    const QString pkg = m_source + QStringLiteral("/pkg");
    QVERIFY(
        Fixtures::makeTree(pkg, {QStringLiteral("a.bin=original"), QStringLiteral("b/c.bin=c")}));
    MoveProgress progress;
    progress.stage = [&](const QString&, MoveStage stage) {
        if (stage == MoveStage::settingAside) {
            QFile file(pkg + QStringLiteral("/a.bin"));
            QVERIFY(file.open(QIODevice::Append));
            file.write(" and more");
        }
    };
    const MoveOutcome outcome = MoveService::move({entryWith(pkg)}, m_second, true, progress);
    QCOMPARE(outcome.error, QStringLiteral("Could not move ") + pkg +
                                QStringLiteral(": Changed while being copied: pkg/a.bin"));
    QVERIFY(outcome.movedTo.isEmpty());
    QVERIFY(QFileInfo(pkg).isDir() && !QFileInfo(pkg).isSymLink());
    QFile file(pkg + QStringLiteral("/a.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("original and more"));
    QCOMPARE(namesIn(m_source), QStringList{QStringLiteral("pkg")});
    QVERIFY(namesIn(m_second).isEmpty());
}

void MoveCrossFsTest::staleCopyIsReplaced()
{
    const QString pkg = m_source + QStringLiteral("/pkg");
    QVERIFY(Fixtures::makeTree(pkg, {QStringLiteral("a.bin=fresh")}));
    const QString stale = m_second + QStringLiteral("/.brimvale-partial-pkg");
    const QString outside = m_home->file(QStringLiteral("outside"));
    QVERIFY(Fixtures::makeTree(outside, {QStringLiteral("keep.bin=keep")}));
    QVERIFY(Fixtures::makeTree(stale, {QStringLiteral("a.bin=half"), QStringLiteral("ro/x=1"),
                                       QStringLiteral("link->") + outside}));
    QVERIFY(::chmod(QFile::encodeName(stale + QStringLiteral("/ro")).constData(), 0555) == 0);
    const MoveOutcome outcome = MoveService::move({entryWith(pkg)}, m_second, true);
    QCOMPARE(outcome.error, std::nullopt);
    QCOMPARE(namesIn(m_second), QStringList{QStringLiteral("pkg")});
    QCOMPARE(namesIn(m_second + QStringLiteral("/pkg")), QStringList{QStringLiteral("a.bin")});
    QCOMPARE(namesIn(outside), QStringList{QStringLiteral("keep.bin")}); // link not followed
}

void MoveCrossFsTest::leftoverAsideNameFailsTheItem()
{
    const QString pkg = m_source + QStringLiteral("/pkg");
    QVERIFY(Fixtures::makeTree(pkg, {QStringLiteral("a.bin=a")}));
    QVERIFY(Fixtures::makeTree(m_source, {QStringLiteral(".brimvale-moved-pkg/old.bin=old")}));
    const MoveOutcome outcome = MoveService::move({entryWith(pkg)}, m_second, true);
    QCOMPARE(
        outcome,
        (MoveOutcome{
            {}, {}, QStringLiteral("Could not move ") + pkg + QStringLiteral(": File exists")}));
    QCOMPARE(namesIn(pkg), QStringList{QStringLiteral("a.bin")});
    QCOMPARE(namesIn(m_source + QStringLiteral("/.brimvale-moved-pkg")),
             QStringList{QStringLiteral("old.bin")});
    QVERIFY(namesIn(m_second).isEmpty());
}

void MoveCrossFsTest::failedSymlinkAfterCopy()
{
    const QString pkg = m_source + QStringLiteral("/pkg");
    QVERIFY(Fixtures::makeTree(pkg, {QStringLiteral("a.bin=a")}));
    MoveProgress progress;
    progress.stage = [&](const QString&, MoveStage stage) {
        if (stage == MoveStage::linking)
            QVERIFY(Fixtures::writeFile(pkg, "someone else's file"));
    };
    const MoveOutcome outcome = MoveService::move({entryWith(pkg)}, m_second, true, progress);
    const QString moved = m_second + QStringLiteral("/pkg");
    QCOMPARE(outcome, (MoveOutcome{{moved},
                                   {},
                                   QStringLiteral("Moved, but the symlink at ") + pkg +
                                       QStringLiteral(" failed: File exists")}));
    QCOMPARE(namesIn(moved), QStringList{QStringLiteral("a.bin")});
    QCOMPARE(namesIn(m_source), QStringList{QStringLiteral("pkg")}); // the aside copy is gone
    QVERIFY(QFileInfo(pkg).isFile());
}

QTEST_GUILESS_MAIN(MoveCrossFsTest)
#include "tst_movecrossfs.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "fs/DirectoryWalker.h"
#include "fs/FS.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <atomic>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList relativePaths(const QList<FileInfo>& files, const QString& root)
{
    QStringList result;
    for (const FileInfo& file : files)
        result.push_back(file.path.mid(root.size() + 1));
    return result;
}

QStringList names(const QStringList& paths)
{
    QStringList result;
    for (const QString& path : paths)
        result.push_back(path.mid(path.lastIndexOf(u'/') + 1));
    return result;
}

// Runs the body in a forked child (as root) and returns whether it returned true.
bool inChild(const std::function<bool()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class CountingVisitor : public WalkVisitor
{
public:
    void visit(const WalkedFile& file) override
    {
        files.fetch_add(1);
        if (!file.pathText())
            invalidPaths.fetch_add(1);
    }
    std::atomic<int> files{0};
    std::atomic<int> invalidPaths{0};
};

} // namespace

class WalkerTest : public QObject
{
    Q_OBJECT

private slots:
    void depthRanges_data();
    void depthRanges();
    void hidden_data();
    void hidden();
    void symlinksNeverFollowed();
    void rootSymlinkWalked();
    void missingOrFileRoot();
    void deterministicPreOrder();
    void fileInfoValues();
    void streamingFilterAndTotals();
    void invalidUtf8CountedNotReturned();
    void oddNames();
    void trashFoldersSkipped();
    void unsearchableFolderAmongSiblings();
    void unreadableFileStillReturned();
    void folderVanishingMidWalk();
    void flatFolderOfManyEntries();
    void deepTreeWithFewDescriptors();
    void subdirectories();
};

void WalkerTest::depthRanges_data()
{
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("foldersEntered"); // the root included
    QTest::newRow("1...1") << 1 << 1 << QStringList{u"f1"_qs} << 1;
    QTest::newRow("2...3") << 2 << 3 << QStringList{u"a/b/f3"_qs, u"a/f2"_qs} << 3;
    QTest::newRow("1...4") << 1 << 4
                           << QStringList{u"a/b/c/f4"_qs, u"a/b/f3"_qs, u"a/f2"_qs, u"f1"_qs} << 4;
}

void WalkerTest::depthRanges()
{
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(QStringList, expected);
    QFETCH(int, foldersEntered);
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    QVERIFY(Fixtures::makeTree(
        root, {u"f1"_qs, u"a/f2"_qs, u"a/b/f3"_qs, u"a/b/c/f4"_qs, u"a/b/c/d/f5"_qs}));
    QCOMPARE(relativePaths(FS::files(root, false, DepthRange{lower, upper}), root), expected);

    CountingVisitor visitor;
    WalkOptions options;
    options.depth = DepthRange{lower, upper};
    const WalkStats stats = DirectoryWalker::walk(root, options, visitor);
    QCOMPARE(int(stats.directories), foldersEntered);
}

void WalkerTest::hidden_data()
{
    QTest::addColumn<bool>("skipHidden");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("skip") << true << QStringList{u"a/visible"_qs, u"top"_qs};
    QTest::newRow("include") << false
                             << QStringList{u".cfg/inner"_qs,   u".hidden"_qs,   u"a/.h"_qs,
                                            u"a/.hd/deep/x"_qs, u"a/visible"_qs, u"top"_qs};
}

void WalkerTest::hidden()
{
    QFETCH(bool, skipHidden);
    QFETCH(QStringList, expected);
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    QVERIFY(Fixtures::makeTree(root, {u"top"_qs, u".hidden"_qs, u".cfg/inner"_qs, u"a/visible"_qs,
                                      u"a/.h"_qs, u"a/.hd/deep/x"_qs}));
    QCOMPARE(relativePaths(FS::files(root, skipHidden), root), expected);
}

void WalkerTest::symlinksNeverFollowed()
{
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    const QString outside = home.file(u"outside"_qs);
    QVERIFY(Fixtures::makeSparseFile(outside + u"/big.gguf"_qs, 5'000'000'000));
    QVERIFY(
        Fixtures::makeTree(root, {u"real.bin=x"_qs, u"link.gguf->"_qs + outside + u"/big.gguf"_qs,
                                  u"dirlink->"_qs + outside, u"loop/self->.."_qs,
                                  u"dangling->/nonexistent/x"_qs, u"inside->real.bin"_qs}));
    const QList<FileInfo> files = FS::files(root, false);
    QCOMPARE(relativePaths(files, root), QStringList{u"real.bin"_qs});
    QCOMPARE(FS::totals(root, false).bytes, 1);
}

void WalkerTest::rootSymlinkWalked()
{
    TestHome home;
    const QString real = home.file(u"real"_qs);
    QVERIFY(Fixtures::makeTree(real, {u"a/m.gguf=12345"_qs}));
    const QString link = home.file(u"link"_qs);
    QVERIFY(QFile::link(real, link));
    const QList<FileInfo> files = FS::files(link, false);
    QCOMPARE(files.size(), 1);
    QCOMPARE(files[0].path, link + u"/a/m.gguf"_qs); // reported under the path as given
    QCOMPARE(files[0].size, 5);
    QCOMPARE(FS::files(link + u"/"_qs, false).value(0).path, link + u"/a/m.gguf"_qs);
}

void WalkerTest::missingOrFileRoot()
{
    TestHome home;
    QVERIFY(FS::files(home.file(u"missing"_qs), false).isEmpty());
    QVERIFY(Fixtures::writeFile(home.file(u"plain"_qs), "abc"));
    QVERIFY(FS::files(home.file(u"plain"_qs), false).isEmpty());
    QVERIFY(FS::files(QString(), false).isEmpty());
    QCOMPARE(FS::totals(home.file(u"missing"_qs), false).files, 0);
    QVERIFY(!FS::totals(home.file(u"missing"_qs), false).newest);
    QVERIFY(FS::subdirectories(home.file(u"missing"_qs)).isEmpty());
}

void WalkerTest::deterministicPreOrder()
{
    // Byte order per component: "a/..." comes before "a b" and "a-", and upper case before lower.
    const QStringList expected{u"B"_qs,   u"a/z"_qs, u"a/zz/1"_qs,  u"a b"_qs, u"a-/q"_qs,
                               u"a-b"_qs, u"aa"_qs,  u"b/c/d/e"_qs, u"é/x"_qs, u"日本/m.bin"_qs};
    for (int round = 0; round < 3; ++round) {
        TestHome home;
        const QString root = home.file(u"tree"_qs);
        QStringList shuffled = expected;
        std::shuffle(shuffled.begin(), shuffled.end(), *QRandomGenerator::global());
        QVERIFY(Fixtures::makeTree(root, shuffled));
        for (int walk = 0; walk < 3; ++walk)
            QCOMPARE(relativePaths(FS::files(root, false), root), expected);
    }
    QVERIFY(FS::preOrderLess(u"/r/a/z"_qs, u"/r/a b"_qs));
    QVERIFY(!FS::preOrderLess(u"/r/a b"_qs, u"/r/a/z"_qs));
    QVERIFY(FS::preOrderLess(u"/r/a"_qs, u"/r/a/b"_qs));
    // U+FFFD sorts before U+10000 as UTF-8 bytes, though not as UTF-16 code units.
    QVERIFY(FS::preOrderLess(u"/r/\uFFFD"_qs,
                             QStringLiteral("/r/") + QString::fromUcs4(U"\U00010000")));
}

void WalkerTest::fileInfoValues()
{
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    QVERIFY(Fixtures::makeTree(root, {u"dir/model.gguf:70000000"_qs}));
    const QString file = root + u"/dir/model.gguf"_qs;
    QVERIFY(Fixtures::setModified(file, 1'700'000'000));
    const QList<FileInfo> files = FS::files(root, false);
    QCOMPARE(files.size(), 1);
    QCOMPARE(files[0].path, file);
    QCOMPARE(files[0].fileName(), u"model.gguf"_qs);
    QCOMPARE(files[0].size, 70'000'000);
    QVERIFY(files[0].modified);
    QCOMPARE(files[0].modified->toSecsSinceEpoch(), 1'700'000'000);
}

void WalkerTest::streamingFilterAndTotals()
{
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.push_back(u"d%1/small%2=xy"_qs.arg(i % 7).arg(i));
    lines.push_back(u"d3/big.gguf:2000000"_qs);
    lines.push_back(u"big.safetensors:3000000"_qs);
    QVERIFY(Fixtures::makeTree(root, lines));
    QVERIFY(Fixtures::setModified(root + u"/d3/big.gguf"_qs, 2'000'000'000));

    const QList<FileInfo> big = FS::files(root, false, std::nullopt,
                                          [](const WalkedFile& f) { return f.size >= 1'000'000; });
    QCOMPARE(relativePaths(big, root), (QStringList{u"big.safetensors"_qs, u"d3/big.gguf"_qs}));

    const FS::Totals totals = FS::totals(root, false);
    QCOMPARE(totals.files, 202);
    QCOMPARE(totals.bytes, 200 * 2 + 5'000'000);
    QVERIFY(totals.newest);
    QCOMPARE(totals.newest->toSecsSinceEpoch(), 2'000'000'000);
}

void WalkerTest::invalidUtf8CountedNotReturned()
{
    TestHome home;
    const QByteArray root = QFile::encodeName(home.file(u"tree"_qs));
    QVERIFY(QDir().mkpath(home.file(u"tree"_qs)));
    const QByteArray badDir = root + "/bad\xff"
                                     "dir";
    QVERIFY(::mkdir(badDir.constData(), 0755) == 0);
    auto create = [](const QByteArray& path, int size) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
        const bool ok = fd >= 0 && ::ftruncate(fd, size) == 0;
        ::close(fd);
        return ok;
    };
    QVERIFY(create(QByteArray(badDir + "/inside.bin"), 100));
    QVERIFY(create(QByteArray(root + "/bad\xc3\x28name.bin"), 10));
    QVERIFY(create(QByteArray(root + "/good.bin"), 1));
    QVERIFY(::mkdir(QByteArray(root + "/sub\xe0\x80").constData(), 0755) == 0);

    const QString rootText = home.file(u"tree"_qs);
    QCOMPARE(relativePaths(FS::files(rootText, false), rootText), QStringList{u"good.bin"_qs});
    const FS::Totals totals = FS::totals(rootText, false);
    QCOMPARE(totals.files, 3);
    QCOMPARE(totals.bytes, 111);

    CountingVisitor visitor;
    DirectoryWalker::walk(rootText, WalkOptions{}, visitor);
    QCOMPARE(visitor.files.load(), 3);
    QCOMPARE(visitor.invalidPaths.load(), 2);
    QCOMPARE(names(FS::subdirectories(rootText)), QStringList{});
}

void WalkerTest::oddNames()
{
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    const QStringList odd{u"line\nbreak.gguf"_qs, u"tab\there"_qs,   u"pct%41.bin"_qs,
                          u" leading blank"_qs,   u"back\\slash"_qs, u"quote\"d"_qs};
    for (const QString& name : odd)
        QVERIFY(Fixtures::writeFile(root + u"/"_qs + name, "x"));
    QStringList expected = odd;
    std::sort(expected.begin(), expected.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    QCOMPARE(relativePaths(FS::files(root, false), root), expected);
}

void WalkerTest::trashFoldersSkipped()
{
    TestHome home;
    const QString root = home.path();
    QVERIFY(Fixtures::makeTree(
        root, {u"keep.bin=1"_qs, u".Trash/files/a.gguf=1"_qs, u".Trash-1000/files/b.gguf=1"_qs,
               u".Trash-x/c.gguf=1"_qs, u".Trash-/d.gguf=1"_qs,
               u".local/share/Trash/files/e.gguf=1"_qs, u".local/share/other/f.bin=1"_qs}));
    QCOMPARE(relativePaths(FS::files(root, false), root),
             (QStringList{u".Trash-/d.gguf"_qs, u".Trash-x/c.gguf"_qs,
                          u".local/share/other/f.bin"_qs, u"keep.bin"_qs}));
    // The home Trash is recognised as a folder, wherever XDG_DATA_HOME puts it.
    home.setEnv("XDG_DATA_HOME", QFile::encodeName(home.file(u"data"_qs)));
    QVERIFY(Fixtures::makeTree(root, {u"data/Trash/files/g.gguf=1"_qs}));
    QVERIFY(!relativePaths(FS::files(root, false), root).contains(u"data/Trash/files/g.gguf"_qs));
    QVERIFY(relativePaths(FS::files(root, false), root)
                .contains(u".local/share/Trash/files/e.gguf"_qs));
    QVERIFY(!names(FS::subdirectories(root)).contains(u".Trash-1000"_qs));
}

void WalkerTest::unsearchableFolderAmongSiblings()
{
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    QVERIFY(Fixtures::makeTree(root, {u"a/one=1"_qs, u"locked/secret=22"_qs, u"z/two=333"_qs}));
    QVERIFY(::chmod(QFile::encodeName(root + u"/locked"_qs).constData(), 0) == 0);
    home.openToEveryone();
    const bool ok = Fixtures::runUnprivileged([&] {
        const QStringList found = relativePaths(FS::files(root, false), root);
        return found == QStringList{u"a/one"_qs, u"z/two"_qs} && FS::totals(root, false).bytes == 4;
    });
    QVERIFY(ok);
}

void WalkerTest::unreadableFileStillReturned()
{
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    QVERIFY(Fixtures::makeTree(root, {u"model.gguf:4096"_qs}));
    QVERIFY(::chmod(QFile::encodeName(root + u"/model.gguf"_qs).constData(), 0) == 0);
    home.openToEveryone();
    const bool ok = Fixtures::runUnprivileged([&] {
        if (::open(QFile::encodeName(root + u"/model.gguf"_qs).constData(), O_RDONLY) >= 0)
            return false; // the child must really lack the right to read it
        const QList<FileInfo> files = FS::files(root, false);
        return files.size() == 1 && files[0].size == 4096;
    });
    QVERIFY(ok);
}

void WalkerTest::folderVanishingMidWalk()
{
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    QStringList lines{u"first=1"_qs};
    for (int i = 0; i < 50; ++i)
        lines.push_back(u"b/sub%1/file=22"_qs.arg(i));
    lines.push_back(u"c/last=333"_qs);
    QVERIFY(Fixtures::makeTree(root, lines));

    // A file of the root, seen while the root is listed, removes "b" before the walk opens it;
    // the walk goes on with "c".
    class RemovingVisitor : public WalkVisitor
    {
    public:
        explicit RemovingVisitor(QString doomed) : m_doomed(std::move(doomed)) {}
        void visit(const WalkedFile& file) override
        {
            if (!m_removed.exchange(true))
                QDir(m_doomed).removeRecursively();
            seen.push_back(QString::fromUtf8(file.name.data(), qsizetype(file.name.size())));
        }
        QStringList seen;

    private:
        QString m_doomed;
        std::atomic<bool> m_removed{false};
    } visitor(root + u"/b"_qs);
    WalkOptions options;
    options.threads = 1;
    DirectoryWalker::walk(root, options, visitor);
    QCOMPARE(visitor.seen, (QStringList{u"first"_qs, u"last"_qs}));
}

void WalkerTest::flatFolderOfManyEntries()
{
    TestHome home;
    const QByteArray root = QFile::encodeName(home.file(u"flat"_qs));
    QVERIFY(::mkdir(root.constData(), 0755) == 0);
    const int dir = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(dir >= 0);
    constexpr int count = 100'000;
    for (int i = 0; i < count; ++i) {
        const QByteArray name = "f" + QByteArray::number(i);
        const int fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    ::close(dir);
    const QList<FileInfo> files = FS::files(home.file(u"flat"_qs), false);
    QCOMPARE(files.size(), count);
    QCOMPARE(files.first().fileName(), u"f0"_qs);
    QCOMPARE(files.last().fileName(), u"f99999"_qs);
    QCOMPARE(FS::totals(home.file(u"flat"_qs), false).files, count);
}

void WalkerTest::deepTreeWithFewDescriptors()
{
    TestHome home;
    QString path = home.file(u"deep"_qs);
    constexpr int levels = 120;
    for (int i = 0; i < levels; ++i) {
        path += u"/d"_qs;
        QVERIFY(Fixtures::writeFile(path + u"/f"_qs + QString::number(i), "x"));
        QVERIFY(Fixtures::writeFile(path + u"/side"_qs + QString::number(i) + u"/g"_qs, "yy"));
    }
    const QString root = home.file(u"deep"_qs);
    // With only a few descriptors free the walk waits and retries instead of skipping folders.
    const bool ok = inChild([&] {
        rlimit limit{24, 24};
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return false;
        WalkOptions options;
        options.threads = 4;
        CountingVisitor visitor;
        DirectoryWalker::walk(root, options, visitor);
        return visitor.files.load() == 2 * levels;
    });
    QVERIFY(ok);
    QCOMPARE(FS::totals(root, false).bytes, 3 * levels);
}

void WalkerTest::subdirectories()
{
    TestHome home;
    const QString root = home.file(u"tree"_qs);
    QVERIFY(Fixtures::makeTree(
        root, {u"b/"_qs, u"A/"_qs, u".hidden/"_qs, u"a b/"_qs, u"file"_qs, u"linkdir->b"_qs}));
    QCOMPARE(names(FS::subdirectories(root)),
             (QStringList{u".hidden"_qs, u"A"_qs, u"a b"_qs, u"b"_qs}));
    QCOMPARE(FS::subdirectories(root).value(0), root + u"/.hidden"_qs);
    // A folder given as a symlink is listed through it.
    QCOMPARE(names(FS::subdirectories(root + u"/linkdir"_qs)), QStringList{});
    QVERIFY(QFile::link(root, home.file(u"rootlink"_qs)));
    QCOMPARE(FS::subdirectories(home.file(u"rootlink"_qs)).size(), 4);
    QVERIFY(FS::subdirectories(root + u"/file"_qs).isEmpty());
}

QTEST_GUILESS_MAIN(WalkerTest)
#include "tst_walker.moc"

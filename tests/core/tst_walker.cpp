#include "Fixtures.h"
#include "TestHome.h"
#include "fs/DirectoryWalker.h"
#include "fs/FS.h"
#include "fs/WalkScope.h"
#include "model/StopToken.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The items of a text separated by "|".
QStringList list(const QString& items)
{
    return items.split(u'|');
}

QStringList relativePaths(const QList<FileInfo>& files, const QString& root)
{
    QStringList result;
    for (const FileInfo& file : files)
        result.push_back(file.path.mid(root.size() + 1));
    return result;
}

// Counts the files it is told of, then hands each to the optional action.
class Visitor : public WalkVisitor
{
public:
    explicit Visitor(std::function<void(const WalkedFile&)> action = {})
        : m_action(std::move(action))
    {}
    void visit(const WalkedFile& file) override
    {
        files.fetch_add(1);
        invalidPaths.fetch_add(file.pathText() ? 0 : 1);
        if (m_action)
            m_action(file);
    }
    std::atomic<int> files{0};
    std::atomic<int> invalidPaths{0};

private:
    std::function<void(const WalkedFile&)> m_action;
};

} // namespace

class WalkerTest : public QObject
{
    Q_OBJECT

private slots:
    void files_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<bool>("skipHidden");
        QTest::addColumn<QString>("depth");      // "lower-upper", or empty for no limit
        QTest::addColumn<int>("foldersEntered"); // the root included; -1: not checked
        QTest::addColumn<QStringList>("expected");
        const QStringList levels = list(u"f1|a/f2|a/b/f3|a/b/c/f4|a/b/c/d/f5"_qs);
        QTest::newRow("depth 1-1") << levels << false << u"1-1"_qs << 1 << list(u"f1"_qs);
        QTest::newRow("depth 2-3") << levels << false << u"2-3"_qs << 3 << list(u"a/b/f3|a/f2"_qs);
        QTest::newRow("depth 1-4")
            << levels << false << u"1-4"_qs << 4 << list(u"a/b/c/f4|a/b/f3|a/f2|f1"_qs);
        const QStringList hidden = list(u"top|.hidden|.cfg/inner|a/visible|a/.h|a/.hd/deep/x"_qs);
        QTest::newRow("hidden skipped")
            << hidden << true << QString() << -1 << list(u"a/visible|top"_qs);
        QTest::newRow("hidden included")
            << hidden << false << QString() << -1
            << list(u".cfg/inner|.hidden|a/.h|a/.hd/deep/x|a/visible|top"_qs);
        QTest::newRow("symlinks never followed")
            << list(
                   u"real.bin=x|../outside/big.gguf:5000000000|link->../outside/big.gguf|"
                   u"dirlink->../outside|loop/self->..|dangling->/nonexistent/x|inside->real.bin"_qs)
            << false << QString() << 2 << list(u"real.bin"_qs);
        // The home Trash (here data/Trash) is recognised as a folder, wherever its path is.
        QTest::newRow("Trash folders skipped")
            << list(u"keep.bin|.Trash/files/a|.Trash-1000/files/b|.Trash-x/c|.Trash-/d|"
                    u".local/share/Trash/files/e|data/Trash/files/g"_qs)
            << false << QString() << -1
            << list(u".Trash-/d|.Trash-x/c|.local/share/Trash/files/e|keep.bin"_qs);
        // Byte order per component: "a/..." before "a b" and "a-", upper case before lower.
        const QStringList ordered = list(u" leading blank|B|a/z|a/zz/1|a b|a-/q|a-b|aa|b/c/d/e|"
                                         u"line\nbr|pct%41.bin|quote\"d|tab\there|é/x|日本/m"_qs);
        QStringList shuffled = ordered;
        std::shuffle(shuffled.begin(), shuffled.end(), *QRandomGenerator::global());
        QTest::newRow("byte order") << shuffled << false << QString() << -1 << ordered;
    }

    // The files a walk returns (the same on a second walk, whatever the threads did), their count
    // in the totals, and the folders the walk entered.
    void files()
    {
        QFETCH(QStringList, tree);
        QFETCH(bool, skipHidden);
        QFETCH(QString, depth);
        QFETCH(int, foldersEntered);
        QFETCH(QStringList, expected);
        TestHome home;
        const QString root = home.file(u"tree"_qs);
        home.setEnv("XDG_DATA_HOME", QFile::encodeName(root + u"/data"_qs));
        QVERIFY(Fixtures::makeTree(root, tree));
        WalkOptions options;
        options.skipHidden = skipHidden;
        if (!depth.isEmpty())
            options.depth =
                DepthRange{depth.section(u'-', 0, 0).toInt(), depth.section(u'-', 1, 1).toInt()};
        for (int walk = 0; walk < 2; ++walk)
            QCOMPARE(relativePaths(FS::files(root, skipHidden, options.depth), root), expected);
        QCOMPARE(FS::totals(root, skipHidden, options.depth).files, expected.size());
        Visitor visitor;
        const qint64 folders = DirectoryWalker::walk(root, options, visitor).directories;
        QVERIFY2(foldersEntered < 0 || folders == foldersEntered,
                 qPrintable(QString::number(folders)));
    }

    // A root that is a symlink to a folder is walked and listed, and reported under the path as
    // given; a missing root, a file or an empty path give nothing.
    void roots()
    {
        TestHome home;
        const QString real = home.file(u"real"_qs);
        QVERIFY(Fixtures::makeTree(
            real, list(u"a/m.gguf=1|plain=abc|B/|.hidden/|a b/|.Trash-1/|ln->a"_qs)));
        const QString link = home.file(u"link"_qs);
        QVERIFY(QFile::link(real, link));
        QCOMPARE(FS::files(link, false).value(0).path, link + u"/a/m.gguf"_qs);
        QCOMPARE(FS::files(link + u"/"_qs, false).value(0).path, link + u"/a/m.gguf"_qs);
        QCOMPARE(FS::subdirectories(link), list(link + u"/.hidden|"_qs + link + u"/B|"_qs + link +
                                                u"/a|"_qs + link + u"/a b"_qs));
        for (const QString& root : QStringList{home.file(u"missing"_qs), real + u"/plain"_qs, {}}) {
            QVERIFY(FS::files(root, false).isEmpty());
            QCOMPARE(FS::totals(root, false).files, 0);
            QVERIFY(!FS::totals(root, false).newest);
            QVERIFY(FS::subdirectories(root).isEmpty());
        }
    }

    void preOrderOfTexts()
    {
        QVERIFY(FS::preOrderLess(u"/r/a/z"_qs, u"/r/a b"_qs));
        QVERIFY(!FS::preOrderLess(u"/r/a b"_qs, u"/r/a/z"_qs));
        QVERIFY(FS::preOrderLess(u"/r/a"_qs, u"/r/a/b"_qs));
        // U+FFFD sorts before U+10000 as UTF-8 bytes, though not as UTF-16 code units.
        QVERIFY(FS::preOrderLess(u"/r/\uFFFD"_qs, u"/r/"_qs + QString::fromUcs4(U"\U00010000")));
    }

    // What a file is reported with, the streaming filter, and the totals; a modification time
    // beyond 2262 (nanoseconds past 2^63) still gives the newest date.
    void valuesAndTotals()
    {
        TestHome home;
        const QString root = home.file(u"tree"_qs);
        QVERIFY(Fixtures::makeTree(
            root, list(u"d1/a=xy|d1/b=xy|d2/c=xy|d3/big.gguf:2000000|big.safetensors:3000000"_qs)));
        const qint64 year2300 = QDateTime(QDate(2300, 1, 1), QTime(), Qt::UTC).toSecsSinceEpoch();
        QVERIFY(Fixtures::setModified(root + u"/d3/big.gguf"_qs, 1'700'000'000));
        QVERIFY(Fixtures::setModified(root + u"/big.safetensors"_qs, year2300));

        const QList<FileInfo> found = FS::files(
            root, false, std::nullopt, [](const WalkedFile& f) { return f.size >= 1'000'000; });
        QCOMPARE(relativePaths(found, root), list(u"big.safetensors|d3/big.gguf"_qs));
        QCOMPARE(found[1].fileName(), u"big.gguf"_qs);
        QCOMPARE(found[1].size, 2'000'000);
        QCOMPARE(found[1].modified->toSecsSinceEpoch(), 1'700'000'000);
        const FS::Totals totals = FS::totals(root, false);
        QCOMPARE(totals.files, 5);
        QCOMPARE(totals.bytes, 3 * 2 + 5'000'000);
        QCOMPARE(totals.newest->toSecsSinceEpoch(), year2300);
    }

    void invalidUtf8CountedNotReturned()
    {
        TestHome home;
        const QString root = home.file(u"tree"_qs);
        const QByteArray bytes = QFile::encodeName(root);
        QVERIFY(QDir().mkpath(root));
        for (const char* folder : {"/bad\xff", "/sub\xe0\x80"})
            QVERIFY(::mkdir(QByteArray(bytes + folder).constData(), 0755) == 0);
        for (const char* file : {"/bad\xff/inside", "/bad\xc3\x28name", "/good.bin"}) {
            const int fd = ::open(QByteArray(bytes + file).constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0 && ::ftruncate(fd, file[1] == 'b' ? 10 : 1) == 0 && ::close(fd) == 0);
        }
        QCOMPARE(relativePaths(FS::files(root, false), root), list(u"good.bin"_qs));
        QCOMPARE(FS::totals(root, false).files, 3);
        QCOMPARE(FS::totals(root, false).bytes, 21);
        Visitor visitor;
        DirectoryWalker::walk(root, WalkOptions{}, visitor);
        QCOMPARE(visitor.invalidPaths.load(), 2);
        QCOMPARE(FS::subdirectories(root), QStringList{});
    }

    // A folder that cannot be searched is skipped among its siblings; a file that cannot be read is
    // still returned.
    void unreadableEntries()
    {
        TestHome home;
        const QString root = home.file(u"tree"_qs);
        QVERIFY(Fixtures::makeTree(root,
                                   list(u"a/one=1|locked/secret=22|z/two=333|model.gguf:4096"_qs)));
        for (const QString& path : QStringList{root + u"/locked"_qs, root + u"/model.gguf"_qs})
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
        home.openToEveryone();
        QVERIFY(Fixtures::runUnprivileged([&] {
            if (::open(QFile::encodeName(root + u"/model.gguf"_qs).constData(), O_RDONLY) >= 0)
                return false; // the child must really lack the right to read it
            const QList<FileInfo> files = FS::files(root, false);
            return relativePaths(files, root) == list(u"a/one|model.gguf|z/two"_qs) &&
                   files[1].size == 4096 && FS::totals(root, false).bytes == 4100;
        }));
    }

    // A file of the root, seen while the root is listed, removes "b" before the walk opens it; the
    // walk goes on with "c".
    void folderVanishingMidWalk()
    {
        TestHome home;
        const QString root = home.file(u"tree"_qs);
        QVERIFY(Fixtures::makeTree(root, list(u"first=1|b/sub/file=22|c/last=333"_qs)));
        QStringList seen;
        Visitor visitor([&](const WalkedFile& file) {
            if (seen.isEmpty())
                QDir(root + u"/b"_qs).removeRecursively();
            seen.push_back(QString::fromUtf8(file.name.data(), qsizetype(file.name.size())));
        });
        WalkOptions options;
        options.threads = 1;
        DirectoryWalker::walk(root, options, visitor);
        QCOMPARE(seen, list(u"first|last"_qs));
    }

    // Once a stop is requested no waiting folder is opened and a large folder is left part-way; a
    // scope gives its stop and counter to walks that name none. A large folder takes several
    // listing calls.
    void stopAndCount()
    {
        TestHome home;
        const QString root = home.file(u"tree"_qs);
        for (int i = 0; i < 40; ++i)
            QVERIFY(Fixtures::manyNames(root + u"/d"_qs + QString::number(i), 5));
        QVERIFY(Fixtures::manyNames(root + u"/big"_qs, 4000));
        std::atomic<qint64> seen{0};
        {
            const WalkScope counting(nullptr, &seen);
            QCOMPARE(FS::totals(root, false).files, 4200);
        }
        QCOMPARE(seen.load(), 41 + 4200);
        QCOMPARE(FS::files(root + u"/big"_qs, false).last().fileName(), u"f999"_qs);

        StopToken stop;
        Visitor visitor([&](const WalkedFile&) { stop.requestStop(); });
        WalkOptions options;
        options.threads = 1;
        options.stop = &stop;
        QCOMPARE(DirectoryWalker::walk(root, options, visitor).directories, 2);
        StopToken stopInBig;
        Visitor inBig([&](const WalkedFile&) { stopInBig.requestStop(); });
        options.stop = &stopInBig;
        DirectoryWalker::walk(root + u"/big"_qs, options, inBig);
        QVERIFY2(inBig.files.load() < 2000, qPrintable(QString::number(inBig.files.load())));
        const WalkScope stopped(&stop, nullptr);
        QVERIFY(FS::files(root, false).isEmpty() && FS::subdirectories(root).isEmpty());
    }

    void deepTreeWithFewDescriptors()
    {
        TestHome home;
        QString path = home.file(u"deep"_qs);
        constexpr int levels = 60;
        for (int i = 0; i < levels; ++i) {
            path += u"/d"_qs;
            QVERIFY(Fixtures::makeTree(path, {u"f=x"_qs, u"side/g=yy"_qs}));
        }
        home.openToEveryone();
        // With only a few descriptors free the walk waits and retries instead of skipping folders.
        QVERIFY(Fixtures::runUnprivileged([&] {
            rlimit limit{24, 24};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
                return false;
            WalkOptions options;
            options.threads = 4;
            Visitor visitor;
            DirectoryWalker::walk(home.file(u"deep"_qs), options, visitor);
            return visitor.files.load() == 2 * levels;
        }));
    }
};

QTEST_GUILESS_MAIN(WalkerTest)
#include "tst_walker.moc"

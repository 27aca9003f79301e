#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/LooseScanner.h"

#include <QFile>
#include <QtTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using ScanReadout::pathsOf;

namespace {

QStringList inHome(const TestHome& home, const QStringList& relative)
{
    QStringList paths;
    for (const QString& path : relative)
        paths.push_back(home.file(path));
    return paths;
}

bool writeUserDirs(const TestHome& home, const QByteArray& content)
{
    return Fixtures::writeFile(home.file(u".config/user-dirs.dirs"_s), content);
}

} // namespace

class TestLooseScanner : public QObject
{
    Q_OBJECT

private slots:
    void modelFiles_data();
    void modelFiles();
    void hiddenItemsAreSkipped();
    void claimedPathsAreExcluded();
    void foldersInOrder();
    void userDirectory_data();
    void userDirectory();
    void userDirsChooseTheFolders();
    void foldersComparedAfterResolving_data();
    void foldersComparedAfterResolving();
    void unusableUserDirsMeansEnglishNames_data();
    void unusableUserDirsMeansEnglishNames();
    void userDirsThatIsAFifoNeverBlocks();
    void unreadableFolderIsSkipped();
};

void TestLooseScanner::modelFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("id"); // empty: not reported
    QTest::addColumn<QString>("quantization");
    QTest::newRow("blank, upper-case extension, quantization")
        << u"My Model Q4_K_M.GGUF"_s << qint64(12'000'000) << u"loose-my_model_q4_k_m"_s
        << u"Q4_K_M"_s;
    QTest::newRow("10,000,000 bytes")
        << u"edge.safetensors"_s << qint64(10'000'000) << u"loose-edge"_s << QString();
    QTest::newRow("9,999,999 bytes")
        << u"edge.safetensors"_s << qint64(9'999'999) << QString() << QString();
    QTest::newRow(".onnx") << u"Whisper.ONNX"_s << qint64(20'000'000) << u"loose-whisper"_s
                           << QString();
    QTest::newRow(".mlx bf16") << u"llama.bf16.mlx"_s << qint64(20'000'000) << u"loose-llama.bf16"_s
                               << u"bf16"_s;
    QTest::newRow(".bin is never loose")
        << u"big.bin"_s << qint64(90'000'000) << QString() << QString();
    QTest::newRow(".pt is never loose")
        << u"big.pt"_s << qint64(90'000'000) << QString() << QString();
    QTest::newRow(".ckpt is never loose")
        << u"big.ckpt"_s << qint64(90'000'000) << QString() << QString();
    QTest::newRow("partial download")
        << u"x.gguf.part"_s << qint64(90'000'000) << QString() << QString();
}

void TestLooseScanner::modelFiles()
{
    QFETCH(QString, fileName);
    QFETCH(qint64, size);
    QFETCH(QString, id);
    QFETCH(QString, quantization);
    TestHome home;
    const QString path = home.file(u"Downloads/"_s + fileName);
    QVERIFY(Fixtures::makeSparseFile(path, size));
    QVERIFY(Fixtures::setModified(path, 1'690'000'000));

    const SourceScan scan = LooseScanner::scan({});
    QVERIFY(scan.errors.isEmpty());
    if (id.isEmpty()) {
        QVERIFY(scan.models.isEmpty());
        return;
    }
    QCOMPARE(scan.models.size(), 1);
    const ModelEntry& entry = scan.models.first();
    QCOMPARE(entry.id, id);
    QCOMPARE(entry.name, fileName);
    QCOMPARE(entry.source, ModelSource::loose);
    QCOMPARE(entry.sizeBytes, size);
    QCOMPARE(entry.reclaimableBytes, size);
    QCOMPARE(entry.primaryPath, path);
    QCOMPARE(entry.allPaths, QStringList{path});
    QCOMPARE(entry.lastModified, QDateTime::fromSecsSinceEpoch(1'690'000'000, Qt::UTC));
    QCOMPARE(entry.deleteRisk, DeleteRisk::safe);
    QCOMPARE(entry.quantization,
             quantization.isEmpty() ? std::nullopt : std::optional<QString>(quantization));
    QCOMPARE(entry.detail, std::nullopt);
    QVERIFY(!entry.partialHash);
    QVERIFY(!entry.isDuplicate);
}

void TestLooseScanner::hiddenItemsAreSkipped()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"Documents/.cache/deep/er/a.gguf:20000000"_s,
                                             u"Documents/.b.gguf:20000000"_s,
                                             u"Documents/x/y/z/c.gguf:20000000"_s}));
    QCOMPARE(pathsOf(LooseScanner::scan({})), inHome(home, {u"Documents/x/y/z/c.gguf"_s}));
}

void TestLooseScanner::claimedPathsAreExcluded()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {u"Documents/ComfyUI/models/checkpoints/sd.safetensors:20000000"_s,
                                u"Documents/mine.safetensors:20000000"_s}));
    const QString claimed = home.file(u"Documents/ComfyUI/models/checkpoints/sd.safetensors"_s);
    QCOMPARE(pathsOf(LooseScanner::scan({claimed})),
             inHome(home, {u"Documents/mine.safetensors"_s}));
    QCOMPARE(LooseScanner::scan({}).models.size(), 2);
    // Exact text: another spelling of the same path does not exclude it.
    QCOMPARE(LooseScanner::scan({home.file(u"Documents/./mine.safetensors"_s)}).models.size(), 2);
}

void TestLooseScanner::foldersInOrder()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {u"Desktop/a.gguf:20000000"_s, u"Documents/b.gguf:20000000"_s,
                                u"Downloads/c.gguf:20000000"_s}));
    QCOMPARE(pathsOf(LooseScanner::scan({})),
             inHome(home, {u"Downloads/c.gguf"_s, u"Documents/b.gguf"_s, u"Desktop/a.gguf"_s}));
}

void TestLooseScanner::userDirectory_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected"); // "@" stands for the home; null: not set
    QTest::newRow("relative to the home")
        << QByteArray("# comment\nXDG_DOWNLOAD_DIR=\"$HOME/T\xc3\xa9l\xc3\xa9"
                      "chargements\"\n")
        << u"@/T\u00e9l\u00e9chargements"_s;
    QTest::newRow("absolute") << QByteArray("XDG_DOWNLOAD_DIR=\"/srv/dl\"") << u"/srv/dl"_s;
    QTest::newRow("trailing slashes removed")
        << QByteArray("XDG_DOWNLOAD_DIR=\"$HOME/dl//\"") << u"@/dl"_s;
    QTest::newRow("the home itself") << QByteArray("XDG_DOWNLOAD_DIR=\"$HOME/\"") << u"@"_s;
    QTest::newRow("blanks and escapes")
        << QByteArray("  XDG_DOWNLOAD_DIR = \"$HOME/My \\\"DL\\\\\"\r\n") << u"@/My \"DL\\"_s;
    QTest::newRow("last line wins")
        << QByteArray("XDG_DOWNLOAD_DIR=\"$HOME/a\"\nXDG_DOWNLOAD_DIR=\"$HOME/b\"") << u"@/b"_s;
    QTest::newRow("other keys only")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/a\"\nXDG_DOWNLOAD_DIRS=\"$HOME/b\"") << QString();
    QTest::newRow("commented out") << QByteArray("#XDG_DOWNLOAD_DIR=\"$HOME/a\"") << QString();
    QTest::newRow("relative value") << QByteArray("XDG_DOWNLOAD_DIR=\"dl\"") << QString();
    QTest::newRow("unquoted") << QByteArray("XDG_DOWNLOAD_DIR=$HOME/dl") << QString();
    QTest::newRow("unterminated") << QByteArray("XDG_DOWNLOAD_DIR=\"$HOME/dl") << QString();
    QTest::newRow("other variable") << QByteArray("XDG_DOWNLOAD_DIR=\"$HOMEdl\"") << QString();
    QTest::newRow("not UTF-8") << QByteArray("XDG_DOWNLOAD_DIR=\"$HOME/\xff\"") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestLooseScanner::userDirectory()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    const std::optional<QString> value =
        LooseScanner::userDirectory(text, "DOWNLOAD", u"/home/ann"_s);
    if (expected.isNull()) {
        QCOMPARE(value, std::nullopt);
        return;
    }
    QVERIFY(value);
    QCOMPARE(*value, QString(expected).replace(u'@', u"/home/ann"_s));
}

void TestLooseScanner::userDirsChooseTheFolders()
{
    TestHome home;
    home.setEnv("XDG_CONFIG_HOME", QFile::encodeName(home.file(u"cfg"_s)));
    QVERIFY(Fixtures::writeFile(home.file(u"cfg/user-dirs.dirs"_s),
                                "XDG_DOWNLOAD_DIR=\"$HOME/Telechargements\"\n"
                                "XDG_DESKTOP_DIR=\"$HOME/\"\n"));
    QVERIFY(Fixtures::makeTree(home.path(), {u"Downloads/a.gguf:20000000"_s,
                                             u"Telechargements/b.gguf:20000000"_s,
                                             u"Documents/c.gguf:20000000"_s,
                                             u"Desktop/d.gguf:20000000"_s, u"e.gguf:20000000"_s}));
    QCOMPARE(LooseScanner::userFolders(), (QStringList{home.file(u"Telechargements"_s),
                                                       home.file(u"Documents"_s), home.path()}));
    QCOMPARE(pathsOf(LooseScanner::scan({})),
             inHome(home, {u"Telechargements/b.gguf"_s, u"Documents/c.gguf"_s}));
}

void TestLooseScanner::foldersComparedAfterResolving_data()
{
    QTest::addColumn<QByteArray>("userDirs"); // empty: no file
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("walked"); // relative to the home
    QTest::addColumn<QStringList>("found");

    QTest::newRow("Desktop inside Documents")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Documents/Desktop\"")
        << QStringList{u"Documents/Desktop/m.gguf:20000000"_s} << QStringList{u"Documents"_s}
        << QStringList{u"Documents/Desktop/m.gguf"_s};
    QTest::newRow("Documents inside Desktop, which comes later")
        << QByteArray("XDG_DOCUMENTS_DIR=\"$HOME/Desktop/Docs\"")
        << QStringList{u"Desktop/Docs/m.gguf:20000000"_s} << QStringList{u"Desktop"_s}
        << QStringList{u"Desktop/Docs/m.gguf"_s};
    QTest::newRow("same folder with a trailing slash")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Documents/\"")
        << QStringList{u"Documents/m.gguf:20000000"_s} << QStringList{u"Documents"_s}
        << QStringList{u"Documents/m.gguf"_s};
    QTest::newRow("same folder through a link")
        << QByteArray() << QStringList{u"Documents/m.gguf:20000000"_s, u"Desktop->Documents"_s}
        << QStringList{u"Documents"_s} << QStringList{u"Documents/m.gguf"_s};
    QTest::newRow("a link to the home")
        << QByteArray()
        << QStringList{u"Downloads->."_s, u"m.gguf:20000000"_s, u"Documents/n.gguf:20000000"_s}
        << QStringList{u"Documents"_s} << QStringList{u"Documents/n.gguf"_s};
    QTest::newRow("inside a hidden folder of another is walked itself")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Documents/.private/Desk\"")
        << QStringList{u"Documents/.private/Desk/m.gguf:20000000"_s}
        << QStringList{u"Documents"_s, u"Documents/.private/Desk"_s}
        << QStringList{u"Documents/.private/Desk/m.gguf"_s};
    QTest::newRow("siblings with a common prefix")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Documents2\"")
        << QStringList{u"Documents/a.gguf:20000000"_s, u"Documents2/b.gguf:20000000"_s}
        << QStringList{u"Documents"_s, u"Documents2"_s}
        << QStringList{u"Documents/a.gguf"_s, u"Documents2/b.gguf"_s};
}

void TestLooseScanner::foldersComparedAfterResolving()
{
    QFETCH(QByteArray, userDirs);
    QFETCH(QStringList, tree);
    QFETCH(QStringList, walked);
    QFETCH(QStringList, found);
    TestHome home;
    if (!userDirs.isEmpty())
        QVERIFY(writeUserDirs(home, userDirs));
    QVERIFY(Fixtures::makeTree(home.path(), tree));
    QCOMPARE(LooseScanner::folders(), inHome(home, walked));
    QCOMPARE(pathsOf(LooseScanner::scan({})), inHome(home, found));
}

void TestLooseScanner::unusableUserDirsMeansEnglishNames_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("used");
    const QByteArray line("XDG_DOWNLOAD_DIR=\"$HOME/dl\"\n");
    QTest::newRow("exactly 1 MiB") << line + QByteArray((1 << 20) - line.size(), '#') << true;
    QTest::newRow("one byte over 1 MiB")
        << line + QByteArray((1 << 20) - line.size() + 1, '#') << false;
}

void TestLooseScanner::unusableUserDirsMeansEnglishNames()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, used);
    TestHome home;
    QVERIFY(writeUserDirs(home, content));
    QVERIFY(
        Fixtures::makeTree(home.path(), {u"dl/a.gguf:20000000"_s, u"Downloads/b.gguf:20000000"_s}));
    QCOMPARE(pathsOf(LooseScanner::scan({})),
             inHome(home, {used ? u"dl/a.gguf"_s : u"Downloads/b.gguf"_s}));
}

void TestLooseScanner::userDirsThatIsAFifoNeverBlocks()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"Downloads/b.gguf:20000000"_s, u".config/"_s}));
    const QString fifo = home.file(u".config/user-dirs.dirs"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    SourceScan scan;
    QVERIFY(ScanReadout::returnsWithoutBlocking(fifo, [&] { scan = LooseScanner::scan({}); }));
    QCOMPARE(pathsOf(scan), inHome(home, {u"Downloads/b.gguf"_s}));
}

void TestLooseScanner::unreadableFolderIsSkipped()
{
    TestHome home;
    home.openToEveryone();
    QVERIFY(Fixtures::makeTree(home.path(),
                               {u"Downloads/a.gguf:20000000"_s, u"Documents/b.gguf:20000000"_s}));
    QCOMPARE(::chmod(QFile::encodeName(home.file(u"Downloads"_s)).constData(), 0), 0);
    const QStringList expected = inHome(home, {u"Documents/b.gguf"_s});
    // As root everything is readable, which would prove nothing.
    QVERIFY(Fixtures::runUnprivileged([&] {
        const SourceScan scan = LooseScanner::scan({});
        return scan.errors.isEmpty() && pathsOf(scan) == expected;
    }));
}

QTEST_GUILESS_MAIN(TestLooseScanner)
#include "tst_loosescanner.moc"

#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/CustomFolderScanner.h"

#include <QFile>
#include <QtTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using ScanReadout::pathsOf;

class TestCustomFolderScanner : public QObject
{
    Q_OBJECT

private slots:
    void noRootsGiveNothing();
    void modelFiles_data();
    void modelFiles();
    void missingFolders_data();
    void missingFolders();
    void rootsInOrderAndNotDeduplicated();
    void detailKeepsTheRootAsStored();
    void trashFoldersAreNotListed();
    void unreadableFolderGivesNoError();
};

void TestCustomFolderScanner::noRootsGiveNothing()
{
    TestHome home;
    const SourceScan scan = CustomFolderScanner::scan({});
    QVERIFY(scan.models.isEmpty());
    QVERIFY(scan.errors.isEmpty());
}

void TestCustomFolderScanner::modelFiles_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("id"); // empty: not reported
    QTest::addColumn<QString>("quantization");
    QTest::newRow("blank and mixed-case extension")
        << u"Flux Dev.SafeTensors"_s << qint64(23'802'932) << u"custom-flux_dev-23802932"_s
        << QString();
    QTest::newRow("exactly 1,000,000 bytes")
        << u"a.gguf"_s << qint64(1'000'000) << u"custom-a-1000000"_s << QString();
    QTest::newRow("999,999 bytes") << u"a.gguf"_s << qint64(999'999) << QString() << QString();
    QTest::newRow(".mlx") << u"m.MLX"_s << qint64(2'000'000) << u"custom-m-2000000"_s << QString();
    QTest::newRow(".onnx is not") << u"m.onnx"_s << qint64(2'000'000) << QString() << QString();
    QTest::newRow(".pth") << u"upscale.pth"_s << qint64(2'000'000) << u"custom-upscale-2000000"_s
                          << QString();
    QTest::newRow(".bin with quantization") << u"Llama-3-Q8_0.bin"_s << qint64(5'000'000)
                                            << u"custom-llama-3-q8_0-5000000"_s << u"Q8_0"_s;
    QTest::newRow(".ckpt") << u"v1-5.ckpt"_s << qint64(5'000'000) << u"custom-v1-5-5000000"_s
                           << QString();
    QTest::newRow(".pt fp16") << u"enc.FP16.pt"_s << qint64(5'000'000)
                              << u"custom-enc.fp16-5000000"_s << u"fp16"_s;
    QTest::newRow("dot file") << u".x.gguf"_s << qint64(5'000'000) << QString() << QString();
    QTest::newRow("inside a hidden folder")
        << u".cache/deep/x.gguf"_s << qint64(5'000'000) << u"custom-x-5000000"_s << QString();
}

void TestCustomFolderScanner::modelFiles()
{
    QFETCH(QString, relative);
    QFETCH(qint64, size);
    QFETCH(QString, id);
    QFETCH(QString, quantization);
    TestHome home;
    const QString root = home.file(u"models"_s);
    const QString path = root + u'/' + relative;
    QVERIFY(Fixtures::makeSparseFile(path, size));
    QVERIFY(Fixtures::setModified(path, 1'680'000'000));

    const SourceScan scan = CustomFolderScanner::scan({root});
    QVERIFY(scan.errors.isEmpty());
    if (id.isEmpty()) {
        QVERIFY(scan.models.isEmpty());
        return;
    }
    QCOMPARE(scan.models.size(), 1);
    const ModelEntry& entry = scan.models.first();
    QCOMPARE(entry.id, id);
    QCOMPARE(entry.name, relative.mid(relative.lastIndexOf(u'/') + 1));
    QCOMPARE(entry.source, ModelSource::custom);
    QCOMPARE(entry.sizeBytes, size);
    QCOMPARE(entry.reclaimableBytes, size);
    QCOMPARE(entry.primaryPath, path);
    QCOMPARE(entry.allPaths, QStringList{path});
    QCOMPARE(entry.lastModified, QDateTime::fromSecsSinceEpoch(1'680'000'000, Qt::UTC));
    QCOMPARE(entry.deleteRisk, DeleteRisk::safe);
    QCOMPARE(entry.quantization,
             quantization.isEmpty() ? std::nullopt : std::optional<QString>(quantization));
    QCOMPARE(entry.detail, std::optional<QString>(u"Custom folder: "_s + root));
    QVERIFY(!entry.partialHash);
    QVERIFY(!entry.isDuplicate);
}

void TestCustomFolderScanner::missingFolders_data()
{
    QTest::addColumn<QString>("missing"); // "@" stands for the test's temporary folder
    QTest::newRow("drive that is not mounted") << u"@/media/External/Models"_s;
    QTest::newRow("mount point left empty of its folder") << u"@/mnt/usb/Models"_s;
    QTest::newRow("link to a drive that is gone") << u"@/home/linked"_s;
    QTest::newRow("trailing slash kept") << u"@/media/External/Models/"_s;
}

void TestCustomFolderScanner::missingFolders()
{
    QFETCH(QString, missing);
    TestHome home;
    missing.replace(u'@', home.root());
    QVERIFY(Fixtures::makeTree(home.root(), {u"mnt/usb/"_s, u"home/a/m.gguf:2000000"_s,
                                             u"home/b/n.gguf:2000000"_s,
                                             u"home/linked->../media/External/Models"_s}));
    const QStringList roots{home.file(u"a"_s), missing, home.file(u"b"_s), missing};
    const SourceScan scan = CustomFolderScanner::scan(roots);
    // One message per missing root, in the order of the roots; the others are still scanned.
    QCOMPARE(scan.errors, QStringList(2, u"Custom folder no longer exists: "_s + missing));
    QCOMPARE(pathsOf(scan), (QStringList{home.file(u"a/m.gguf"_s), home.file(u"b/n.gguf"_s)}));
}

void TestCustomFolderScanner::rootsInOrderAndNotDeduplicated()
{
    TestHome home;
    QVERIFY(
        Fixtures::makeTree(home.path(), {u"outer/b.gguf:2000000"_s, u"outer/inner/a.gguf:2000000"_s,
                                         u"copy/a.gguf:2000000"_s}));
    const SourceScan scan = CustomFolderScanner::scan(
        {home.file(u"outer/inner"_s), home.file(u"outer"_s), home.file(u"copy"_s)});
    // Each root's files in pre-order, siblings in byte order of their names.
    QCOMPARE(pathsOf(scan),
             (QStringList{home.file(u"outer/inner/a.gguf"_s), home.file(u"outer/b.gguf"_s),
                          home.file(u"outer/inner/a.gguf"_s), home.file(u"copy/a.gguf"_s)}));
    // Identical copies share an id until the full scan makes ids unique.
    QCOMPARE(scan.models[0].id, u"custom-a-2000000"_s);
    QCOMPARE(scan.models[1].id, u"custom-b-2000000"_s);
    QCOMPARE(scan.models[3].id, u"custom-a-2000000"_s);
}

void TestCustomFolderScanner::detailKeepsTheRootAsStored()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"models/m.gguf:2000000"_s}));
    const QString root = home.file(u"models/"_s);
    const SourceScan scan = CustomFolderScanner::scan({root});
    QCOMPARE(scan.models.size(), 1);
    QCOMPARE(scan.models.first().detail, std::optional<QString>(u"Custom folder: "_s + root));
    QCOMPARE(scan.models.first().primaryPath, home.file(u"models/m.gguf"_s));
}

void TestCustomFolderScanner::trashFoldersAreNotListed()
{
    TestHome home;
    // A custom folder that is a drive's top, or the home itself, holds Trash folders.
    QVERIFY(Fixtures::makeTree(home.path(), {u".local/share/Trash/files/a.gguf:2000000"_s,
                                             u"drive/.Trash-0/files/b.gguf:2000000"_s,
                                             u"drive/.Trash/0/files/c.gguf:2000000"_s,
                                             u"drive/kept.gguf:2000000"_s}));
    const SourceScan scan = CustomFolderScanner::scan({home.path()});
    QCOMPARE(pathsOf(scan), QStringList{home.file(u"drive/kept.gguf"_s)});
}

void TestCustomFolderScanner::unreadableFolderGivesNoError()
{
    TestHome home;
    home.openToEveryone();
    QVERIFY(
        Fixtures::makeTree(home.path(), {u"closed/m.gguf:2000000"_s, u"open/n.gguf:2000000"_s}));
    QCOMPARE(::chmod(QFile::encodeName(home.file(u"closed"_s)).constData(), 0), 0);
    const QStringList roots{home.file(u"closed"_s), home.file(u"open"_s)};
    const QString expected = home.file(u"open/n.gguf"_s);
    // As root everything is readable, which would prove nothing.
    QVERIFY(Fixtures::runUnprivileged([&] {
        const SourceScan scan = CustomFolderScanner::scan(roots);
        return scan.errors.isEmpty() && pathsOf(scan) == QStringList{expected};
    }));
}

QTEST_GUILESS_MAIN(TestCustomFolderScanner)
#include "tst_customfolderscanner.moc"

#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/WhisperScanner.h"

#include <QFile>
#include <QtTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using ScanReadout::pathsOf;

class TestWhisperScanner : public QObject
{
    Q_OBJECT

private slots:
    void displayName_data();
    void displayName();
    void modelFiles_data();
    void modelFiles();
    void everyFolderIsSearchedInOrder();
    void xdgCacheFolderComesLast_data();
    void xdgCacheFolderComesLast();
    void unreadableFolderIsSkipped();
};

void TestWhisperScanner::displayName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("large-v3") << u"ggml-large-v3.bin"_s << u"Whisper Large V3"_s;
    QTest::newRow("base.en") << u"ggml-base.en.bin"_s << u"Whisper Base.en"_s;
    QTest::newRow("turbo q5_0") << u"ggml-large-v3-turbo-q5_0.bin"_s
                                << u"Whisper Large V3 Turbo Q5_0"_s;
    QTest::newRow(".pt keeps its extension") << u"medium.pt"_s << u"Whisper Medium.pt"_s;
    QTest::newRow(".pt with hyphens") << u"large-v3.pt"_s << u"Whisper Large V3.pt"_s;
    QTest::newRow("nothing between prefix and extension") << u"ggml-.bin"_s << u"Whisper "_s;
    QTest::newRow("no hyphen") << u"tiny.bin"_s << u"Whisper Tiny"_s;
    QTest::newRow("doubled, leading and trailing hyphens")
        << u"ggml--small--q8-.bin"_s << u"Whisper Small Q8"_s;
    QTest::newRow(".bin goes before ggml-") << u"ggml-.bin.bin"_s << u"Whisper .bin"_s;
    QTest::newRow("only the prefix of the rest") << u"x-ggml-a.bin"_s << u"Whisper X Ggml A"_s;
    QTest::newRow("full upper-casing of the first character")
        << u"ggml-\u00dfig-\u00e9t\u00e9.bin"_s << u"Whisper SSig \u00c9t\u00e9"_s;
    QTest::newRow("combining mark stays with its letter")
        << u"ggml-e\u0301cho.bin"_s << u"Whisper E\u0301cho"_s;
}

void TestWhisperScanner::displayName()
{
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
    QCOMPARE(WhisperScanner::displayName(fileName), expected);
}

void TestWhisperScanner::modelFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("reported");
    QTest::newRow("ggml at 1,000,000 bytes") << u"ggml-tiny.bin"_s << qint64(1'000'000) << true;
    QTest::newRow("ggml at 999,999 bytes") << u"ggml-tiny.bin"_s << qint64(999'999) << false;
    QTest::newRow(".pt at 1,000,000 bytes") << u"small.pt"_s << qint64(1'000'000) << true;
    QTest::newRow(".pt at 999,999 bytes") << u"small.pt"_s << qint64(999'999) << false;
    QTest::newRow("upper-case prefix") << u"GGML-base.bin"_s << qint64(2'000'000) << false;
    QTest::newRow("upper-case extension") << u"ggml-base.BIN"_s << qint64(2'000'000) << false;
    QTest::newRow("upper-case .PT") << u"small.PT"_s << qint64(2'000'000) << false;
    QTest::newRow("gguf") << u"ggml-base.gguf"_s << qint64(2'000'000) << false;
    QTest::newRow(".bin without the prefix") << u"base.bin"_s << qint64(2'000'000) << false;
    QTest::newRow("dot file ending in .pt") << u".hidden.pt"_s << qint64(2'000'000) << true;
    QTest::newRow("partial download") << u"ggml-base.bin.part"_s << qint64(2'000'000) << false;
}

void TestWhisperScanner::modelFiles()
{
    QFETCH(QString, fileName);
    QFETCH(qint64, size);
    QFETCH(bool, reported);
    TestHome home;
    const QString path = home.file(u".cache/whisper/"_s + fileName);
    QVERIFY(Fixtures::makeSparseFile(path, size));
    QVERIFY(Fixtures::setModified(path, 1'650'000'000));

    const SourceScan scan = WhisperScanner::scan();
    QVERIFY(scan.errors.isEmpty());
    QCOMPARE(scan.models.size(), reported ? 1 : 0);
    if (!reported)
        return;
    const ModelEntry& entry = scan.models.first();
    QCOMPARE(entry.id, u"whisper-"_s + fileName);
    QCOMPARE(entry.name, WhisperScanner::displayName(fileName));
    QCOMPARE(entry.source, ModelSource::whisper);
    QCOMPARE(entry.sizeBytes, size);
    QCOMPARE(entry.reclaimableBytes, size);
    QCOMPARE(entry.primaryPath, path);
    QCOMPARE(entry.allPaths, QStringList{path});
    QCOMPARE(entry.lastModified, QDateTime::fromSecsSinceEpoch(1'650'000'000, Qt::UTC));
    QCOMPARE(entry.deleteRisk, DeleteRisk::safe);
    QCOMPARE(entry.quantization, std::nullopt);
    QCOMPARE(entry.detail, std::optional<QString>(u"Local Whisper transcription model"_s));
    QVERIFY(!entry.partialHash);
    QVERIFY(!entry.isDuplicate);
}

void TestWhisperScanner::everyFolderIsSearchedInOrder()
{
    TestHome home;
    const QStringList files{
        home.file(u".cache/whisper/ggml-a.bin"_s),
        home.file(u".local/share/whisper/ggml-a.bin"_s),
        home.file(u"Library/Application Support/whisper/b.pt"_s),
        home.file(u"whisper.cpp/models/deep/er/ggml-c.bin"_s),
    };
    // Created in reverse so that creation order cannot pass for search order.
    for (qsizetype i = files.size() - 1; i >= 0; --i)
        QVERIFY(Fixtures::makeSparseFile(files[i], 1'500'000));
    const SourceScan scan = WhisperScanner::scan();
    QCOMPARE(pathsOf(scan), files);
    // The same name in two folders gives the same id; the full scan makes them unique.
    QCOMPARE(scan.models[0].id, scan.models[1].id);
}

void TestWhisperScanner::xdgCacheFolderComesLast_data()
{
    QTest::addColumn<QString>("xdgCacheHome"); // relative to the home; empty: unset
    QTest::addColumn<int>("expected");         // entries for one model in ~/.cache/whisper
    QTest::newRow("unset") << QString() << 1;
    QTest::newRow("the default") << u".cache"_s << 1;
    QTest::newRow("the default with a trailing slash") << u".cache/"_s << 1;
    QTest::newRow("a link to the default") << u"cachelink"_s << 1;
    QTest::newRow("somewhere else") << u"xdg-cache"_s << 2;
}

void TestWhisperScanner::xdgCacheFolderComesLast()
{
    QFETCH(QString, xdgCacheHome);
    QFETCH(int, expected);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u".cache/whisper/ggml-x.bin:2000000"_s,
                                             u"xdg-cache/whisper/ggml-y.bin:2000000"_s,
                                             u"cachelink->.cache"_s}));
    home.setEnv("XDG_CACHE_HOME",
                xdgCacheHome.isEmpty() ? QByteArray() : QFile::encodeName(home.file(xdgCacheHome)));
    const SourceScan scan = WhisperScanner::scan();
    QCOMPARE(scan.models.size(), expected);
    QCOMPARE(scan.models.first().primaryPath, home.file(u".cache/whisper/ggml-x.bin"_s));
    if (expected == 2)
        QCOMPARE(scan.models.last().primaryPath, home.file(u"xdg-cache/whisper/ggml-y.bin"_s));
}

void TestWhisperScanner::unreadableFolderIsSkipped()
{
    TestHome home;
    home.openToEveryone();
    QVERIFY(Fixtures::makeTree(home.path(), {u".cache/whisper/ggml-x.bin:2000000"_s,
                                             u"whisper.cpp/models/ggml-y.bin:2000000"_s}));
    QCOMPARE(::chmod(QFile::encodeName(home.file(u".cache/whisper"_s)).constData(), 0), 0);
    const QString expected = home.file(u"whisper.cpp/models/ggml-y.bin"_s);
    // As root everything is readable, which would prove nothing.
    QVERIFY(Fixtures::runUnprivileged([&] {
        const SourceScan scan = WhisperScanner::scan();
        return scan.errors.isEmpty() && pathsOf(scan) == QStringList{expected};
    }));
}

QTEST_GUILESS_MAIN(TestWhisperScanner)
#include "tst_whisperscanner.moc"

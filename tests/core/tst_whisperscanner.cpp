#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/WhisperScanner.h"

#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestWhisperScanner : public QObject
{
    Q_OBJECT

private slots:
    void displayName_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("expected");
        QTest::newRow("base.en") << u"ggml-base.en.bin"_s << u"Whisper Base.en"_s;
        QTest::newRow("turbo q5_0")
            << u"ggml-large-v3-turbo-q5_0.bin"_s << u"Whisper Large V3 Turbo Q5_0"_s;
        QTest::newRow(".pt keeps its extension") << u"large-v3.pt"_s << u"Whisper Large V3.pt"_s;
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

    void displayName()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, expected);
        QCOMPARE(WhisperScanner::displayName(fileName), expected);
    }

    void folders_data()
    {
        QTest::addColumn<QString>("xdgCacheHome"); // relative to the home; empty: unset
        QTest::addColumn<QStringList>("expected");
        const QStringList known{u".cache/whisper/ggml-a.bin:2000000"_s,
                                u".local/share/whisper/ggml-a.bin:2000000"_s,
                                u"Library/Application Support/whisper/b.pt:2000000"_s,
                                u"whisper.cpp/models/deep/er/ggml-c.bin:2000000"_s};
        // The cache folder the environment names comes last, unless it is a known one.
        QTest::newRow("unset") << QString() << known;
        QTest::newRow("the default") << u".cache"_s << known;
        QTest::newRow("the default with a trailing slash") << u".cache/"_s << known;
        QTest::newRow("a link to the default") << u"cachelink"_s << known;
        QTest::newRow("somewhere else")
            << u"xdg"_s << known + QStringList{u"xdg/whisper/ggml-y.bin:2000000"_s};
    }

    void folders()
    {
        QFETCH(QString, xdgCacheHome);
        QFETCH(QStringList, expected);
        TestHome home;
        // In reverse, so that creation order cannot pass for search order.
        QStringList tree{u"cachelink->.cache"_s, u"xdg/whisper/ggml-y.bin:2000000"_s};
        for (qsizetype i = 3; i >= 0; --i)
            tree.push_back(expected[i]);
        QVERIFY(Fixtures::makeTree(home.path(), tree));
        home.setEnv("XDG_CACHE_HOME", xdgCacheHome.isEmpty()
                                          ? QByteArray()
                                          : QFile::encodeName(home.file(xdgCacheHome)));
        QCOMPARE(ScanReadout::entriesIn(WhisperScanner::scan(), home), expected);
    }
};

QTEST_GUILESS_MAIN(TestWhisperScanner)
#include "tst_whisperscanner.moc"

#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/LooseScanner.h"

#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;
using ScanReadout::entriesIn;

class TestLooseScanner : public QObject
{
    Q_OBJECT

private slots:
    void claimedPathsAreExcluded()
    {
        TestHome home;
        QVERIFY(Fixtures::makeTree(
            home.path(), {u"Documents/a.gguf:20000000"_s, u"Documents/b.gguf:20000000"_s}));
        const QString claimed = home.file(u"Documents/a.gguf"_s);
        QCOMPARE(entriesIn(LooseScanner::scan({claimed}), home),
                 QStringList{u"Documents/b.gguf:20000000"_s});
        // Exact text: another spelling of the same path does not exclude it.
        QCOMPARE(LooseScanner::scan({home.file(u"Documents/./a.gguf"_s)}).models.size(), 2);
    }

    void userDirectory_data()
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
            << QByteArray("XDG_DESKTOP_DIR=\"$HOME/a\"\nXDG_DOWNLOAD_DIRS=\"$HOME/b\"")
            << QString();
        QTest::newRow("commented out") << QByteArray("#XDG_DOWNLOAD_DIR=\"$HOME/a\"") << QString();
        QTest::newRow("relative value") << QByteArray("XDG_DOWNLOAD_DIR=\"dl\"") << QString();
        QTest::newRow("unquoted") << QByteArray("XDG_DOWNLOAD_DIR=$HOME/dl") << QString();
        QTest::newRow("unterminated") << QByteArray("XDG_DOWNLOAD_DIR=\"$HOME/dl") << QString();
        QTest::newRow("other variable") << QByteArray("XDG_DOWNLOAD_DIR=\"$HOMEdl\"") << QString();
        QTest::newRow("not UTF-8") << QByteArray("XDG_DOWNLOAD_DIR=\"$HOME/\xff\"") << QString();
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void userDirectory()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        const std::optional<QString> value =
            LooseScanner::userDirectory(text, "DOWNLOAD", u"/home/ann"_s);
        QCOMPARE(value.has_value(), !expected.isNull());
        QCOMPARE(value.value_or(QString()), expected.replace(u'@', u"/home/ann"_s));
    }

    void userDirsChooseTheFolders()
    {
        TestHome home;
        home.setEnv("XDG_CONFIG_HOME", QFile::encodeName(home.file(u"cfg"_s)));
        QVERIFY(Fixtures::makeTree(
            home.path(), {u"cfg/user-dirs.dirs=XDG_DOWNLOAD_DIR=\"$HOME/Telechargements\"\n"
                          u"XDG_DESKTOP_DIR=\"$HOME/\"\n"_s,
                          u"Downloads/a.gguf:20000000"_s, u"Telechargements/b.gguf:20000000"_s,
                          u"Documents/c.gguf:20000000"_s, u"Desktop/d.gguf:20000000"_s}));
        // A folder set to the home itself is switched off.
        QCOMPARE(
            entriesIn(LooseScanner::scan({}), home),
            (QStringList{u"Telechargements/b.gguf:20000000"_s, u"Documents/c.gguf:20000000"_s}));
    }
};

QTEST_GUILESS_MAIN(TestLooseScanner)
#include "tst_loosescanner.moc"

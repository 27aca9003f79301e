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
    void layouts_data()
    {
        ScanReadout::layoutColumns();
        const QString dirs = u".config/user-dirs.dirs="_s;
        QTest::newRow("English names, in order")
            << QStringList{u"Desktop/a.gguf:20000000"_s, u"Documents/b.gguf:20000000"_s,
                           u"Downloads/c.gguf:20000000"_s, u"e.gguf:20000000"_s}
            << QStringList{u"Downloads/c.gguf:20000000"_s, u"Documents/b.gguf:20000000"_s,
                           u"Desktop/a.gguf:20000000"_s};
        // Folders are compared after resolving: one reached by the walk of another is not
        // walked again.
        QTest::newRow("Desktop inside Documents")
            << QStringList{dirs + u"XDG_DESKTOP_DIR=\"$HOME/Documents/Desktop\""_s,
                           u"Documents/Desktop/m.gguf:20000000"_s}
            << QStringList{u"Documents/Desktop/m.gguf:20000000"_s};
        QTest::newRow("Documents inside Desktop, which comes later")
            << QStringList{dirs + u"XDG_DOCUMENTS_DIR=\"$HOME/Desktop/Docs\""_s,
                           u"Desktop/Docs/m.gguf:20000000"_s}
            << QStringList{u"Desktop/Docs/m.gguf:20000000"_s};
        QTest::newRow("same folder with a trailing slash")
            << QStringList{dirs + u"XDG_DESKTOP_DIR=\"$HOME/Documents/\""_s,
                           u"Documents/m.gguf:20000000"_s}
            << QStringList{u"Documents/m.gguf:20000000"_s};
        QTest::newRow("same folder through a link")
            << QStringList{u"Documents/m.gguf:20000000"_s, u"Desktop->Documents"_s}
            << QStringList{u"Documents/m.gguf:20000000"_s};
        QTest::newRow("a link to the home")
            << QStringList{u"Downloads->."_s, u"m.gguf:20000000"_s, u"Documents/n.gguf:20000000"_s}
            << QStringList{u"Documents/n.gguf:20000000"_s};
        QTest::newRow("inside a hidden folder of another is walked itself")
            << QStringList{dirs + u"XDG_DESKTOP_DIR=\"$HOME/Documents/.private/Desk\""_s,
                           u"Documents/.private/Desk/m.gguf:20000000"_s}
            << QStringList{u"Documents/.private/Desk/m.gguf:20000000"_s};
        QTest::newRow("siblings with a common prefix")
            << QStringList{dirs + u"XDG_DESKTOP_DIR=\"$HOME/Documents2\""_s,
                           u"Documents/a.gguf:20000000"_s, u"Documents2/b.gguf:20000000"_s}
            << QStringList{u"Documents/a.gguf:20000000"_s, u"Documents2/b.gguf:20000000"_s};
        const QString line = u"XDG_DOWNLOAD_DIR=\"$HOME/dl\"\n"_s;
        const QStringList files{u"dl/a.gguf:20000000"_s, u"Downloads/b.gguf:20000000"_s};
        QTest::newRow("settings of exactly 1 MiB")
            << QStringList{dirs + line + QString((1 << 20) - line.size(), u'#')} + files
            << QStringList{u"dl/a.gguf:20000000"_s};
        QTest::newRow("settings one byte over 1 MiB: English names")
            << QStringList{dirs + line + QString((1 << 20) - line.size() + 1, u'#')} + files
            << QStringList{u"Downloads/b.gguf:20000000"_s};
    }

    void layouts()
    {
        ScanReadout::checkLayout([](const TestHome&) { return LooseScanner::scan({}); });
    }

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

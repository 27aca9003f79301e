#include "TestHome.h"
#include "text/Format.h"

#include <QTest>
#include <limits>
#include <unistd.h>

class FormatTest : public QObject
{
    Q_OBJECT

private slots:
    void bytes_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("expected");
        const auto add = [](qint64 count, const char* expected) {
            QTest::addRow("%lld", qlonglong(count)) << count << QString::fromUtf8(expected);
        };
        add(0, "Zero KB");
        add(1, "1 byte");
        add(999, "999 bytes");
        add(1000, "1 KB");
        add(1499, "1 KB");
        add(1500, "2 KB"); // half up
        add(999'499, "999 KB");
        add(999'999, "1 MB"); // rounds to 1000 KB: the next unit
        add(1'249'999, "1.2 MB");
        add(1'250'000, "1.3 MB"); // half away from zero
        add(999'949'999, "999.9 MB");
        add(999'950'000, "1 GB");
        add(2'405'000'000, "2.41 GB");
        add(2'500'000'000, "2.5 GB"); // no trailing zero
        add(999'995'000'000, "1 TB");
        add(1'000'000'000'000'000, "1 PB");
        add(1'000'000'000'000'000'000, "1 EB");
        add(std::numeric_limits<qint64>::max(), "9.22 EB");
        add(-1, "-1 byte");
        add(-1'250'000, "-1.3 MB");
        add(std::numeric_limits<qint64>::min(), "-9.22 EB");
    }

    void bytes()
    {
        QFETCH(qint64, count);
        QFETCH(QString, expected);
        QCOMPARE(Format::bytes(count), expected);
    }

    void relativeDate_data()
    {
        QTest::addColumn<qint64>("secondsAgo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0 days") << qint64(0) << u"Today"_qs;
        QTest::newRow("23 hours") << qint64(23 * 3600) << u"Today"_qs;
        QTest::newRow("future") << qint64(-5 * 86'400) << u"Today"_qs;
        QTest::newRow("1 day") << qint64(86'400) << u"Yesterday"_qs;
        QTest::newRow("1 day 23 h") << qint64(86'400 * 2 - 1) << u"Yesterday"_qs;
        QTest::newRow("2 days") << qint64(2 * 86'400) << u"2 days ago"_qs;
        QTest::newRow("6 days") << qint64(6 * 86'400) << u"6 days ago"_qs;
        QTest::newRow("7 days") << qint64(7 * 86'400) << u"1 week ago"_qs;
        QTest::newRow("13 days") << qint64(13 * 86'400) << u"1 week ago"_qs;
        QTest::newRow("14 days") << qint64(14 * 86'400) << u"2 weeks ago"_qs;
        QTest::newRow("29 days") << qint64(29 * 86'400) << u"4 weeks ago"_qs;
        // A month back and more: month and year, in English where the system locale is C.
        QTest::newRow("30 days") << qint64(30 * 86'400) << u"Apr 2026"_qs;
        QTest::newRow("two years") << qint64(1'780'000'000 - 1'710'504'000) << u"Mar 2024"_qs;
        QTest::newRow("the epoch") << qint64(1'780'000'000) << u"—"_qs;
        QTest::newRow("before 1970") << qint64(1'780'086'400) << u"—"_qs;
    }

    void relativeDate()
    {
        QFETCH(qint64, secondsAgo);
        QFETCH(QString, expected);
        const bool monthYear = expected.size() == 8 && expected.at(3) == u' ';
        if (monthYear && QLocale::system().language() != QLocale::C)
            QSKIP("the system locale is not C here");
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1'780'000'000);
        QCOMPARE(Format::relativeDate(now.addSecs(-secondsAgo), now), expected);
        QCOMPARE(Format::relativeDate(std::nullopt, now), u"—"_qs);
        QCOMPARE(Format::relativeDate(QDateTime(), now), u"—"_qs);
    }

    void shortPath_data()
    {
        QTest::addColumn<QString>("relative"); // appended to the home path
        QTest::addColumn<QString>("expected"); // "<home>" stands for the home path
        QTest::newRow("two levels below") << u"/Models/a.gguf"_qs << u"~/Models/a.gguf"_qs;
        QTest::newRow("directly inside") << u"/a"_qs << u"~/a"_qs;
        QTest::newRow("home itself") << QString() << u"<home>"_qs;
        QTest::newRow("sibling extending the name") << u"2/file"_qs << u"<home>2/file"_qs;
        QTest::newRow("sibling with dash") << u"-old/x"_qs << u"<home>-old/x"_qs;
    }

    void shortPath()
    {
        QFETCH(QString, relative);
        QFETCH(QString, expected);
        TestHome home;
        expected.replace(u"<home>"_qs, home.path());
        QCOMPARE(Format::shortPath(home.path() + relative), expected);
        QCOMPARE(Format::shortPath(u"/elsewhere/file"_qs), u"/elsewhere/file"_qs);
        // In a message: every such path, not one inside another folder.
        const QString other = u"/mnt"_qs + home.path() + relative;
        QCOMPARE(Format::shortPathsIn(u"“"_qs + home.path() + relative + u"”, not "_qs + other),
                 u"“"_qs + expected + u"”, not "_qs + other);
    }

    void shortPathThroughResolvedHome()
    {
        TestHome home;
        // HOME is a symlink to the real folder: paths reported by realpath still shorten.
        const QString link = home.root() + u"/linkhome"_qs;
        QVERIFY(::symlink(home.path().toUtf8().constData(), link.toUtf8().constData()) == 0);
        home.setEnv("HOME", link.toUtf8());
        QCOMPARE(Format::shortPath(link + u"/x/y"_qs), u"~/x/y"_qs);
        QCOMPARE(Format::shortPath(home.path() + u"/x/y"_qs), u"~/x/y"_qs);
        QCOMPARE(Format::shortPath(home.path() + u"x/y"_qs), home.path() + u"x/y"_qs);
    }
};

QTEST_GUILESS_MAIN(FormatTest)
#include "tst_format.moc"

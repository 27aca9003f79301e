#include "TestHome.h"
#include "fs/Format.h"

#include <QDir>
#include <QTest>
#include <limits>
#include <unistd.h>

class FormatTest : public QObject
{
    Q_OBJECT

private slots:
    void bytes_data();
    void bytes();
    void relativeDate_data();
    void relativeDate();
    void relativeDateAbsentOrEarly();
    void monthYearInCLocale();
    void shortPath_data();
    void shortPath();
    void shortPathThroughResolvedHome();
};

void FormatTest::bytes_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << qint64(0) << u"Zero KB"_qs;
    QTest::newRow("1") << qint64(1) << u"1 byte"_qs;
    QTest::newRow("2") << qint64(2) << u"2 bytes"_qs;
    QTest::newRow("999") << qint64(999) << u"999 bytes"_qs;
    QTest::newRow("1000") << qint64(1000) << u"1 KB"_qs;
    QTest::newRow("1499") << qint64(1499) << u"1 KB"_qs;
    QTest::newRow("1500 half up") << qint64(1500) << u"2 KB"_qs;
    QTest::newRow("999,499") << qint64(999'499) << u"999 KB"_qs;
    QTest::newRow("999,999 moves up") << qint64(999'999) << u"1 MB"_qs;
    QTest::newRow("1,000,000") << qint64(1'000'000) << u"1 MB"_qs;
    QTest::newRow("1,250,000 half away") << qint64(1'250'000) << u"1.3 MB"_qs;
    QTest::newRow("1,249,999") << qint64(1'249'999) << u"1.2 MB"_qs;
    QTest::newRow("999,950,000 moves up") << qint64(999'950'000) << u"1 GB"_qs;
    QTest::newRow("999,949,999") << qint64(999'949'999) << u"999.9 MB"_qs;
    QTest::newRow("10^9") << qint64(1'000'000'000) << u"1 GB"_qs;
    QTest::newRow("2,470,000,000") << qint64(2'470'000'000) << u"2.47 GB"_qs;
    QTest::newRow("2,405,000,000 trailing zero") << qint64(2'405'000'000) << u"2.41 GB"_qs;
    QTest::newRow("2,500,000,000") << qint64(2'500'000'000) << u"2.5 GB"_qs;
    QTest::newRow("999,995,000,000 moves up") << qint64(999'995'000'000) << u"1 TB"_qs;
    QTest::newRow("10^12") << qint64(1'000'000'000'000) << u"1 TB"_qs;
    QTest::newRow("10^15") << qint64(1'000'000'000'000'000) << u"1 PB"_qs;
    QTest::newRow("10^18") << qint64(1'000'000'000'000'000'000) << u"1 EB"_qs;
    QTest::newRow("max") << std::numeric_limits<qint64>::max() << u"9.22 EB"_qs;
    QTest::newRow("-1") << qint64(-1) << u"-1 byte"_qs;
    QTest::newRow("-1,250,000") << qint64(-1'250'000) << u"-1.3 MB"_qs;
    QTest::newRow("min") << std::numeric_limits<qint64>::min() << u"-9.22 EB"_qs;
}

void FormatTest::bytes()
{
    QFETCH(qint64, count);
    QFETCH(QString, expected);
    QCOMPARE(Format::bytes(count), expected);
}

void FormatTest::relativeDate_data()
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
}

void FormatTest::relativeDate()
{
    QFETCH(qint64, secondsAgo);
    QFETCH(QString, expected);
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'780'000'000);
    QCOMPARE(Format::relativeDate(now.addSecs(-secondsAgo), now), expected);
}

void FormatTest::relativeDateAbsentOrEarly()
{
    const QDateTime now = QDateTime::currentDateTime();
    QCOMPARE(Format::relativeDate(std::nullopt, now), u"—"_qs);
    QCOMPARE(Format::relativeDate(QDateTime::fromSecsSinceEpoch(0), now), u"—"_qs);
    QCOMPARE(Format::relativeDate(QDateTime::fromSecsSinceEpoch(-86'400 * 400), now), u"—"_qs);
    QCOMPARE(Format::relativeDate(QDateTime(), now), u"—"_qs);
}

void FormatTest::monthYearInCLocale()
{
    // Where the system locale is C, the month and year are given in English.
    if (QLocale::system().language() != QLocale::C)
        QSKIP("the system locale is not C here");
    const QDateTime now(QDate(2026, 12, 6), QTime(9, 41));
    QCOMPARE(Format::relativeDate(now.addDays(-30), now), u"Nov 2026"_qs);
    QCOMPARE(Format::relativeDate(QDateTime(QDate(2024, 3, 15), QTime(12, 0)), now),
             u"Mar 2024"_qs);
}

void FormatTest::shortPath_data()
{
    QTest::addColumn<QString>("relative"); // appended to the home path
    QTest::addColumn<QString>("expected"); // "~" stands for the tilde form
    QTest::newRow("two levels below") << u"/Models/a.gguf"_qs << u"~/Models/a.gguf"_qs;
    QTest::newRow("directly inside") << u"/a"_qs << u"~/a"_qs;
    QTest::newRow("home itself") << QString() << u"<home>"_qs;
    QTest::newRow("sibling extending the name") << u"2/file"_qs << u"<home>2/file"_qs;
    QTest::newRow("sibling with dash") << u"-old/x"_qs << u"<home>-old/x"_qs;
}

void FormatTest::shortPath()
{
    QFETCH(QString, relative);
    QFETCH(QString, expected);
    TestHome home;
    const QString path = home.path() + relative;
    expected.replace(u"<home>"_qs, home.path());
    QCOMPARE(Format::shortPath(path), expected);
    QCOMPARE(Format::shortPath(u"/elsewhere/file"_qs), u"/elsewhere/file"_qs);
}

void FormatTest::shortPathThroughResolvedHome()
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

QTEST_GUILESS_MAIN(FormatTest)
#include "tst_format.moc"

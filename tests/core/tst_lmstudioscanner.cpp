#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/LMStudioScanner.h"

#include <QFile>
#include <QTest>

namespace {

// Tree lines relative to the home, with "<HOME>" standing for the home's path; a file line
// ending in "^<n>" is padded with line breaks to n bytes.
bool makeHomeTree(const TestHome& home, QStringList lines)
{
    for (QString& line : lines) {
        line.replace(u"<HOME>"_qs, home.path());
        const qsizetype caret = line.lastIndexOf(u'^');
        if (caret < 0)
            continue;
        const qsizetype size = line.mid(caret + 1).toLongLong();
        line.truncate(caret);
        line += QString(size - line.mid(line.indexOf(u'=') + 1).toUtf8().size(), u'\n');
    }
    return Fixtures::makeTree(home.path(), lines);
}

} // namespace

class LMStudioScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void modelsDirs_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("expected"); // relative to the home
        const QString both = u".lmstudio/models/"_qs;
        // Settings that name nothing usable leave the default folder alone.
        const auto defaultOnly = [&](const char* name, const QStringList& tree) {
            QTest::newRow(name) << QStringList{both} + tree << QStringList{u".lmstudio/models"_qs};
        };
        QTest::newRow("the two default folders")
            << QStringList{both, u".cache/lm-studio/models/"_qs}
            << QStringList{u".lmstudio/models"_qs, u".cache/lm-studio/models"_qs};
        QTest::newRow("missing folders dropped") << QStringList{u".cache/lm-studio/models/"_qs}
                                                 << QStringList{u".cache/lm-studio/models"_qs};
        QTest::newRow("downloads folder before its base's models")
            << QStringList{both, u"dl/"_qs, u".cache/lm-studio/models/"_qs,
                           u".cache/lm-studio/settings.json={\"downloadsFolder\":\"<HOME>/dl\"}"_qs}
            << QStringList{u".lmstudio/models"_qs, u"dl"_qs, u".cache/lm-studio/models"_qs};
        QTest::newRow("downloads folder equal to a models folder: once, as written")
            << QStringList{both, u".lmstudio/settings.json={\"downloadsFolder\":"
                                 u"\"<HOME>/.lmstudio/models/\"}"_qs}
            << QStringList{u".lmstudio/models/"_qs};
        QTest::newRow("pointed base first, trimmed")
            << QStringList{both, u"lms/models/"_qs, u"lms/dl/"_qs,
                           u"lms/settings.json={\"downloadsFolder\":\"<HOME>/lms/dl\"}"_qs,
                           u".lmstudio-home-pointer= \t<HOME>/lms/\n\n"_qs}
            << QStringList{u"lms/dl"_qs, u"lms/models"_qs, u".lmstudio/models"_qs};
        defaultOnly("one base links to the other: once", {u".cache/lm-studio->../.lmstudio"_qs});
        defaultOnly("relative downloads folder",
                    {u"dl/"_qs, u".lmstudio/settings.json={\"downloadsFolder\":\"dl\"}"_qs});
        defaultOnly("settings not an object",
                    {u"dl/"_qs, u".lmstudio/settings.json=[\"<HOME>/dl\"]"_qs});
        defaultOnly("downloads folder not text",
                    {u".lmstudio/settings.json={\"downloadsFolder\":5}"_qs});
        defaultOnly("settings not JSON", {u".lmstudio/settings.json={\"downloadsFolder\":"_qs});
        defaultOnly("relative pointer", {u"lms/models/"_qs, u".lmstudio-home-pointer=lms"_qs});
        defaultOnly("pointer to a missing folder", {u".lmstudio-home-pointer=<HOME>/gone"_qs});
        defaultOnly("pointer to a file", {u"lms=x"_qs, u".lmstudio-home-pointer=<HOME>/lms"_qs});
        // The pointer and the settings are read up to 1 MiB.
        const QString pointer = u".lmstudio-home-pointer=<HOME>/other^"_qs;
        const QString settings =
            u".lmstudio/settings.json={\"downloadsFolder\":\"<HOME>/other\"}^"_qs;
        const QString mib = QString::number(1 << 20), over = QString::number((1 << 20) + 1);
        QTest::newRow("pointer of exactly 1 MiB")
            << QStringList{both, u"other/models/"_qs, pointer + mib}
            << QStringList{u"other/models"_qs, u".lmstudio/models"_qs};
        defaultOnly("pointer one byte larger", {u"other/models/"_qs, pointer + over});
        QTest::newRow("settings of exactly 1 MiB")
            << QStringList{both, u"other/models/"_qs, settings + mib}
            << QStringList{u"other"_qs, u".lmstudio/models"_qs};
        defaultOnly("settings one byte larger", {u"other/models/"_qs, settings + over});
    }

    void modelsDirs()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, expected);
        TestHome home;
        QVERIFY(makeHomeTree(home, tree));
        for (QString& path : expected)
            path = home.file(path);
        QCOMPARE(LMStudioScanner::modelsDirs(), expected);
    }
};

QTEST_GUILESS_MAIN(LMStudioScannerTest)
#include "tst_lmstudioscanner.moc"

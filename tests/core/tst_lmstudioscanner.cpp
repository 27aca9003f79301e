#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/LMStudioScanner.h"

#include <QFile>
#include <QTest>

namespace {

// Tree lines relative to the home, with "<HOME>" standing for the home's path.
bool makeHomeTree(const TestHome& home, QStringList lines)
{
    for (QString& line : lines)
        line.replace(u"<HOME>"_qs, home.path());
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

    void sizeLimits_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("used");
        const QString pointer = u".lmstudio-home-pointer"_qs;
        const QString settings = u".lmstudio/settings.json"_qs;
        QTest::newRow("pointer of exactly 1 MiB") << pointer << (qint64(1) << 20) << true;
        QTest::newRow("pointer one byte larger") << pointer << (qint64(1) << 20) + 1 << false;
        QTest::newRow("settings of exactly 1 MiB") << settings << (qint64(1) << 20) << true;
        QTest::newRow("settings one byte larger") << settings << (qint64(1) << 20) + 1 << false;
    }

    void sizeLimits()
    {
        QFETCH(QString, file);
        QFETCH(qint64, size);
        QFETCH(bool, used);
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(), {u".lmstudio/models/"_qs, u"other/models/"_qs}));
        const QString other = home.file(u"other"_qs);
        QByteArray content = file.endsWith(u".json"_qs)
                                 ? "{\"downloadsFolder\":\"" + QFile::encodeName(other) + "\"}"
                                 : QFile::encodeName(other);
        content.append(QByteArray(size - content.size(), '\n'));
        QVERIFY(Fixtures::writeFile(home.file(file), content));
        const QStringList dirs = LMStudioScanner::modelsDirs();
        QCOMPARE(dirs.contains(other) || dirs.contains(other + u"/models"_qs), used);
    }
};

QTEST_GUILESS_MAIN(LMStudioScannerTest)
#include "tst_lmstudioscanner.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/ComfyUIScanner.h"

#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestComfyUIScanner : public QObject
{
    Q_OBJECT

private slots:
    void extraModelPaths_data()
    {
        QTest::addColumn<QByteArray>("yaml");
        QTest::addColumn<QStringList>("expected"); // relative to the home
        const QStringList shared{u"AI/shared"_s};
        const QStringList none;
        const QByteArray line("base_path: ~/AI/shared\n");
        QTest::newRow("indented, single quotes, tilde")
            << QByteArray("comfyui:\n    base_path: '~/AI/shared'\n    checkpoints: models/x\n")
            << shared;
        QTest::newRow("mixed quotes on both ends")
            << QByteArray("base_path: \"'~/AI/shared'\"'") << shared;
        QTest::newRow("no blank after the colon") << QByteArray("base_path:~/AI/shared") << shared;
        QTest::newRow("tabs and no-break spaces around")
            << QByteArray("\t\xc2\xa0 base_path:\t~/AI/shared \xe3\x80\x80\t") << shared;
        QTest::newRow("trailing comment names nothing")
            << QByteArray("base_path: ~/AI/shared # mine") << none;
        QTest::newRow("commented-out line") << QByteArray("# base_path: ~/AI/shared") << none;
        QTest::newRow("key in other case") << QByteArray("Base_path: ~/AI/shared") << none;
        QTest::newRow("empty value") << QByteArray("base_path:  '' \nbase_path:") << none;
        QTest::newRow("missing folder") << QByteArray("base_path: ~/AI/gone") << none;
        QTest::newRow("lone tilde is not the home") << QByteArray("base_path: ~") << none;
        QTest::newRow("two lines both count, in file order")
            << QByteArray("a:\n  base_path: ~/AI/other\nb:\n  base_path: ~/AI/shared\n")
            << QStringList{u"AI/other"_s, u"AI/shared"_s};
        QTest::newRow("CRLF, CR and U+2028 line breaks")
            << QByteArray("x: 1\r\nbase_path: ~/AI/other\rbase_path: ~/AI/shared\xe2\x80\xa8y: 2")
            << QStringList{u"AI/other"_s, u"AI/shared"_s};
        QTest::newRow("absolute value") << QByteArray("base_path: @HOME@/AI/shared") << shared;
        // The current folder is elsewhere: only the file's own folder can give this.
        QTest::newRow("relative value from the file's folder")
            << QByteArray("base_path: ../AI/shared") << shared;
        QTest::newRow("very long line before")
            << QByteArray(900'000, 'x') + "\nbase_path: ~/AI/shared" << shared;
        QTest::newRow("not UTF-8") << line + "comment: caf\xe9\n" << none;
        QTest::newRow("exactly 1 MiB")
            << line + QByteArray((1 << 20) - line.size(), '\n') << shared;
        QTest::newRow("one byte over 1 MiB")
            << line + QByteArray((1 << 20) - line.size() + 1, '\n') << none;
        QTest::newRow("binary with a NUL") << QByteArray("base_path: ~/AI/\0shared", 23) << none;
    }

    void extraModelPaths()
    {
        QFETCH(QByteArray, yaml);
        QFETCH(QStringList, expected);
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(), {u"AI/shared/"_s, u"AI/other/"_s, u"ComfyUI/"_s}));
        const QString file = home.file(u"ComfyUI/extra_model_paths.yaml"_s);
        QVERIFY(Fixtures::writeFile(file, yaml.replace("@HOME@", QFile::encodeName(home.path()))));
        for (QString& path : expected)
            path = home.file(path);
        QCOMPARE(ComfyUIScanner::extraModelPaths(file), expected);
    }
};

QTEST_GUILESS_MAIN(TestComfyUIScanner)
#include "tst_comfyuiscanner.moc"

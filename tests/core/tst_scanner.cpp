#include "model/BrimvaleError.h"
#include "scanners/Scanner.h"

#include <QMutex>
#include <QTest>
#include <QThreadPool>
#include <algorithm>
#include <future>
#include <vector>

namespace {

ModelEntry entry(const QString& id, const QString& path = {})
{
    return ModelEntry(id, id, ModelSource::custom, 1, std::nullopt, path, {path}, std::nullopt,
                      DeleteRisk::safe, std::nullopt, std::nullopt);
}

QStringList ids(const QList<ModelEntry>& models)
{
    QStringList result;
    for (const ModelEntry& model : models)
        result.push_back(model.id);
    return result;
}

} // namespace

class TestScanner : public QObject
{
    Q_OBJECT

private slots:
    void mergeKeepsSlotOrder_data();
    void mergeKeepsSlotOrder();
    void failingScannerKeepsItsSlotEmpty();
    void uniqueIds_data();
    void uniqueIds();
    void claimedPathsTakeEveryPath();
};

void TestScanner::mergeKeepsSlotOrder_data()
{
    QTest::addColumn<QList<int>>("finishing");
    QTest::newRow("in order") << QList<int>{0, 1, 2, 3, 4, 5, 6};
    QTest::newRow("reversed") << QList<int>{6, 5, 4, 3, 2, 1, 0};
    QTest::newRow("shuffled") << QList<int>{3, 6, 0, 5, 1, 4, 2};
}

// Each job waits for the one before it in the finishing order, so the jobs really finish in
// that order (all seven run at once); the merge must still follow the slots.
void TestScanner::mergeKeepsSlotOrder()
{
    QFETCH(QList<int>, finishing);
    std::vector<std::promise<void>> finished(7);
    std::vector<std::shared_future<void>> waits;
    for (auto& promise : finished)
        waits.push_back(promise.get_future().share());
    std::vector<int> previous(7, -1);
    for (qsizetype i = 1; i < finishing.size(); ++i)
        previous[static_cast<size_t>(finishing[i])] = finishing[i - 1];

    QMutex orderLock;
    QList<int> actualOrder;
    QList<Scanner::SourceJob> jobs;
    for (int slot = 0; slot < 7; ++slot) {
        const auto job = [&, slot] {
            if (previous[static_cast<size_t>(slot)] >= 0)
                waits[static_cast<size_t>(previous[static_cast<size_t>(slot)])].wait();
            SourceScan scan;
            scan.models = {entry(QStringLiteral("m%1a").arg(slot)),
                           entry(QStringLiteral("m%1b").arg(slot))};
            scan.errors = {QStringLiteral("e%1").arg(slot)};
            {
                QMutexLocker lock(&orderLock);
                actualOrder.push_back(slot);
            }
            finished[static_cast<size_t>(slot)].set_value();
            return scan;
        };
        jobs.push_back({ModelSource::custom, job});
    }
    QThreadPool pool;
    pool.setMaxThreadCount(1); // grown to one thread per job by the call
    ScanProgress progress;
    const SourceScan merged = Scanner::merge(Scanner::runSideBySide(jobs, pool, &progress));

    QCOMPARE(actualOrder, finishing);
    QStringList expectedIds;
    QStringList expectedErrors;
    for (int slot = 0; slot < 7; ++slot) {
        expectedIds << QStringLiteral("m%1a").arg(slot) << QStringLiteral("m%1b").arg(slot);
        expectedErrors << QStringLiteral("e%1").arg(slot);
    }
    QCOMPARE(ids(merged.models), expectedIds);
    QCOMPARE(merged.errors, expectedErrors);
    QCOMPARE(progress.sourcesDone.load(), 7);
}

// A scanner that throws leaves its slot with one error naming its source; the others stand.
void TestScanner::failingScannerKeepsItsSlotEmpty()
{
    const QList<Scanner::SourceJob> jobs{
        {ModelSource::ollama,
         [] {
             return SourceScan{{entry(QStringLiteral("a"))}, {}};
         }},
        {ModelSource::lmStudio, []() -> SourceScan { throw std::runtime_error("broken"); }},
        {ModelSource::codingCache, []() -> SourceScan { throw 42; }},
        {ModelSource::whisper,
         []() -> SourceScan { throw BrimvaleError(QStringLiteral("as is")); }},
        {ModelSource::custom,
         [] {
             return SourceScan{{entry(QStringLiteral("c"))}, {QStringLiteral("c failed")}};
         }},
    };
    QThreadPool pool;
    const QList<SourceScan> results = Scanner::runSideBySide(jobs, pool);
    QCOMPARE(results.size(), 5);
    QVERIFY(results[1].models.isEmpty());
    const SourceScan merged = Scanner::merge(results);
    QCOMPARE(ids(merged.models), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(merged.errors, (QStringList{QStringLiteral("Could not scan LM Studio: broken"),
                                         QStringLiteral("Could not scan AI Caches: Unknown error"),
                                         QStringLiteral("as is"), QStringLiteral("c failed")}));
}

void TestScanner::uniqueIds_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QStringList>("expected");
    const QString m = QStringLiteral("model");
    QTest::newRow("three from different slots")
        << QStringList{m, m, m} << QStringList{m, m + u"~1", m + u"~2"};
    QTest::newRow("scanner-given suffix after the repeats")
        << QStringList{m, m, m + u"~1"} << QStringList{m, m + u"~2", m + u"~1"};
    QTest::newRow("scanner-given suffix first")
        << QStringList{m + u"~1", m, m} << QStringList{m + u"~1", m, m + u"~2"};
    QTest::newRow("suffix taken by an earlier repeat")
        << QStringList{m, m + u"~1", m + u"~1", m}
        << QStringList{m, m + u"~1", m + u"~1~1", m + u"~2"};
    QTest::newRow("several reserved in a row")
        << QStringList{m, m + u"~2", m, m + u"~1", m}
        << QStringList{m, m + u"~2", m + u"~3", m + u"~1", m + u"~4"};
    QTest::newRow("distinct ids unchanged")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a~1")}
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a~1")};
    QTest::newRow("empty") << QStringList{} << QStringList{};
}

void TestScanner::uniqueIds()
{
    QFETCH(QStringList, given);
    QFETCH(QStringList, expected);
    QList<ModelEntry> models;
    for (const QString& id : given)
        models.push_back(entry(id));
    Scanner::makeIDsUnique(models);
    QCOMPARE(ids(models), expected);
    QSet<QString> seen(expected.cbegin(), expected.cend());
    QCOMPARE(seen.size(), expected.size());
}

void TestScanner::claimedPathsTakeEveryPath()
{
    ModelEntry a = entry(QStringLiteral("a"), QStringLiteral("/m/a"));
    a.allPaths = {QStringLiteral("/m/a"), QStringLiteral("/m/a-blob")};
    const ModelEntry b = entry(QStringLiteral("b"), QStringLiteral("/m/b"));
    QCOMPARE(Scanner::claimedPaths({a, b}),
             (QSet<QString>{QStringLiteral("/m/a"), QStringLiteral("/m/a-blob"),
                            QStringLiteral("/m/b")}));
}

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"

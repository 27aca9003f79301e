#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "model/BrimvaleError.h"
#include "model/TrashPolicy.h"
#include "scanners/ClaimedPaths.h"
#include "scanners/Scanner.h"

#include <QFile>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

using ScanReadout::idsOf;

namespace {

// "Source path [root]": an entry of that source (raw value) listing the path; a root makes it a
// custom entry found through that stored folder.
ModelEntry entry(const QString& text)
{
    const QStringList parts = text.split(u' ');
    const QString path = parts.value(1);
    const std::optional<QString> detail =
        parts.size() > 2 ? std::optional(u"Custom folder: "_s + parts[2]) : std::nullopt;
    ModelEntry model(path, path, *ModelSource::fromRawValue(parts[0]), 1, std::nullopt, path,
                     {path}, std::nullopt, DeleteRisk::safe, std::nullopt, detail);
    if (parts.size() > 2)
        model.folderRoot = parts[2];
    return model;
}

} // namespace

class TestScanner : public QObject
{
    Q_OBJECT

private slots:
    void mergeKeepsSlotOrder_data()
    {
        QTest::addColumn<QList<int>>("finishing");
        QTest::newRow("in order") << QList<int>{0, 1, 2, 3, 4, 5, 6};
        QTest::newRow("reversed") << QList<int>{6, 5, 4, 3, 2, 1, 0};
        QTest::newRow("shuffled") << QList<int>{3, 6, 0, 5, 1, 4, 2};
    }

    // Each job waits for its turn in the finishing order, so the jobs really finish in that order
    // (all must run at once); the merge still follows the slots. A job that throws gives nothing.
    void mergeKeepsSlotOrder()
    {
        QFETCH(QList<int>, finishing);
        std::atomic<int> turn = 0;
        QList<int> actualOrder;
        QList<Scanner::SourceJob> jobs;
        QStringList expectedIds, expectedErrors;
        for (int slot = 0; slot < 7; ++slot) {
            const QString id = u"m%1"_s.arg(slot), error = u"e%1"_s.arg(slot);
            expectedIds << id;
            expectedErrors << error;
            jobs.push_back({ModelSource::custom, [&, slot, id, error] {
                                while (turn.load() != finishing.indexOf(slot))
                                    std::this_thread::yield();
                                actualOrder.push_back(slot);
                                turn.fetch_add(1);
                                return SourceScan{{entry(u"Custom "_s + id)}, {error}};
                            }});
        }
        QThreadPool pool;
        pool.setMaxThreadCount(1); // grown to one thread per job by the call
        ScanProgress progress;
        const SourceScan merged = Scanner::merge(Scanner::runSideBySide(jobs, pool, &progress));
        QCOMPARE(actualOrder, finishing);
        QCOMPARE(idsOf(merged), expectedIds);
        QCOMPARE(merged.errors, expectedErrors);
        QCOMPARE(progress.sourcesDone.load(), 7);
    }

    // A scanner that throws leaves its slot with one error naming its source; the others stand.
    void failingScannerKeepsItsSlotEmpty()
    {
        const QList<Scanner::SourceJob> jobs{
            {ModelSource::ollama,
             [] {
                 return SourceScan{{entry(u"Custom a"_s)}, {}};
             }},
            {ModelSource::lmStudio, []() -> SourceScan { throw std::runtime_error("broken"); }},
            {ModelSource::codingCache, []() -> SourceScan { throw 42; }},
            {ModelSource::whisper, []() -> SourceScan { throw BrimvaleError(u"as is"_s); }},
            {ModelSource::custom,
             [] {
                 return SourceScan{{entry(u"Custom c"_s)}, {u"c failed"_s}};
             }},
        };
        QThreadPool pool;
        const QList<SourceScan> results = Scanner::runSideBySide(jobs, pool);
        QCOMPARE(results.size(), 5);
        QVERIFY(results[1].models.isEmpty());
        const SourceScan merged = Scanner::merge(results);
        QCOMPARE(idsOf(merged), (QStringList{u"a"_s, u"c"_s}));
        QCOMPARE(merged.errors, (QStringList{u"Could not scan LM Studio: broken"_s,
                                             u"Could not scan AI Caches: Unknown error"_s,
                                             u"as is"_s, u"c failed"_s}));
    }

    void uniqueIds_data()
    {
        // The ids as given and as made unique, each list joined by ";".
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("three from different slots") << u"m;m;m"_s << u"m;m~1;m~2"_s;
        QTest::newRow("scanner-given suffix after the repeats") << u"m;m;m~1"_s << u"m;m~2;m~1"_s;
        QTest::newRow("scanner-given suffix first") << u"m~1;m;m"_s << u"m~1;m;m~2"_s;
        QTest::newRow("suffix taken by a repeat") << u"m;m~1;m~1;m"_s << u"m;m~1;m~1~1;m~2"_s;
        QTest::newRow("several reserved in a row") << u"m;m~2;m;m~1;m"_s << u"m;m~2;m~3;m~1;m~4"_s;
        QTest::newRow("distinct ids unchanged") << u"a;b;a~1"_s << u"a;b;a~1"_s;
        QTest::newRow("control characters") << u"a\nb\t\x1b\u0085c;x\0y"_s << u"a-b---c;x-y"_s;
        QTest::newRow("cleaned before uniqueness") << u"a-b;a\nb"_s << u"a-b;a-b~1"_s;
    }

    void uniqueIds()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        QList<ModelEntry> models;
        for (const QString& id : given.split(u';'))
            models.push_back(entry(u"Custom "_s + id));
        Scanner::makeIDsUnique(models);
        QCOMPARE(idsOf({models, {}}).join(u';'), expected);
    }

    void eachFileListedOnce_data()
    {
        // Entries and the ids (paths) left, each list joined by ";".
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("kept");
        QTest::newRow("custom file LM Studio lists")
            << u"LmStudio /l/m;Custom /l/m /l/"_s << u"/l/m"_s;
        QTest::newRow("sibling is not inside")
            << u"HuggingFace /r;Custom /rr/m /"_s << u"/r;/rr/m"_s;
        QTest::newRow("loose file a custom folder lists")
            << u"Custom /d/l /d;Loose /d/l"_s << u"/d/l"_s;
        QTest::newRow("loose in a cache folder") << u"CodingCache /c;Loose /c/m"_s << u"/c"_s;
        QTest::newRow("later source gives way to an earlier one's file or folder")
            << u"ComfyUi /a/m;SdWebUi /a/m;HuggingFace /h;LlamaCpp /h/models--o--r;Jan /j"_s
            << u"/a/m;/h;/j"_s;
        QTest::newRow("later source gives way to a custom folder")
            << u"Custom /c/m /c;Gpt4All /c/m"_s << u"/c/m"_s;
        QTest::newRow("other sources stay")
            << u"Ollama /b;ComfyUi /b;Custom /c /"_s << u"/b;/b;/c"_s;
    }

    void eachFileListedOnce()
    {
        QFETCH(QString, entries);
        QFETCH(QString, kept);
        QList<ModelEntry> models;
        for (const QString& text : entries.split(u';'))
            models.push_back(entry(text));
        ClaimedPaths::dropRepeats(models);
        QCOMPARE(idsOf({models, {}}), kept.split(u';'));
    }

    void fullScanListsEachFileOnce()
    {
        TestHome home;
        const QString hf = home.file(u".cache/huggingface"_s);
        QVERIFY(Fixtures::makeTree(
            home.path(), {u".cache/huggingface/hub/models--o--r/snapshots/s/m.gguf:2000000"_s,
                          u"x/a.gguf:2000000"_s, u"x/in/b.gguf:3000000"_s}));
        const QString x = home.file(u"x"_s);
        const std::optional<ScanResult> scanned =
            Scanner::scanAll({false, {x + u"/in"_s, x + u'/', hf, x}});
        QVERIFY(scanned);
        const ScanResult& result = *scanned;
        QCOMPARE(idsOf({result.models, {}}),
                 (QStringList{u"hf-models--o--r"_s, u"custom-a-2000000"_s, u"custom-b-3000000"_s}));
    }

    // llama.cpp pointed at the hub cache itself lists nothing the Hugging Face source lists.
    void laterSourceReadingTheHubGivesWay()
    {
        TestHome home;
        const QString hub = home.file(u".cache/huggingface/hub"_s);
        QVERIFY(Fixtures::makeTree(hub, {u"models--o--r/snapshots/s/m.gguf:2000000"_s}));
        home.setEnv("LLAMA_CACHE", QFile::encodeName(hub));
        const std::optional<ScanResult> scanned = Scanner::scanAll({false, {}});
        QVERIFY(scanned);
        QCOMPARE(idsOf({scanned->models, {}}), QStringList{u"hf-models--o--r"_s});
    }

    void riskyEntryHoldsBackTheList()
    {
        QList<ModelEntry> entries{entry(u"Custom /a"_s), entry(u"Custom /b"_s)};
        entries[1].deleteRisk = DeleteRisk::unknown;
        QVERIFY(!TrashPolicy::heldBack({}) && !TrashPolicy::heldBack(entries));
        entries[1].deleteRisk = DeleteRisk::risky;
        QVERIFY(TrashPolicy::heldBack(entries));
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/HashCache.h"
#include "scanners/Scanner.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qint64 kModelSize = 60'000'000;

bool modelFile(const QString& path, quint32 seed, const QByteArray& tail)
{
    return Fixtures::modelFile(path, kModelSize, seed, tail);
}

// An Ollama tag "llama:8b" whose model layer holds the model, in the home's Ollama store.
bool ollamaTag(const TestHome& home, quint32 seed, const QByteArray& tail)
{
    const QStringList paths =
        Fixtures::ollamaTag(home.path(), u"llama"_qs, u"8b"_qs, u'a', kModelSize);
    return !paths.isEmpty() && modelFile(paths[2], seed, tail);
}

QByteArray cacheBytes()
{
    QFile file(HashCache::defaultPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

} // namespace

// Whole scans over a fixture home.
class TestScannerScanAll : public QObject
{
    Q_OBJECT

private slots:
    void sameModelAcrossTools_data()
    {
        QTest::addColumn<QByteArray>("lmTail");
        QTest::addColumn<QByteArray>("hfTail");
        QTest::addColumn<QString>("marked");
        QTest::newRow("one model in three tools")
            << QByteArray("same") << QByteArray("same") << u"hf lm ollama"_qs;
        QTest::newRow("LM Studio's differs in one byte")
            << QByteArray("sane") << QByteArray("same") << u"hf ollama"_qs;
        QTest::newRow("only in Ollama") << QByteArray("lm") << QByteArray("hf") << QString();
    }

    // A model pulled into Ollama and also downloaded in LM Studio and the Hugging Face cache is
    // marked in every tool that holds the same bytes.
    void sameModelAcrossTools()
    {
        QFETCH(QByteArray, lmTail);
        QFETCH(QByteArray, hfTail);
        QFETCH(QString, marked);
        TestHome home;
        QVERIFY(ollamaTag(home, 3, "same"));
        QVERIFY(modelFile(home.file(u".lmstudio/models/o/r/m-Q4_K_M.gguf"_qs), 3, lmTail));
        const QString repo = home.file(u".cache/huggingface/hub/models--o--r"_qs);
        QVERIFY(modelFile(repo + u"/blobs/"_qs + QString(64, u'e'), 3, hfTail));
        QVERIFY(QDir().mkpath(repo + u"/snapshots/s"_qs));
        QVERIFY(QFile::link(repo + u"/blobs/"_qs + QString(64, u'e'),
                            repo + u"/snapshots/s/m.gguf"_qs));
        const std::optional<ScanResult> result = Scanner::scanAll({});
        QVERIFY(result);
        QStringList found;
        for (const ModelEntry& entry : result->models) {
            if (!entry.isDuplicate)
                continue;
            found.push_back(entry.source == ModelSource::ollama     ? u"ollama"_qs
                            : entry.source == ModelSource::lmStudio ? u"lm"_qs
                                                                    : u"hf"_qs);
        }
        found.sort();
        QCOMPARE(found.join(u' '), marked);
        QCOMPARE(result->duplicateGroups.size(), marked.isEmpty() ? 0 : 1);
    }

    // Another thread reads the counts while the scan runs: each only grows, sources done never pass
    // their total nor bytes hashed theirs, and at the end everything is done.
    void progressReadWhileScanning()
    {
        TestHome home;
        const QString one = home.file(u"one"_qs);
        const QString two = home.file(u"two"_qs);
        const QString gone = home.file(u"gone"_qs);
        for (const QString& folder : {one, two})
            QVERIFY(Fixtures::makeSparseFile(folder + u"/model.gguf"_qs, 60'000'000,
                                             Fixtures::headBytes(21)));
        for (int i = 0; i < 5; ++i)
            QVERIFY(Fixtures::manyNames(two + u"/d%1"_qs.arg(i), 100));

        ScanProgress progress;
        std::atomic<bool> finished{false};
        QStringList faults; // written by the reader only, read once it has ended
        std::thread reader([&] {
            std::array<qint64, 5> last{};
            while (!finished.load()) {
                // Each count is read before the one that bounds it.
                const std::array<qint64, 5> now{
                    progress.sourcesDone.load(), progress.sourcesTotal.load(),
                    progress.bytesHashed.load(), progress.bytesToHash.load(),
                    progress.entriesWalked.load()};
                for (size_t i = 0; i < now.size(); ++i) {
                    if (now[i] < last[i])
                        faults << u"count %1 went back"_qs.arg(i);
                }
                if (now[0] > now[1] || now[2] > now[3])
                    faults << u"done beyond its total"_qs;
                last = now;
                std::this_thread::yield();
            }
        });
        const std::optional<ScanResult> result =
            Scanner::scanAll({true, {one, two, gone}, nullptr, &progress});
        finished = true;
        reader.join();
        QCOMPARE(faults, QStringList{});

        QVERIFY(result);
        QCOMPARE(result->models.size(), 2);
        QCOMPARE(result->models[1].id, result->models[0].id + u"~1"_qs);
        QVERIFY(result->models[0].isDuplicate && result->models[1].isDuplicate);
        QCOMPARE(result->errors, QStringList{u"Custom folder no longer exists: "_qs + gone});
        // Every source but the loose files has a job, the hidden stores one more, then the loose
        // scan.
        QCOMPARE(progress.sourcesDone.load(), ModelSource::count + 1);
        QCOMPARE(progress.sourcesTotal.load(), ModelSource::count + 1);
        QVERIFY(progress.entriesWalked.load() >= 1 + 6 + 5 * 100);
        QCOMPARE(progress.bytesToHash.load(), 120'000'000);
        QCOMPARE(progress.bytesHashed.load(), 120'000'000);
    }

    // A stop requested once the walks have begun ends the scan long before it has walked the tree:
    // it gives no result and the hash cache stays as it was. The scan runs at the lowest priority,
    // so however busy the machine, the stop comes before the walk could end.
    void stopEndsScanEarly()
    {
        TestHome home;
        const QString big = home.file(u"big"_qs);
        constexpr int folders = 20;
        constexpr int names = 2000;
        for (int i = 0; i < folders; ++i)
            QVERIFY(Fixtures::manyNames(big + u"/d%1"_qs.arg(i), names));
        QVERIFY(Fixtures::writeFile(HashCache::defaultPath(),
                                    "{\"version\":1,\"files\":{\"1:2:60000000:3:4\":"
                                    "\"0123456789abcdef0123456789abcdef\"}}"));
        const QByteArray cacheBefore = cacheBytes();

        ScanProgress progress;
        StopToken stop;
        std::optional<ScanResult> result;
        std::atomic<bool> ended{false};
        std::thread scan([&] {
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
            result = Scanner::scanAll({true, {big}, &stop, &progress});
            ended = true;
        });
        while (progress.entriesWalked.load() == 0 && !ended.load())
            std::this_thread::yield();
        stop.requestStop();
        scan.join();
        QVERIFY(!result);
        const qint64 walked = progress.entriesWalked.load();
        // Each walker thread ends the folder in hand before it sees the stop, so how far the walk
        // got depends on the machine; what must hold is that it did not walk the whole tree.
        QVERIFY2(walked < folders * names, qPrintable(QString::number(walked)));
        QCOMPARE(cacheBytes(), cacheBefore);
    }
};

QTEST_GUILESS_MAIN(TestScannerScanAll)
#include "tst_scanner_scanall.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "model/ScanJson.h"
#include "scanners/CodingCacheScanner.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/CustomFolderScanner.h"
#include "scanners/HuggingFaceScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/LooseScanner.h"
#include "scanners/MovedLink.h"
#include "scanners/OllamaScanner.h"
#include "scanners/WhisperScanner.h"
#include "services/MoveService.h"
#include "services/TrashService.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The Ollama blob named by 64 times the character: its path below the home, or with a size
// its tree line.
QString blob(QChar c, const QString& size = {})
{
    return u".ollama/models/blobs/sha256-"_s + QString(64, c) +
           (size.isEmpty() ? u""_s : u':' + size);
}

// The tree line of the manifest of tag:latest: config blob "c" of the size, then one model
// layer of 3,000,000 bytes.
QString manifestLine(QChar layer = u'a', const QString& tag = u"m"_s, int configSize = 2)
{
    return u".ollama/models/manifests/registry.ollama.ai/library/"_s + tag +
           uR"(/latest={"config":{"digest":"sha256:)"_s + QString(64, u'c') + uR"(","size":)"_s +
           QString::number(configSize) + uR"(},"layers":[{"digest":"sha256:)"_s +
           QString(64, layer) + uR"(","size":3000000}]})"_s;
}

SourceScan scanOf(ModelSource source, const TestHome& home)
{
    switch (source.value()) {
    case ModelSource::ollama:
        return OllamaScanner::scan(false);
    case ModelSource::lmStudio:
        return LMStudioScanner::scan();
    case ModelSource::huggingFace:
        return HuggingFaceScanner::scan();
    case ModelSource::comfyUI:
        return ComfyUIScanner::scan();
    case ModelSource::whisper:
        return WhisperScanner::scan();
    case ModelSource::codingCache:
        return CodingCacheScanner::scan();
    case ModelSource::loose:
        return LooseScanner::scan({});
    case ModelSource::custom:
        return CustomFolderScanner::scan({home.file(u"mine"_s)});
    default: // the later sources are not among these rows
        return {};
    }
}

// The entry with the id, or at the primary path.
std::optional<ModelEntry> entryWith(const SourceScan& scan, const QString& id,
                                    const QString& primaryPath = {})
{
    for (const ModelEntry& entry : scan.models) {
        if (entry.id == id || entry.primaryPath == primaryPath)
            return entry;
    }
    return std::nullopt;
}

} // namespace

class MovedEntriesTest : public QObject
{
    Q_OBJECT

private slots:
    void listed_data()
    {
        QTest::addColumn<ModelSource>("source");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("id");
        QTest::newRow("Ollama manifest and blob")
            << ModelSource(ModelSource::ollama)
            << QStringList{manifestLine(), blob(u'a', u"3000000"_s)} << u"ollama-m-latest"_s;
        QTest::newRow("LM Studio file")
            << ModelSource(ModelSource::lmStudio)
            << QStringList{u".lmstudio/models/pub/repo/m-Q4_K_M.gguf:5000000"_s}
            << u"lmstudio-m-q4_k_m"_s;
        QTest::newRow("ComfyUI file")
            << ModelSource(ModelSource::comfyUI)
            << QStringList{u"ComfyUI/models/checkpoints/sd.safetensors:4000000"_s} << u"comfy-sd"_s;
        QTest::newRow("Whisper file")
            << ModelSource(ModelSource::whisper)
            << QStringList{u".cache/whisper/ggml-base.bin:2000000"_s} << u"whisper-ggml-base.bin"_s;
        QTest::newRow("loose file") << ModelSource(ModelSource::loose)
                                    << QStringList{u"Downloads/x.gguf:20000000"_s} << u"loose-x"_s;
        QTest::newRow("custom-folder file")
            << ModelSource(ModelSource::custom) << QStringList{u"mine/y.safetensors:2000000"_s}
            << u"custom-y-2000000"_s;
        QTest::newRow("Hugging Face repository folder")
            << ModelSource(ModelSource::huggingFace)
            << QStringList{u".cache/huggingface/hub/models--o--m/blobs/b:3000000"_s,
                           u".cache/huggingface/hub/models--o--m/snapshots/r/w->../../blobs/b"_s}
            << u"hf-models--o--m"_s;
        QTest::newRow("coding-cache folder")
            << ModelSource(ModelSource::codingCache) << QStringList{u".continue/index/d:300000"_s}
            << u"cache-continue.dev-modelcache"_s;
        QTest::newRow("coding-cache project folder")
            << ModelSource(ModelSource::codingCache)
            << QStringList{u".claude/projects/p1/d:300000"_s} << u"cache-claudecode-p1"_s;
    }

    // Each source's entry, moved to another folder, is listed as before with the link first, the
    // target after; once the target is gone it is still listed, with nothing known of it.
    void listed()
    {
        QFETCH(ModelSource, source);
        QFETCH(QStringList, tree);
        QFETCH(QString, id);
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(), tree));
        const std::optional<ModelEntry> before = entryWith(scanOf(source, home), id);
        QVERIFY(before);
        QVERIFY(!before->isMoved());
        const QString big = home.root() + u"/big"_s;
        QVERIFY(QDir().mkpath(big));
        const MoveOutcome outcome = MoveService::move({*before}, big, true);
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or(QString())));

        std::optional<ModelEntry> after = entryWith(scanOf(source, home), id);
        QVERIFY(after);
        QStringList targets;
        for (const MovedItem& item : outcome.items)
            targets.push_back(item.to);
        QCOMPARE(after->allPaths, before->allPaths + targets);
        QCOMPARE(after->primaryPath, before->primaryPath);
        QCOMPARE(after->moved.size(), before->allPaths.size());
        const QString shown = u"Moved to "_s + MovedLink::shortPath(targets.first());
        const QString own = before->detail ? u" · "_s + *before->detail : QString();
        ModelEntry expected = *before;
        expected.allPaths = after->allPaths;
        expected.moved = after->moved;
        expected.detail = shown + own;
        QCOMPARE(*after, expected);
        QCOMPARE(ScanJson::entry(*after).value(u"movedTo"_s).toArray().size(), targets.size());

        QVERIFY(QDir().rename(big, big + u"-unplugged"_s));
        // Judged by its name and place: a tag whose manifest is out of reach knows no layers.
        after = entryWith(scanOf(source, home), QString(), before->primaryPath);
        QVERIFY(after);
        QCOMPARE(after->allPaths.first(), before->primaryPath);
        QVERIFY(after->allPaths.contains(targets.first()));
        QCOMPARE(after->sizeBytes, 0);
        QCOMPARE(after->reclaimableBytes, 0);
        QVERIFY(!after->lastModified);
        QCOMPARE(after->deleteRisk, DeleteRisk::unknown);
        QVERIFY2(after->detail->startsWith(shown + u" — not reachable now"_s),
                 qPrintable(*after->detail));

        // Refused, nothing changed.
        const QString refusal =
            u"The moved files are not reachable — connect the drive that holds "_s;
        const TrashOutcome trashed = TrashService::moveToTrash(*after);
        QVERIFY(trashed.error && trashed.error->startsWith(refusal));
        QVERIFY(!trashed.entry);
        const MoveOutcome again = MoveService::move({*after}, home.root(), true);
        QVERIFY(again.error && again.error->startsWith(refusal));
        for (const MovedPath& moved : after->moved)
            QVERIFY(Fixtures::isSymlink(moved.link));
    }

    // Trashing a moved entry takes the link and its target in one record; restoring puts both back.
    void trashAndRestore()
    {
        TestHome home;
        const QString file = home.file(u".lmstudio/models/p/r/m.gguf"_s);
        const QString target = home.root() + u"/big/m.gguf"_s;
        QVERIFY(Fixtures::makeSparseFile(target, 5'000'000));
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(QFile::link(target, file));
        const SourceScan scan = LMStudioScanner::scan();
        QCOMPARE(scan.models.size(), 1);

        const TrashOutcome trashed = TrashService::moveToTrash(scan.models[0]);
        QVERIFY2(!trashed.error, qPrintable(trashed.error.value_or(QString())));
        QCOMPARE(trashed.entry->originalPaths, (QStringList{file, target}));
        QVERIFY(!QFileInfo::exists(target) && !Fixtures::isSymlink(file));
        QCOMPARE(TrashService::entries().size(), 1);
        const RestoreOutcome restored = TrashService::restore(trashed.entry->id);
        QVERIFY2(!restored.error, qPrintable(restored.error.value_or(QString())));
        QVERIFY(Fixtures::isSymlink(file));
        QCOMPARE(QFileInfo(file).size(), 5'000'000);
    }

    // An LM Studio file linked to an Ollama blob is the blob reached another way: no moved entry,
    // and the blob stays in its store.
    void linkIntoAnotherStore()
    {
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(), {manifestLine(), blob(u'a', u"3000000"_s)}));
        const QString file = home.file(u".lmstudio/models/p/r/m.gguf"_s);
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(QFile::link(home.file(blob(u'a')), file));
        QVERIFY(!MovedLink::read(file, MovedLink::Kind::file));
        QCOMPARE(LMStudioScanner::scan().models.size(), 0);
        // Nor is a link to another file of the same folder: the file is listed once, by itself.
        QVERIFY(Fixtures::makeSparseFile(home.file(u"mine/real.gguf"_s), 2'000'000) &&
                QFile::link(home.file(u"mine/real.gguf"_s), home.file(u"mine/latest.gguf"_s)));
        const SourceScan custom = CustomFolderScanner::scan({home.file(u"mine"_s)});
        QCOMPARE(custom.models.size(), 1);
        QCOMPARE(custom.models[0].allPaths, QStringList{home.file(u"mine/real.gguf"_s)});
        const SourceScan ollama = OllamaScanner::scan(false);
        QCOMPARE(ollama.models.size(), 1);
        QVERIFY(!ollama.models[0].isMoved());
    }

    // Two tags named "latest" sharing a layer go into one folder in their store's layout, and are
    // still read through their links.
    void ollamaTagsInOneFolder()
    {
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(),
                                   {manifestLine(u'a', u"a"_s, 2000),
                                    manifestLine(u'b', u"b"_s, 2000), blob(u'a', u"3000000"_s),
                                    blob(u'b', u"3000000"_s), blob(u'c', u"2000"_s)}));
        const SourceScan before = OllamaScanner::scan(false);
        QCOMPARE(before.models.size(), 2);
        const QString big = home.root() + u"/big"_s;
        QVERIFY(QDir().mkpath(big));
        const MoveOutcome outcome = MoveService::move(before.models, big, true);
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or(QString())));
        QVERIFY(
            QFileInfo(big + u"/ollama/manifests/registry.ollama.ai/library/b/latest"_s).isFile());
        QVERIFY(QFileInfo(big + u"/ollama/blobs/sha256-"_s + QString(64, u'b')).isFile());

        const SourceScan after = OllamaScanner::scan(false);
        QCOMPARE(after.errors, QStringList());
        QCOMPARE(after.models.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(after.models[i].sizeBytes, before.models[i].sizeBytes);
            QCOMPARE(after.models[i].moved.size(), 2);
            QVERIFY(after.models[i].detail->startsWith(u"Moved to "_s));
        }
        // Moving them to the same folder again finds each already there.
        const MoveOutcome again = MoveService::move(after.models, big, true);
        QCOMPARE(again.error, u"No model files were found to move"_s);
    }
};

QTEST_GUILESS_MAIN(MovedEntriesTest)
#include "tst_movedentries.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "XfsMount.h"
#include "fs/AppPaths.h"
#include "model/StopToken.h"
#include "scanners/ContentHash.h"
#include "scanners/DuplicateFinder.h"
#include "scanners/HashCache.h"
#include "scanners/Scanner.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kSize = 60'000'000;

ModelEntry entryFor(const QString& path, qint64 size = kSize)
{
    return ModelEntry(path, QFileInfo(path).fileName(), ModelSource::custom, size, std::nullopt,
                      path, {path}, std::nullopt, DeleteRisk::safe, std::nullopt, std::nullopt);
}

using Fixtures::modelFile;
using Fixtures::writeAt;

// Entries for a.gguf and b.gguf in the folder of the home, two copies of one content.
QList<ModelEntry> twoCopies(const TestHome& home, quint32 seed, const QByteArray& tail = "tail",
                            const QString& folder = {})
{
    QList<ModelEntry> models;
    for (const QString& name : QStringList{folder + u"a.gguf"_qs, folder + u"b.gguf"_qs}) {
        if (modelFile(home.file(name), kSize, seed, tail))
            models.push_back(entryFor(home.file(name)));
    }
    return models;
}

// Characters this process has read so far (rchar of /proc/self/io).
qint64 charsRead()
{
    QFile io(u"/proc/self/io"_qs);
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = io.readAll();
    return text.mid(text.indexOf("rchar:") + 6).split('\n').value(0).trimmed().toLongLong();
}

// One letter per entry: 'M' marked, 'f' only fingerprinted, '-' neither ('?' marked alone).
QString states(const QList<ModelEntry>& models)
{
    QString result;
    for (const ModelEntry& model : models)
        result += model.isDuplicate ? (model.partialHash ? u'M' : u'?')
                                    : (model.partialHash ? u'f' : u'-');
    return result;
}

// Entries of the files ("name seed [tail]" makes ~/name; "name =other" a hard link) and entries
// ("id=file+file" lists data files, "id" alone has ~/id as its primary path). One letter per
// entry: 'M' marked, 'd' only named a copy in its detail, '-' neither. Runs the finder twice, so
// a detail never gains a second "Same data as".
struct AcrossTools
{
    QString letters;
    QStringList details;
    QList<DuplicateGroup> groups;
};

AcrossTools findAcrossTools(const TestHome& home, const QString& files, const QString& entries)
{
    for (const QString& line : files.split(u'|')) {
        const QStringList word = line.split(u' ');
        const QString path = home.file(word[0]);
        if (word[1].startsWith(u'='))
            ::link(QFile::encodeName(home.file(word[1].mid(1))).constData(),
                   QFile::encodeName(path).constData());
        else
            modelFile(path, kSize, word[1].toUInt(), word.value(2, u"tail"_qs).toUtf8());
    }
    QList<ModelEntry> models;
    for (const QString& line : entries.split(u'|')) {
        const QStringList parts = line.split(u'=');
        ModelEntry entry = entryFor(home.file(parts[0]));
        entry.id = parts[0];
        entry.detail = parts[0] == u"tag"_qs ? std::optional(u"Own words"_qs) : std::nullopt;
        for (const QString& file : parts.value(1).split(u'+', Qt::SkipEmptyParts))
            entry.dataFiles.push_back(home.file(file));
        models.push_back(entry);
    }
    DuplicateFinder finder(HashCache::defaultPath());
    AcrossTools result;
    for (int round = 0; round < 2; ++round) {
        (void)finder.run(models);
        result = {};
        for (const ModelEntry& model : models) {
            const bool named = model.detail && model.detail->contains(u"Same data as"_qs);
            result.letters += model.isDuplicate ? u'M' : (named ? u'd' : u'-');
            result.details.push_back(model.detail.value_or(QString()));
        }
        result.groups = finder.groups();
    }
    return result;
}

QJsonObject cacheFiles()
{
    QFile file(HashCache::defaultPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object()[u"files"_qs].toObject();
}

} // namespace

class TestDuplicates : public QObject
{
    Q_OBJECT

private slots:
    void marks_data()
    {
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("expected");
        QTest::newRow("size, head and content")
            << u"a 60000000 1|b 60000000 1|c 60000000 2|"
               u"d 60000001 1 one|e 60000001 1 two|f 60000002 1"_qs
            << u"MMfff-"_qs;
        QTest::newRow("at the threshold") << u"a 50000000 7|b 50000000 7"_qs << u"MM"_qs;
        QTest::newRow("one byte below") << u"a 49999999 7|b 49999999 7"_qs << u"--"_qs;
        QTest::newRow("entry larger than its file")
            << u"a 60000000 7 tail 120000000|b 60000000 7 tail 120000000"_qs << u"--"_qs;
        QTest::newRow("tags whose path is a manifest")
            << u"a 700 7 - 60000000|b 700 7 - 60000000"_qs << u"--"_qs;
        QTest::newRow("directories") << u"a dir|b dir"_qs << u"--"_qs;
        QTest::newRow("FIFOs") << u"a fifo|b fifo"_qs << u"--"_qs;
        QTest::newRow("missing files") << u"a none|b none"_qs << u"--"_qs;
        QTest::newRow("hard link") << u"a 60000000 5|h =a"_qs << u"ff"_qs;
        QTest::newRow("same path twice") << u"a 60000000 5|a"_qs << u"ff"_qs;
        QTest::newRow("through a linked folder")
            << u"s/a 60000000 5|alias >s|alias/a"_qs << u"ff"_qs;
        QTest::newRow("hard link beside a copy")
            << u"a 60000000 5|h =a|c 60000000 5"_qs << u"MMM"_qs;
        QTest::newRow("hard link beside other content")
            << u"a 60000000 5|h =a|c 60000000 5 other"_qs << u"fff"_qs;
        QTest::newRow("same path twice beside other content")
            << u"a 60000000 5|a|c 60000000 5 other"_qs << u"fff"_qs;
    }

    // Entries of the files, each "path size seed [tail|-] [entry size]" (a model file), "path dir",
    // "path fifo", "path none", "path =other" (a hard link) or "path" alone (a path named before);
    // "path >folder" makes a symlink and no entry. Each entry starts with a stale fingerprint.
    // Entries are compared when their sizes and first 64 KiB are equal, and marked when their
    // whole content is.
    void marks()
    {
        QFETCH(QString, files);
        QFETCH(QString, expected);
        TestHome home;
        QList<ModelEntry> models;
        QList<std::optional<quint32>> seeds;
        for (const QString& line : files.split(u'|')) {
            const QStringList word = line.split(u' ');
            const QString path = home.file(word[0]);
            const QByteArray encoded = QFile::encodeName(path);
            const QString kind = word.value(1);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            if (kind.startsWith(u'>')) {
                QVERIFY(QFile::link(home.file(kind.mid(1)), path));
                continue;
            }
            if (kind == u"dir"_qs)
                QVERIFY(QDir().mkpath(path));
            else if (kind == u"fifo"_qs)
                QVERIFY(::mkfifo(encoded.constData(), 0644) == 0);
            else if (kind.startsWith(u'='))
                QVERIFY(::link(QFile::encodeName(home.file(kind.mid(1))).constData(),
                               encoded.constData()) == 0);
            const bool model = word.size() >= 3;
            const QString tail = word.value(3, u"tail"_qs);
            if (model)
                QVERIFY(modelFile(path, kind.toLongLong(), word[2].toUInt(),
                                  tail == u"-"_qs ? QByteArray() : tail.toUtf8()));
            seeds.push_back(model ? std::optional(word[2].toUInt()) : std::nullopt);
            models.push_back(entryFor(path, model ? word.value(4, kind).toLongLong() : kSize));
            models.back().partialHash = u"stale"_qs;
        }
        Scanner::markDuplicates(models);
        QCOMPARE(states(models), expected);
        for (qsizetype i = 0; i < models.size(); ++i) {
            if (models[i].partialHash && seeds[i])
                QCOMPARE(*models[i].partialHash,
                         ContentHash::fnv1a64(Fixtures::headBytes(*seeds[i])));
        }
    }

    void acrossTools_data()
    {
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("copies"); // copies per group, as "n,n"
        QTest::newRow("a tag's model layer is an LM Studio file")
            << u"blob 1|lm 1"_qs << u"tag=blob|lm"_qs << u"MM"_qs << u"2"_qs;
        QTest::newRow("same size, one byte differs")
            << u"blob 1 tail|lm 1 tall"_qs << u"tag=blob|lm"_qs << u"--"_qs << QString();
        QTest::newRow("a layer shared by two tags")
            << u"blob 1"_qs << u"tag=blob|other=blob"_qs << u"--"_qs << QString();
        QTest::newRow("a shared layer with a copy elsewhere")
            << u"blob 1|lm 1"_qs << u"tag=blob|other=blob|lm"_qs << u"MMM"_qs << u"2"_qs;
        QTest::newRow("a hard link between tools")
            << u"blob 1|lm =blob"_qs << u"tag=blob|lm"_qs << u"--"_qs << QString();
        QTest::newRow("one of two blobs copied")
            << u"x 1|y 2|cx 1"_qs << u"tag=x+y|cx"_qs << u"dM"_qs << u"2"_qs;
        QTest::newRow("both blobs copied")
            << u"x 1|y 2|cx 1|cy 2"_qs << u"tag=x+y|cx|cy"_qs << u"MMM"_qs << u"2,2"_qs;
        QTest::newRow("a data file gone")
            << u"x 1|cx 1"_qs << u"tag=x+gone|cx"_qs << u"dM"_qs << u"2"_qs;
        QTest::newRow("two copies inside one entry")
            << u"x 1|y 1"_qs << u"tag=x+y"_qs << u"-"_qs << u"2"_qs;
    }

    // Data files (an Ollama tag's model layer, a repository's blobs) are compared like primary
    // paths; an entry is marked only when every one of its files has a copy another entry holds.
    void acrossTools()
    {
        QFETCH(QString, files);
        QFETCH(QString, entries);
        QFETCH(QString, expected);
        QFETCH(QString, copies);
        TestHome home;
        const AcrossTools found = findAcrossTools(home, files, entries);
        QCOMPARE(found.letters, expected);
        QStringList counts;
        for (const DuplicateGroup& group : found.groups)
            counts.push_back(QString::number(group.copies.size()));
        QCOMPARE(counts.join(u','), copies);
        if (expected.startsWith(u'd'))
            QCOMPARE(found.details[0], u"Own words · Same data as ~/cx"_qs);
        else
            QCOMPARE(found.details[0], u"Own words"_qs);
        if (copies == u"2"_qs && expected == u"MMM"_qs) { // the shared layer: one copy, two holders
            const DuplicateCopy& layer = found.groups[0].copies[0];
            QCOMPARE(layer.entryIds, (QStringList{u"tag"_qs, u"other"_qs}));
            QCOMPARE(found.groups[0].copies[1].entryIds, QStringList{u"lm"_qs});
        }
    }

    // Files whose data already lies in the same blocks are one copy: a pair freed by sharing its
    // blocks is not marked again, while a plain copy beside them still is.
    void sharedBlocksAreOneCopy()
    {
        TestHome home;
        XfsMount xfs;
        if (!xfs.problem().isEmpty())
            QSKIP(qPrintable(xfs.problem()));
        const QString a = xfs.path() + u"/a.gguf"_qs;
        QVERIFY(Fixtures::writeFile(a, Fixtures::headBytes(21, kSize)));
        QVERIFY(XfsMount::cloneFile(a, xfs.path() + u"/b.gguf"_qs));
        QList<ModelEntry> models{entryFor(a), entryFor(xfs.path() + u"/b.gguf"_qs)};
        DuplicateFinder finder(HashCache::defaultPath());
        QVERIFY(finder.run(models));
        QCOMPARE(states(models), u"ff"_qs);
        QVERIFY(finder.groups().isEmpty());
        QVERIFY(Fixtures::writeFile(xfs.path() + u"/c.gguf"_qs, Fixtures::headBytes(21, kSize)));
        models.push_back(entryFor(xfs.path() + u"/c.gguf"_qs));
        QVERIFY(finder.run(models));
        QCOMPARE(states(models), u"MMM"_qs);
        QCOMPARE(finder.groups().value(0).copies.size(), 2);
        QCOMPARE(finder.groups()[0].copies[0].alsoAt, QStringList{models[1].primaryPath});
    }

    void unreadableEntryNeverMarked()
    {
        TestHome home;
        home.openToEveryone();
        QList<ModelEntry> three = twoCopies(home, 6);
        QVERIFY(modelFile(home.file(u"c.gguf"_qs), kSize, 6));
        three.push_back(entryFor(home.file(u"c.gguf"_qs)));
        QCOMPARE(::chmod(QFile::encodeName(three[1].primaryPath).constData(), 0), 0);
        const QString cache = home.root() + u"/unprivileged-cache/hashes.json"_qs;
        QVERIFY(QDir().mkpath(QFileInfo(cache).path()));
        ::chmod(QFile::encodeName(QFileInfo(cache).path()).constData(), 0777);
        QVERIFY(Fixtures::runUnprivileged([&] {
            QList<ModelEntry> pair = three.mid(0, 2);
            DuplicateFinder(cache).run(pair);
            DuplicateFinder(cache).run(three);
            return states(pair) == u"f-"_qs && states(three) == u"M-M"_qs;
        }));
    }

    void cache_data()
    {
        QTest::addColumn<QByteArray>("before"); // the cache file; "scan": an earlier scan wrote it
        QTest::addColumn<int>("change");        // 1: b's content changed, 2: and its time put back
        QTest::addColumn<int>("hashed");
        QTest::newRow("none") << QByteArray() << 0 << 2;
        QTest::newRow("warm") << QByteArray("scan") << 0 << 0;
        QTest::newRow("content changed") << QByteArray("scan") << 1 << 1;
        QTest::newRow("content changed, time put back") << QByteArray("scan") << 2 << 1;
        QTest::newRow("another scan's") << QByteArray("other") << 0 << 2;
        QTest::newRow("garbage") << QByteArray("\x00\xff{not json", 12) << 0 << 2;
        QTest::newRow("an array") << QByteArray("[1,2,3]") << 0 << 2;
        QTest::newRow("another version") << QByteArray("{\"version\":2,\"files\":{}}") << 0 << 2;
        QTest::newRow("a wrong hash")
            << QByteArray("{\"version\":1,\"files\":{\"1:2:60000000:3:4\":\"zz\"}}") << 0 << 2;
        QTest::newRow("a wrong key")
            << QByteArray(
                   "{\"version\":1,\"files\":{\"1:2\":\"00000000000000000000000000000000\"}}")
            << 0 << 2;
        QTest::newRow("a FIFO") << QByteArray("fifo") << 0 << 2;
    }

    // The cache saves reading known files again (a rescan reads only their heads), never serves a
    // changed file, is rebuilt when it is not ours, and holds exactly the files of the latest scan.
    void cache()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, change);
        QFETCH(int, hashed);
        TestHome home;
        const QString cache = HashCache::defaultPath();
        QVERIFY(QDir().mkpath(QFileInfo(cache).path()));
        const QList<ModelEntry> models = twoCopies(home, 8, QByteArray(2 << 20, 'd'));
        QVERIFY(Fixtures::setModified(models[1].primaryPath, 1'700'000'000));
        if (before == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(cache).constData(), 0644), 0);
        else if (before == "scan" || before == "other") {
            QList<ModelEntry> earlier =
                before == "scan" ? models : twoCopies(home, 9, "", u"o/"_qs);
            QVERIFY(DuplicateFinder(cache).run(earlier));
            QTest::qSleep(20); // later changes get a later status-change time than the cached one
        } else if (!before.isEmpty())
            QVERIFY(Fixtures::writeFile(cache, before));
        if (change > 0)
            QVERIFY(writeAt(models[1].primaryPath, kSize - 4096 - 4, "TAIL"));
        if (change > 1)
            QVERIFY(Fixtures::setModified(models[1].primaryPath, 1'700'000'000));

        QList<ModelEntry> scanned = models;
        const qint64 read = charsRead();
        const DuplicateFinder::Stats stats = DuplicateFinder(cache).run(scanned).value();
        QCOMPARE(stats.filesHashed, hashed);
        QCOMPARE(stats.cacheHits, 2 - hashed);
        QCOMPARE(states(scanned), change > 0 ? u"ff"_qs : u"MM"_qs);
        if (hashed == 0) // two 64 KiB heads, the cache file and the reads of /proc/self/io itself
            QVERIFY(charsRead() - read <=
                    2 * ContentHash::kHeadBytes + QFileInfo(cache).size() + 4096);
        const QJsonObject files = cacheFiles();
        QCOMPARE(files.size(), 2);
        for (const QString& key : files.keys())
            QCOMPARE(FileIdentity::fromKey(key)->size, kSize);
        QCOMPARE(QDir(QFileInfo(cache).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{u"hashes.json"_qs});
        QList<ModelEntry> none;
        Scanner::markDuplicates(none);
        QCOMPARE(cacheFiles().size(), 0);
    }

    // The full hash depends on the bytes at their offsets, not on which parts are holes; a sparse
    // file costs what it holds while the hash goes through all of it; a stopped hash gives
    // nothing.
    void fullHash()
    {
        TestHome home;
        const qint64 size = 3 * (1 << 20) + 12345;
        const QByteArray data = Fixtures::headBytes(12, 4096);
        const QString sparse = home.file(u"sparse"_qs);
        const QString dense = home.file(u"dense"_qs);
        const QString moved = home.file(u"moved"_qs);
        const QString huge = home.file(u"huge.gguf"_qs);
        QVERIFY(Fixtures::makeSparseFile(sparse, size) && writeAt(sparse, 1 << 20, data));
        QByteArray whole(size, '\0');
        whole.replace(1 << 20, data.size(), data);
        QVERIFY(Fixtures::writeFile(dense, whole));
        QVERIFY(Fixtures::makeSparseFile(moved, size) && writeAt(moved, 2 << 20, data));
        QVERIFY(Fixtures::makeSparseFile(huge, qint64(1) << 40, Fixtures::headBytes(13)));

        std::atomic<qint64> done{0};
        StopToken stop;
        const auto hashOf = [&](const QString& path) -> std::optional<QString> {
            FileIdentity identity;
            const UniqueFd fd = ContentHash::openRegular(path, identity);
            done = 0;
            return ContentHash::fullHash(fd.get(), identity.size, &done, &stop);
        };
        // The head fingerprint is FNV-1a 64, as its reference values give it.
        QCOMPARE(ContentHash::fnv1a64({}), u"cbf29ce484222325"_qs);
        QCOMPARE(ContentHash::fnv1a64("a"), u"af63dc4c8601ec8c"_qs);
        QCOMPARE(ContentHash::fnv1a64("foobar"), u"85944171f73967e8"_qs);
        const std::optional<QString> sparseHash = hashOf(sparse);
        QCOMPARE(sparseHash.value_or(QString()).size(), 32);
        QCOMPARE(hashOf(dense), sparseHash);
        QVERIFY(hashOf(moved) != sparseHash);

        const qint64 before = charsRead();
        QVERIFY(hashOf(huge).has_value());
        QVERIFY2(charsRead() - before <= (1 << 20),
                 qPrintable(QString::number(charsRead() - before)));
        QCOMPARE(done.load(), qint64(1) << 40);
        stop.requestStop();
        QVERIFY(!hashOf(dense));
        QCOMPARE(done.load(), 0);
    }

    // Comparing nothing writes nothing; a stopped comparison marks nothing and leaves the cache
    // file as it was.
    void stopLeavesCacheAsItWas()
    {
        TestHome home;
        QList<ModelEntry> models;
        Scanner::markDuplicates(models);
        QVERIFY(!QFileInfo::exists(AppPaths::cacheDir()));
        models = twoCopies(home, 14);
        QVERIFY(DuplicateFinder(HashCache::defaultPath()).run(models));
        const QJsonObject saved = cacheFiles();
        QVERIFY(writeAt(models[1].primaryPath, 0, "changed"));
        StopToken stop;
        stop.requestStop();
        DuplicateFinder stopped(HashCache::defaultPath(), nullptr, nullptr, &stop);
        QVERIFY(!stopped.run(models));
        QCOMPARE(states(models), u"--"_qs);
        QList<ModelEntry> one = models.mid(0, 1); // stopped with nothing to read
        QVERIFY(!stopped.run(one));
        QCOMPARE(cacheFiles(), saved);
    }
};

QTEST_GUILESS_MAIN(TestDuplicates)
#include "tst_duplicates.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "fs/AppPaths.h"
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

ModelEntry entryFor(const QString& path, qint64 size, ModelSource source = ModelSource::custom)
{
    return ModelEntry(path, QFileInfo(path).fileName(), source, size, std::nullopt, path, {path},
                      std::nullopt, DeleteRisk::safe, std::nullopt, std::nullopt);
}

// Writes bytes at an offset of an existing file.
bool writeAt(const QString& path, qint64 offset, const QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok =
        ::pwrite(fd, bytes.constData(), static_cast<size_t>(bytes.size()), offset) == bytes.size();
    return ::close(fd) == 0 && ok;
}

// A sparse model file: the seeded 64 KiB head, then `tail` bytes of data ending 4 KiB before
// the end.
bool modelFile(const QString& path, qint64 size, quint32 headSeed, const QByteArray& tail = {})
{
    return Fixtures::makeSparseFile(path, size, Fixtures::headBytes(headSeed)) &&
           (tail.isEmpty() || writeAt(path, size - 4096 - tail.size(), tail));
}

// Characters this process has read so far (rchar of /proc/self/io).
qint64 charsRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

QList<bool> marks(const QList<ModelEntry>& models)
{
    QList<bool> result;
    for (const ModelEntry& model : models)
        result.push_back(model.isDuplicate);
    return result;
}

QList<bool> fingerprinted(const QList<ModelEntry>& models)
{
    QList<bool> result;
    for (const ModelEntry& model : models)
        result.push_back(model.partialHash.has_value());
    return result;
}

QJsonObject cacheFiles()
{
    QFile file(HashCache::defaultPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll())
        .object()
        .value(QStringLiteral("files"))
        .toObject();
}

} // namespace

class TestDuplicates : public QObject
{
    Q_OBJECT

private slots:
    void fnvMatchesReferenceValues_data();
    void fnvMatchesReferenceValues();
    void identicalFilesMarked();
    void qualification_data();
    void qualification();
    void sameHeadDifferentContentNotMarked();
    void sizesNeverGrouped();
    void oneFileIsOneCopy_data();
    void oneFileIsOneCopy();
    void unreadableEntryNeverMarked();
    void warmCacheReadsOnlyHeads();
    void changedFileHashedAgain_data();
    void changedFileHashedAgain();
    void badCacheRebuilt_data();
    void badCacheRebuilt();
    void cacheHoldsLatestScanOnly();
    void fullHashFollowsContentNotLayout();
    void sparseFileCostsWhatItHolds();
    void emptyListTouchesNothing();
};

void TestDuplicates::fnvMatchesReferenceValues_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("hash");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("cbf29ce484222325");
    QTest::newRow("a") << QByteArray("a") << QStringLiteral("af63dc4c8601ec8c");
    QTest::newRow("foobar") << QByteArray("foobar") << QStringLiteral("85944171f73967e8");
}

void TestDuplicates::fnvMatchesReferenceValues()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, hash);
    QCOMPARE(ContentHash::fnv1a64(bytes), hash);
}

void TestDuplicates::identicalFilesMarked()
{
    TestHome home;
    const QString a = home.file(QStringLiteral("one/model.gguf"));
    const QString b = home.file(QStringLiteral("two/model.gguf"));
    const QString c = home.file(QStringLiteral("three/other.gguf"));
    QVERIFY(modelFile(a, kSize, 1, "tail"));
    QVERIFY(modelFile(b, kSize, 1, "tail"));
    QVERIFY(modelFile(c, kSize, 2, "tail"));
    QList<ModelEntry> models{entryFor(a, kSize), entryFor(b, kSize), entryFor(c, kSize)};
    models[2].partialHash = QStringLiteral("stale");
    Scanner::markDuplicates(models);

    QCOMPARE(marks(models), (QList<bool>{true, true, false}));
    QCOMPARE(models[0].partialHash, ContentHash::fnv1a64(Fixtures::headBytes(1)));
    QCOMPARE(models[1].partialHash, models[0].partialHash);
    QCOMPARE(models[2].partialHash, ContentHash::fnv1a64(Fixtures::headBytes(2)));
    QVERIFY(QFile::exists(HashCache::defaultPath()));
}

void TestDuplicates::qualification_data()
{
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<qint64>("entrySize");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("partial");
    QTest::addColumn<bool>("marked");
    QTest::newRow("at the threshold")
        << qint64(50'000'000) << qint64(50'000'000) << QStringLiteral("file") << true << true;
    QTest::newRow("one byte below")
        << qint64(49'999'999) << qint64(49'999'999) << QStringLiteral("file") << false << false;
    QTest::newRow("entry larger than its file")
        << kSize << kSize * 2 << QStringLiteral("file") << false << false;
    QTest::newRow("tags whose path is a manifest sharing a blob")
        << qint64(700) << kSize << QStringLiteral("file") << false << false;
    QTest::newRow("directories") << qint64(0) << kSize << QStringLiteral("dir") << false << false;
    QTest::newRow("FIFOs") << qint64(0) << kSize << QStringLiteral("fifo") << false << false;
    QTest::newRow("missing files")
        << qint64(0) << kSize << QStringLiteral("none") << false << false;
}

// Two entries of one size whose primary paths are of the given kind: only regular files of
// exactly the entry's size take part.
void TestDuplicates::qualification()
{
    QFETCH(qint64, fileSize);
    QFETCH(qint64, entrySize);
    QFETCH(QString, kind);
    QFETCH(bool, partial);
    QFETCH(bool, marked);
    TestHome home;
    QList<ModelEntry> models;
    for (const QString& name : {QStringLiteral("a"), QStringLiteral("b")}) {
        const QString path = home.file(QStringLiteral("models/") + name);
        if (kind == QStringLiteral("file"))
            QVERIFY(modelFile(path, fileSize, 7));
        else if (kind == QStringLiteral("dir"))
            QVERIFY(QDir().mkpath(path));
        else if (kind == QStringLiteral("fifo"))
            QVERIFY(QDir().mkpath(home.file(QStringLiteral("models"))) &&
                    ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        models.push_back(entryFor(path, entrySize, ModelSource::ollama));
        models.back().partialHash = QStringLiteral("from a scanner");
    }
    Scanner::markDuplicates(models);
    QCOMPARE(fingerprinted(models), (QList<bool>{partial, partial}));
    QCOMPARE(marks(models), (QList<bool>{marked, marked}));
}

void TestDuplicates::sameHeadDifferentContentNotMarked()
{
    TestHome home;
    const QString a = home.file(QStringLiteral("a.gguf"));
    const QString b = home.file(QStringLiteral("b.gguf"));
    QVERIFY(modelFile(a, kSize, 3, "one ending"));
    QVERIFY(modelFile(b, kSize, 3, "another ending"));
    QList<ModelEntry> models{entryFor(a, kSize), entryFor(b, kSize)};
    DuplicateFinder finder(HashCache::defaultPath());
    const DuplicateFinder::Stats stats = finder.run(models);
    QCOMPARE(models[0].partialHash, models[1].partialHash);
    QVERIFY(models[0].partialHash.has_value());
    QCOMPARE(marks(models), (QList<bool>{false, false}));
    QCOMPARE(stats.filesHashed, 2);
}

void TestDuplicates::sizesNeverGrouped()
{
    TestHome home;
    QList<ModelEntry> models;
    const QList<std::pair<qint64, QByteArray>> files{
        {kSize, "same"}, {kSize, "same"}, {kSize + 1, "x"}, {kSize + 1, "y"}, {kSize + 2, "z"}};
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString path = home.file(QStringLiteral("m%1.gguf").arg(i));
        QVERIFY(modelFile(path, files[i].first, 4, files[i].second));
        models.push_back(entryFor(path, files[i].first));
    }
    Scanner::markDuplicates(models);
    QCOMPARE(marks(models), (QList<bool>{true, true, false, false, false}));
    QCOMPARE(fingerprinted(models), (QList<bool>{true, true, true, true, false}));
    QCOMPARE(models[2].partialHash, models[0].partialHash);
}

void TestDuplicates::oneFileIsOneCopy_data()
{
    QTest::addColumn<QString>("second");
    QTest::addColumn<QByteArray>("copyTail"); // a third file with the same head, if not empty
    QTest::addColumn<bool>("marked");
    QTest::newRow("hard link") << QStringLiteral("hard") << QByteArray() << false;
    QTest::newRow("same path twice") << QStringLiteral("same") << QByteArray() << false;
    QTest::newRow("through a linked folder") << QStringLiteral("via") << QByteArray() << false;
    QTest::newRow("hard link beside a real copy")
        << QStringLiteral("hard") << QByteArray("tail") << true;
    QTest::newRow("hard link beside other content")
        << QStringLiteral("hard") << QByteArray("other") << false;
    QTest::newRow("same path twice beside other content")
        << QStringLiteral("same") << QByteArray("other") << false;
}

void TestDuplicates::oneFileIsOneCopy()
{
    QFETCH(QString, second);
    QFETCH(QByteArray, copyTail);
    QFETCH(bool, marked);
    TestHome home;
    const QString a = home.file(QStringLiteral("store/model.gguf"));
    QVERIFY(modelFile(a, kSize, 5, "tail"));
    QString other = a;
    if (second == QStringLiteral("hard")) {
        other = home.file(QStringLiteral("store/linked.gguf"));
        QCOMPARE(::link(QFile::encodeName(a).constData(), QFile::encodeName(other).constData()), 0);
    } else if (second == QStringLiteral("via")) {
        QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("alias->store")}));
        other = home.file(QStringLiteral("alias/model.gguf"));
    }
    QList<ModelEntry> models{entryFor(a, kSize), entryFor(other, kSize)};
    if (!copyTail.isEmpty()) {
        const QString copy = home.file(QStringLiteral("copy/model.gguf"));
        QVERIFY(modelFile(copy, kSize, 5, copyTail));
        models.push_back(entryFor(copy, kSize));
    }
    Scanner::markDuplicates(models);
    for (const ModelEntry& model : std::as_const(models))
        QCOMPARE(model.isDuplicate, marked);
}

void TestDuplicates::unreadableEntryNeverMarked()
{
    TestHome home;
    home.openToEveryone();
    const QString a = home.file(QStringLiteral("a.gguf"));
    const QString b = home.file(QStringLiteral("b.gguf"));
    const QString c = home.file(QStringLiteral("c.gguf"));
    for (const QString& path : {a, b, c})
        QVERIFY(modelFile(path, kSize, 6, "tail"));
    QCOMPARE(::chmod(QFile::encodeName(b).constData(), 0), 0);
    const QString cache = home.root() + QStringLiteral("/unprivileged-cache/hashes.json");
    QVERIFY(QDir().mkpath(QFileInfo(cache).path()));
    ::chmod(QFile::encodeName(QFileInfo(cache).path()).constData(), 0777);

    QVERIFY(Fixtures::runUnprivileged([&] {
        QList<ModelEntry> pair{entryFor(a, kSize), entryFor(b, kSize)};
        DuplicateFinder(cache).run(pair);
        QList<ModelEntry> three{entryFor(a, kSize), entryFor(b, kSize), entryFor(c, kSize)};
        DuplicateFinder(cache).run(three);
        return marks(pair) == QList<bool>{false, false} && !pair[1].partialHash &&
               marks(three) == QList<bool>{true, false, true};
    }));
}

void TestDuplicates::warmCacheReadsOnlyHeads()
{
    TestHome home;
    const QByteArray tail(2 << 20, 'd');
    QList<ModelEntry> models;
    for (const QString& name : {QStringLiteral("a.gguf"), QStringLiteral("b.gguf")}) {
        QVERIFY(modelFile(home.file(name), kSize, 8, tail));
        models.push_back(entryFor(home.file(name), kSize));
    }
    QList<ModelEntry> first = models;
    qint64 before = charsRead();
    const DuplicateFinder::Stats cold = DuplicateFinder(HashCache::defaultPath()).run(first);
    const qint64 coldRead = charsRead() - before;
    QCOMPARE(cold.filesHashed, 2);
    QVERIFY2(coldRead >= 2 * tail.size(), qPrintable(QString::number(coldRead)));

    QList<ModelEntry> second = models;
    before = charsRead();
    const DuplicateFinder::Stats warm = DuplicateFinder(HashCache::defaultPath()).run(second);
    const qint64 warmRead = charsRead() - before;
    QCOMPARE(warm.filesHashed, 0);
    QCOMPARE(warm.cacheHits, 2);
    QCOMPARE(warm.bytesHashed, 0);
    const qint64 cacheBytes = QFileInfo(HashCache::defaultPath()).size();
    // Two 64 KiB heads, the cache file and the reads of /proc/self/io itself.
    QVERIFY2(warmRead <= 2 * ContentHash::kHeadBytes + cacheBytes + 4096,
             qPrintable(QString::number(warmRead)));
    QCOMPARE(marks(second), (QList<bool>{true, true}));
    QCOMPARE(second, first);
}

void TestDuplicates::changedFileHashedAgain_data()
{
    QTest::addColumn<bool>("restoreTime");
    QTest::newRow("content changed") << false;
    QTest::newRow("content changed, modification time put back") << true;
}

void TestDuplicates::changedFileHashedAgain()
{
    QFETCH(bool, restoreTime);
    TestHome home;
    const QString a = home.file(QStringLiteral("a.gguf"));
    const QString b = home.file(QStringLiteral("b.gguf"));
    QVERIFY(modelFile(a, kSize, 9, "tail"));
    QVERIFY(modelFile(b, kSize, 9, "tail"));
    QVERIFY(Fixtures::setModified(b, 1'700'000'000));
    QList<ModelEntry> models{entryFor(a, kSize), entryFor(b, kSize)};
    QList<ModelEntry> first = models;
    DuplicateFinder(HashCache::defaultPath()).run(first);
    QCOMPARE(marks(first), (QList<bool>{true, true}));

    QTest::qSleep(20); // a later status-change time than the cached one
    QVERIFY(writeAt(b, kSize - 4096 - 4, "TAIL"));
    if (restoreTime)
        QVERIFY(Fixtures::setModified(b, 1'700'000'000));
    QList<ModelEntry> second = models;
    const DuplicateFinder::Stats stats = DuplicateFinder(HashCache::defaultPath()).run(second);
    QCOMPARE(stats.filesHashed, 1);
    QCOMPARE(stats.cacheHits, 1);
    QCOMPARE(marks(second), (QList<bool>{false, false}));
}

void TestDuplicates::badCacheRebuilt_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("kind");
    QTest::newRow("garbage") << QByteArray("\x00\xff{not json", 12) << QStringLiteral("file");
    QTest::newRow("an array") << QByteArray("[1,2,3]") << QStringLiteral("file");
    QTest::newRow("another version")
        << QByteArray("{\"version\":2,\"files\":{}}") << QStringLiteral("file");
    QTest::newRow("a wrong hash") << QByteArray(
                                         "{\"version\":1,\"files\":{\"1:2:60000000:3:4\":\"zz\"}}")
                                  << QStringLiteral("file");
    QTest::newRow("a wrong key")
        << QByteArray("{\"version\":1,\"files\":{\"1:2\":\"00000000000000000000000000000000\"}}")
        << QStringLiteral("file");
    QTest::newRow("a FIFO") << QByteArray() << QStringLiteral("fifo");
}

void TestDuplicates::badCacheRebuilt()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, kind);
    TestHome home;
    const QString cache = HashCache::defaultPath();
    QVERIFY(QDir().mkpath(QFileInfo(cache).path()));
    if (kind == QStringLiteral("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(cache).constData(), 0644), 0);
    else
        QVERIFY(Fixtures::writeFile(cache, content));
    QList<ModelEntry> models;
    for (const QString& name : {QStringLiteral("a.gguf"), QStringLiteral("b.gguf")}) {
        QVERIFY(modelFile(home.file(name), kSize, 10, "tail"));
        models.push_back(entryFor(home.file(name), kSize));
    }
    const DuplicateFinder::Stats stats = DuplicateFinder(cache).run(models);
    QCOMPARE(stats.filesHashed, 2);
    QCOMPARE(marks(models), (QList<bool>{true, true}));
    QCOMPARE(cacheFiles().size(), 2);
    QCOMPARE(QDir(QFileInfo(cache).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("hashes.json")});
}

void TestDuplicates::cacheHoldsLatestScanOnly()
{
    TestHome home;
    QList<ModelEntry> first;
    QList<ModelEntry> second;
    for (int i = 0; i < 4; ++i) {
        const QString path = home.file(QStringLiteral("m%1.gguf").arg(i));
        QVERIFY(modelFile(path, kSize + i / 2, 11 + static_cast<quint32>(i / 2), "tail"));
        (i < 2 ? first : second).push_back(entryFor(path, kSize + i / 2));
    }
    Scanner::markDuplicates(first);
    QCOMPARE(cacheFiles().size(), 2);
    Scanner::markDuplicates(second);
    QCOMPARE(marks(second), (QList<bool>{true, true}));
    const QJsonObject files = cacheFiles();
    QCOMPARE(files.size(), 2);
    for (const QString& key : files.keys())
        QCOMPARE(FileIdentity::fromKey(key)->size, kSize + 1);

    QList<ModelEntry> none;
    Scanner::markDuplicates(none);
    QCOMPARE(cacheFiles().size(), 0);
}

// The hash depends on the bytes at their offsets, not on which parts are holes.
void TestDuplicates::fullHashFollowsContentNotLayout()
{
    TestHome home;
    const qint64 size = 3 * (1 << 20) + 12345;
    const QByteArray data = Fixtures::headBytes(12, 4096);
    const QString sparse = home.file(QStringLiteral("sparse"));
    const QString dense = home.file(QStringLiteral("dense"));
    const QString moved = home.file(QStringLiteral("moved"));
    QVERIFY(Fixtures::makeSparseFile(sparse, size) && writeAt(sparse, 1 << 20, data));
    QByteArray whole(size, '\0');
    whole.replace(1 << 20, data.size(), data);
    QVERIFY(Fixtures::writeFile(dense, whole));
    QVERIFY(Fixtures::makeSparseFile(moved, size) && writeAt(moved, 2 << 20, data));

    auto hashOf = [](const QString& path) -> std::optional<QString> {
        FileIdentity identity;
        const int fd = ContentHash::openRegular(path, identity);
        if (fd < 0)
            return std::nullopt;
        std::optional<QString> hash = ContentHash::fullHash(fd, identity.size);
        ::close(fd);
        return hash;
    };
    const std::optional<QString> sparseHash = hashOf(sparse);
    QVERIFY(sparseHash.has_value());
    QCOMPARE(sparseHash->size(), 32);
    QCOMPARE(hashOf(dense), sparseHash);
    QVERIFY(hashOf(moved) != sparseHash);
}

void TestDuplicates::sparseFileCostsWhatItHolds()
{
    TestHome home;
    const QString path = home.file(QStringLiteral("huge.gguf"));
    const qint64 size = qint64(1) << 40; // one TiB, nearly all hole
    QVERIFY(Fixtures::makeSparseFile(path, size, Fixtures::headBytes(13)));
    FileIdentity identity;
    const int fd = ContentHash::openRegular(path, identity);
    QVERIFY(fd >= 0);
    std::atomic<qint64> read{0};
    QVERIFY(ContentHash::fullHash(fd, size, &read).has_value());
    ::close(fd);
    QVERIFY2(read.load() <= (1 << 20), qPrintable(QString::number(read.load())));
}

void TestDuplicates::emptyListTouchesNothing()
{
    TestHome home;
    QList<ModelEntry> models;
    const DuplicateFinder::Stats stats = DuplicateFinder(HashCache::defaultPath()).run(models);
    QVERIFY(models.isEmpty());
    QCOMPARE(stats.candidates, 0);
    QVERIFY(!QFileInfo::exists(AppPaths::cacheDir()));
}

QTEST_GUILESS_MAIN(TestDuplicates)
#include "tst_duplicates.moc"

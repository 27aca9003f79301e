#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/CodingCacheScanner.h"

#include <QFile>
#include <QtTest>
#include <limits>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using ScanReadout::idsOf;

namespace {

const QString kCursorIndex =
    u"Per-project code embeddings and AI context built by Cursor. Rebuilds automatically when "
    u"you reopen the project."_s;
const QString kCursorCache =
    u"Cursor application cache (downloaded assets, GPU cache). Safe to delete."_s;

// Files of the given total size in the folder: a visible one and a hidden one in a hidden folder.
bool fillFolder(const QString& folder, qint64 bytes)
{
    const qint64 hidden = bytes / 3;
    return Fixtures::makeSparseFile(folder + u"/data.bin"_s, bytes - hidden) &&
           Fixtures::makeSparseFile(folder + u"/.git/objects/.pack"_s, hidden);
}

} // namespace

class TestCodingCacheScanner : public QObject
{
    Q_OBJECT

private slots:
    void noCacheFoldersGiveNothing();
    void wholeFolderRows_data();
    void wholeFolderRows();
    void wholeFolderThreshold_data();
    void wholeFolderThreshold();
    void perProjectNames_data();
    void perProjectNames();
    void perProjectSubfolders();
    void linuxCursorWorkspaceIndex();
    void newestDateAmongTheFiles();
    void rowFolderThatIsALinkGivesNoEntry_data();
    void rowFolderThatIsALinkGivesNoEntry();
    void trashInsideACacheIsNotCounted();
    void sumStopsAtTheLargestSize();
    void unreadableProjectIsSkipped();
};

void TestCodingCacheScanner::noCacheFoldersGiveNothing()
{
    TestHome home;
    QVERIFY(Fixtures::makeSparseFile(home.file(u".cursor/other/big.bin"_s), 5'000'000));
    const SourceScan scan = CodingCacheScanner::scan();
    QVERIFY(scan.models.isEmpty());
    QVERIFY(scan.errors.isEmpty());
    QCOMPARE(CodingCacheScanner::folders(), QStringList());
}

void TestCodingCacheScanner::wholeFolderRows_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("detail");
    QTest::newRow("Cursor chat") << u".cursor/chat"_s << u"cache-cursor-chathistory"_s
                                 << u"Cursor \u2014 Chat History"_s
                                 << u"AI conversation history from Cursor IDE. Safe to delete "
                                    u"\u2014 only removes past chats."_s;
    QTest::newRow("Cursor app cache") << u"Library/Caches/Cursor"_s << u"cache-cursor-appcache"_s
                                      << u"Cursor \u2014 App Cache"_s << kCursorCache;
    QTest::newRow("Continue") << u".continue"_s << u"cache-continue.dev-modelcache"_s
                              << u"Continue.dev \u2014 Model Cache"_s
                              << u"Continue.dev assistant cache including downloaded model data "
                                 u"and conversation history."_s;
    QTest::newRow("Codeium keeps the slash")
        << u".codeium"_s << u"cache-windsurf/codeium-aicache"_s
        << u"Windsurf / Codeium \u2014 AI Cache"_s
        << u"Windsurf / Codeium AI assistant cache including completions and local index."_s;
    QTest::newRow("Copilot cache")
        << u"Library/Application Support/com.github.copilot"_s << u"cache-githubcopilot-cache"_s
        << u"GitHub Copilot \u2014 Cache"_s
        << u"GitHub Copilot cached completions and authentication data."_s;
    QTest::newRow("Copilot config")
        << u".config/github-copilot"_s << u"cache-githubcopilot-configcache"_s
        << u"GitHub Copilot \u2014 Config Cache"_s
        << u"GitHub Copilot configuration and local cache."_s;
    QTest::newRow("Cursor app cache on Linux")
        << u".config/Cursor/CachedData"_s << u"cache-cursor-appcache"_s
        << u"Cursor \u2014 App Cache"_s << kCursorCache;
}

void TestCodingCacheScanner::wholeFolderRows()
{
    QFETCH(QString, folder);
    QFETCH(QString, id);
    QFETCH(QString, name);
    QFETCH(QString, detail);
    TestHome home;
    const QString path = home.file(folder);
    QVERIFY(fillFolder(path, 250'000));

    const SourceScan scan = CodingCacheScanner::scan();
    QVERIFY(scan.errors.isEmpty());
    QCOMPARE(scan.models.size(), 1);
    const ModelEntry& entry = scan.models.first();
    QCOMPARE(entry.id, id);
    QCOMPARE(entry.name, name);
    QCOMPARE(entry.source, ModelSource::codingCache);
    QCOMPARE(entry.sizeBytes, 250'000);
    QCOMPARE(entry.reclaimableBytes, 250'000);
    QCOMPARE(entry.primaryPath, path);
    QCOMPARE(entry.allPaths, QStringList{path});
    QCOMPARE(entry.deleteRisk, DeleteRisk::safe);
    QCOMPARE(entry.quantization, std::nullopt);
    QCOMPARE(entry.detail, std::optional<QString>(detail));
    QVERIFY(!entry.partialHash);
    QVERIFY(!entry.isDuplicate);
    QCOMPARE(CodingCacheScanner::folders(), QStringList{path});
}

void TestCodingCacheScanner::wholeFolderThreshold_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("reported");
    QTest::newRow("empty") << qint64(0) << false;
    QTest::newRow("99,999 bytes") << qint64(99'999) << false;
    QTest::newRow("100,000 bytes") << qint64(100'000) << true;
}

void TestCodingCacheScanner::wholeFolderThreshold()
{
    QFETCH(qint64, bytes);
    QFETCH(bool, reported);
    TestHome home;
    QVERIFY(QDir().mkpath(home.file(u".cursor/chat"_s)));
    if (bytes > 0)
        QVERIFY(fillFolder(home.file(u".cursor/chat"_s), bytes));
    const SourceScan scan = CodingCacheScanner::scan();
    QCOMPARE(scan.models.size(), reported ? 1 : 0);
    if (reported)
        QCOMPARE(scan.models.first().sizeBytes, bytes);
}

void TestCodingCacheScanner::perProjectNames_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("suffix"); // after "Cursor — Workspace Index"
    const QString hex32 = u"3f2a9c1d0b8e4f6a7c5d2e1f0a9b8c7d"_s;
    QTest::newRow("32 hexadecimal digits") << hex32 << u" (3f2a9c1d\u2026)"_s;
    QTest::newRow("31 characters") << hex32.left(31) << u" \u00b7 "_s + hex32.left(31);
    QTest::newRow("33 characters") << hex32 + u'e' << u" \u00b7 "_s + hex32 + u'e';
    QTest::newRow("36-character UUID")
        << u"0f8fad5b-d9cb-469f-a165-70867728950e"_s << u" (0f8fad5b\u2026)"_s;
    QTest::newRow("35 characters") << u"0f8fad5b-d9cb-469f-a165-70867728950"_s
                                   << u" \u00b7 0f8fad5b-d9cb-469f-a165-70867728950"_s;
    QTest::newRow("37 characters") << u"0f8fad5b-d9cb-469f-a165-70867728950ea"_s
                                   << u" \u00b7 0f8fad5b-d9cb-469f-a165-70867728950ea"_s;
    QTest::newRow("path-like name")
        << u"-Users-ann-code-site"_s << u" \u00b7 -Users-ann-code-site"_s;
    // 32 user-perceived characters, each an "e" with a combining accent (64 UTF-16 units).
    QString accented;
    for (int i = 0; i < 32; ++i)
        accented += u"e\u0301"_s;
    QTest::newRow("32 characters of two code points each")
        << accented << u" ("_s + accented.left(16) + u"\u2026)"_s;
    // 32 characters, one outside the Basic Multilingual Plane (two UTF-16 units).
    const QString astral = u"\U0001F600"_s + hex32.left(31);
    QTest::newRow("32 characters with an emoji")
        << astral << u" ("_s + astral.left(9) + u"\u2026)"_s;
}

void TestCodingCacheScanner::perProjectNames()
{
    QFETCH(QString, folderName);
    QFETCH(QString, suffix);
    TestHome home;
    const QString folder =
        home.file(u"Library/Application Support/Cursor/User/workspaceStorage/"_s + folderName);
    QVERIFY(fillFolder(folder, 150'000));
    const SourceScan scan = CodingCacheScanner::scan();
    QCOMPARE(scan.models.size(), 1);
    QCOMPARE(scan.models.first().name, u"Cursor \u2014 Workspace Index"_s + suffix);
    QCOMPARE(scan.models.first().id, u"cache-cursor-"_s + folderName);
    QCOMPARE(scan.models.first().detail, std::optional<QString>(kCursorIndex));
}

void TestCodingCacheScanner::perProjectSubfolders()
{
    TestHome home;
    const QString projects = home.file(u".claude/projects"_s);
    QVERIFY(fillFolder(projects + u"/-home-ann-site"_s, 300'000));
    QVERIFY(fillFolder(projects + u"/-home-ann-API"_s, 120'000));
    QVERIFY(fillFolder(projects + u"/.hidden"_s, 500'000));
    QVERIFY(fillFolder(projects + u"/small"_s, 99'999));
    QVERIFY(Fixtures::makeSparseFile(projects + u"/loose-file.jsonl"_s, 900'000));
    QVERIFY(fillFolder(home.file(u"elsewhere"_s), 700'000));
    QVERIFY(Fixtures::makeTree(projects, {u"linked->../../elsewhere"_s}));

    const SourceScan scan = CodingCacheScanner::scan();
    QVERIFY(scan.errors.isEmpty());
    // Sub-folders in byte order of their names; the id keeps the name's case.
    QCOMPARE(idsOf(scan), (QStringList{u"cache-claudecode--home-ann-API"_s,
                                       u"cache-claudecode--home-ann-site"_s}));
    QCOMPARE(scan.models[0].primaryPath, projects + u"/-home-ann-API"_s);
    QCOMPARE(scan.models[0].allPaths, QStringList{projects + u"/-home-ann-API"_s});
    QCOMPARE(scan.models[0].sizeBytes, 120'000);
    QCOMPARE(scan.models[1].sizeBytes, 300'000);
    QCOMPARE(scan.models[1].name, u"Claude Code \u2014 Project Memory \u00b7 -home-ann-site"_s);
    QCOMPARE(scan.models[1].detail,
             std::optional<QString>(u"Per-project memory and conversation summaries saved by "
                                    u"Claude Code. Deleting removes AI context for those "
                                    u"projects."_s));
}

void TestCodingCacheScanner::linuxCursorWorkspaceIndex()
{
    TestHome home;
    const QString hash = u"0123456789abcdef0123456789abcdef"_s;
    QVERIFY(fillFolder(home.file(u".cursor/chat"_s), 200'000));
    QVERIFY(fillFolder(home.file(u".config/Cursor/User/workspaceStorage/"_s + hash), 200'000));
    QVERIFY(fillFolder(home.file(u".config/Cursor/CachedData"_s), 200'000));
    QVERIFY(fillFolder(home.file(u".config/github-copilot"_s), 200'000));

    const SourceScan scan = CodingCacheScanner::scan();
    // The Linux rows come after the table's own.
    QCOMPARE(idsOf(scan),
             (QStringList{u"cache-cursor-chathistory"_s, u"cache-githubcopilot-configcache"_s,
                          u"cache-cursor-"_s + hash, u"cache-cursor-appcache"_s}));
    QCOMPARE(scan.models[2].name, u"Cursor \u2014 Workspace Index (01234567\u2026)"_s);
    QCOMPARE(scan.models[2].detail, std::optional<QString>(kCursorIndex));
    QCOMPARE(scan.models[3].detail, std::optional<QString>(kCursorCache));
}

void TestCodingCacheScanner::newestDateAmongTheFiles()
{
    TestHome home;
    const QString folder = home.file(u".continue"_s);
    QVERIFY(
        Fixtures::makeTree(folder, {u"a.bin:60000"_s, u"deep/b.bin:60000"_s, u".c.bin:60000"_s}));
    QVERIFY(Fixtures::setModified(folder + u"/a.bin"_s, 1'600'000'000));
    QVERIFY(Fixtures::setModified(folder + u"/deep/b.bin"_s, 1'600'000'500));
    QVERIFY(Fixtures::setModified(folder + u"/.c.bin"_s, 1'500'000'000));
    QVERIFY(Fixtures::setModified(folder + u"/deep"_s, 1'700'000'000)); // folders do not count
    const SourceScan scan = CodingCacheScanner::scan();
    QCOMPARE(scan.models.size(), 1);
    QCOMPARE(scan.models.first().sizeBytes, 180'000);
    QCOMPARE(scan.models.first().lastModified,
             QDateTime::fromSecsSinceEpoch(1'600'000'500, Qt::UTC));
}

void TestCodingCacheScanner::rowFolderThatIsALinkGivesNoEntry_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("whole-folder row") << u".cursor/chat"_s;
    QTest::newRow("per-project row") << u".claude/projects"_s;
}

void TestCodingCacheScanner::rowFolderThatIsALinkGivesNoEntry()
{
    QFETCH(QString, link);
    TestHome home;
    // What a move to another drive leaves behind: the folder is elsewhere, a link stays.
    QVERIFY(fillFolder(home.file(u"moved/cache"_s), 400'000));
    QVERIFY(fillFolder(home.file(u"moved/cache/project"_s), 400'000));
    QVERIFY(QDir().mkpath(QFileInfo(home.file(link)).path()));
    QCOMPARE(::symlink(QFile::encodeName(home.file(u"moved/cache"_s)).constData(),
                       QFile::encodeName(home.file(link)).constData()),
             0);
    QVERIFY(CodingCacheScanner::scan().models.isEmpty());
    QVERIFY(CodingCacheScanner::folders().isEmpty());
}

void TestCodingCacheScanner::trashInsideACacheIsNotCounted()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u".continue/index.db:50000"_s,
                                             u".continue/.Trash-0/files/old.bin:900000"_s,
                                             u".continue/.Trash/old.bin:900000"_s}));
    QVERIFY(CodingCacheScanner::scan().models.isEmpty());
}

void TestCodingCacheScanner::sumStopsAtTheLargestSize()
{
    // Three sparse files of 4 EB each need a filesystem that allows files that large.
    QTemporaryDir shm(u"/dev/shm/brimvale-cache-XXXXXX"_s);
    if (!shm.isValid())
        QSKIP("/dev/shm is not available");
    TestHome home;
    home.setEnv("HOME", QFile::encodeName(shm.path()));
    const qint64 huge = qint64(4) << 60;
    for (const QString& name : {u"a"_s, u"b"_s, u"c"_s}) {
        if (!Fixtures::makeSparseFile(shm.path() + u"/.continue/"_s + name, huge))
            QSKIP("the filesystem of /dev/shm refuses files of 4 EB");
    }
    const SourceScan scan = CodingCacheScanner::scan();
    QCOMPARE(scan.models.size(), 1);
    QCOMPARE(scan.models.first().sizeBytes, std::numeric_limits<qint64>::max());
    QCOMPARE(scan.models.first().reclaimableBytes, std::numeric_limits<qint64>::max());
}

void TestCodingCacheScanner::unreadableProjectIsSkipped()
{
    TestHome home;
    home.openToEveryone();
    const QString projects = home.file(u".claude/projects"_s);
    QVERIFY(fillFolder(projects + u"/open"_s, 200'000));
    QVERIFY(fillFolder(projects + u"/closed"_s, 200'000));
    QCOMPARE(::chmod(QFile::encodeName(projects + u"/closed"_s).constData(), 0), 0);
    // As root everything is readable, which would prove nothing.
    QVERIFY(Fixtures::runUnprivileged([] {
        const SourceScan scan = CodingCacheScanner::scan();
        return scan.errors.isEmpty() && idsOf(scan) == QStringList{u"cache-claudecode-open"_s};
    }));
}

QTEST_GUILESS_MAIN(TestCodingCacheScanner)
#include "tst_codingcachescanner.moc"

#include "Fixtures.h"
#include "HubFixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/HuggingFaceScanner.h"
#include "services/TrashService.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

// The scans' clock, in seconds since 1970: files made by a test are older.
constexpr qint64 scanClock = 2'000'000'000;

QString hub(const TestHome& home)
{
    return home.file(u".cache/huggingface/hub"_qs);
}

// Tree lines below the repository models--o--m.
QStringList m(QStringList lines)
{
    for (QString& line : lines)
        line.prepend(u"models--o--m/"_qs);
    return lines;
}

// Whether the entry of an unfinished download is that one file, by itself, safe to remove.
bool goodDownload(const ModelEntry& entry)
{
    const QFileInfo file(entry.primaryPath);
    return entry.name == u"o/m (unfinished download)"_qs &&
           entry.source == ModelSource::huggingFace &&
           entry.allPaths == QStringList{file.filePath()} && entry.sizeBytes == file.size() &&
           entry.reclaimableBytes == file.size() &&
           entry.lastModified == file.lastModified().toUTC() &&
           entry.deleteRisk == DeleteRisk::safe && !entry.quantization &&
           entry.detail ==
               u"Unfinished download — safe to remove unless it is still downloading"_qs &&
           entry.dataFiles.isEmpty();
}

// "id size" of each entry, then " D:files" for data files and the path of a download, paths
// below the hub. "BAD" marks a download's entry breaking a rule every one keeps.
QString describe(const SourceScan& scan, const QString& hub)
{
    QStringList lines;
    for (const ModelEntry& entry : scan.models) {
        QString line = entry.id + u' ' + QString::number(entry.sizeBytes);
        if (!entry.dataFiles.isEmpty())
            line += u" D:"_qs + entry.dataFiles.join(u',');
        if (entry.id.startsWith(u"hf-partial-"_qs))
            line = (goodDownload(entry) ? QString() : u"BAD "_qs) + line + u' ' + entry.primaryPath;
        lines.push_back(line);
    }
    return lines.join(u';').replace(hub + u'/', QString());
}

} // namespace

class HuggingFaceScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void repositories()
    {
        TestHome home;
        for (const QString& folder :
             {u"models--meta-llama--Llama-3"_qs, u"models--gpt2"_qs, u"models--org--name--v2"_qs,
              u"models--a---b"_qs, u"datasets--org--set"_qs, u"spaces--org--demo"_qs,
              u"Models--org--x"_qs, u".locks"_qs})
            QVERIFY(Fixtures::makeTree(hub(home) + u'/' + folder, {u"blobs/abc=12345"_qs}));
        // Dated by its newest regular file: links, refs and folders do not count.
        const QString dated = hub(home) + u"/models--org--m"_qs;
        QVERIFY(Fixtures::makeTree(dated,
                                   {u"blobs/old=1"_qs, u"snapshots/r/new=2"_qs,
                                    u"snapshots/r/link->../../blobs/old"_qs, u"refs/main=r"_qs}));
        for (const auto& [file, at] : {std::pair{u"/blobs/old"_qs, 1'600'000'000},
                                       {u"/snapshots/r/new"_qs, 1'700'000'000},
                                       {u"/snapshots/r/link"_qs, 1'800'000'000},
                                       {u"/refs/main"_qs, 1'900'000'000},
                                       {u"/snapshots/r"_qs, 1'950'000'000}})
            QVERIFY(Fixtures::setModified(dated + file, at));
        const SourceScan scan = HuggingFaceScanner::scan();
        const qsizetype m = ScanReadout::idsOf(scan).indexOf(u"hf-models--org--m"_qs);
        QCOMPARE(scan.models.value(m).lastModified.value_or(QDateTime()),
                 QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
        QStringList names;
        for (const ModelEntry& entry : scan.models)
            names.push_back(entry.name);
        // Models, datasets and spaces; the first "--" after the prefix becomes a slash.
        QCOMPARE(names, (QStringList{u"org/set (dataset)"_qs, u"a/-b"_qs, u"gpt2"_qs,
                                     u"meta-llama/Llama-3"_qs, u"org/m"_qs, u"org/name--v2"_qs,
                                     u"org/demo (space)"_qs}));
        QCOMPARE(ScanReadout::idsOf(scan).constFirst(), u"hf-datasets--org--set"_qs);
        QCOMPARE(ScanReadout::idsOf(scan).constLast(), u"hf-spaces--org--demo"_qs);
        const QString repository = hub(home) + u"/models--a---b"_qs;
        ModelEntry expected(u"hf-models--a---b"_qs, u"a/-b"_qs, ModelSource::huggingFace, 5, 5,
                            repository, {repository}, scan.models[1].lastModified, DeleteRisk::safe,
                            std::nullopt, std::nullopt);
        expected.lastUsed = scan.models[1].lastUsed;
        QCOMPARE(scan.models[1], expected);
    }

    // Rows: the hub as Fixtures::makeTree lines, a line ending in "^<n>" making a file last
    // changed n seconds after the scan's clock; the entries as describe() gives them.
    void downloadsAndDataFiles_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unfinished downloads listed apart, not in the repository")
            << m({u"blobs/abc=12345"_qs, u"blobs/0123456789abcdef.incomplete=123"_qs,
                  u"blobs/ab.incomplete=1"_qs, u"snapshots/r/m->../../blobs/abc"_qs})
            << u"hf-models--o--m 5;"
               u"hf-partial-models--o--m-0123456789ab 3 "
               u"models--o--m/blobs/0123456789abcdef.incomplete;"
               u"hf-partial-models--o--m-ab.incomplet 1 models--o--m/blobs/ab.incomplete"_qs;
        QTest::newRow("changed in the last ten minutes: neither listed nor counted")
            << m({u"blobs/a=1"_qs, u"blobs/x.incomplete=12^-599"_qs,
                  u"blobs/y.incomplete=123^-600"_qs, u"blobs/z.incomplete=1234^60"_qs})
            << u"hf-models--o--m 1;hf-partial-models--o--m-y.incomplete 3 "
               u"models--o--m/blobs/y.incomplete"_qs;
        QTest::newRow("only regular files right in a real blobs folder")
            << m({u"blobs/a=1"_qs, u"blobs/sub/t.incomplete=12"_qs, u"blobs/l.incomplete->a"_qs,
                  u"snapshots/r/s.incomplete=123"_qs}) +
                   QStringList{u"other/x.incomplete=1234"_qs, u"models--o--n/blobs->../other"_qs}
            << u"hf-models--o--m 6;hf-models--o--n 0"_qs;
        QTest::newRow("data files: large regular files, downloads apart")
            << m({u"blobs/big:50000000"_qs, u"blobs/small:49999999"_qs,
                  u"blobs/part.incomplete:60000000"_qs, u"snapshots/r/own:50000000"_qs,
                  u"snapshots/r/sub/deep:70000000"_qs, u"snapshots/r/link->../../blobs/big"_qs})
            << u"hf-models--o--m 219999999 D:models--o--m/blobs/big,models--o--m/snapshots/r/own,"
               u"models--o--m/snapshots/r/sub/deep;hf-partial-models--o--m-part.incompl 60000000 "
               u"models--o--m/blobs/part.incomplete"_qs;
    }

    void downloadsAndDataFiles()
    {
        QFETCH(QStringList, tree);
        QFETCH(QString, expected);
        TestHome home;
        QStringList changed;
        for (QString& line : tree) {
            const qsizetype caret = line.indexOf(u'^');
            if (caret >= 0) {
                changed.push_back(line.left(line.indexOf(u'=')) + line.mid(caret));
                line.truncate(caret);
            }
        }
        QVERIFY(Fixtures::makeTree(hub(home), tree));
        for (const QString& item : changed) {
            const qsizetype caret = item.indexOf(u'^');
            QVERIFY(Fixtures::setModified(hub(home) + u'/' + item.left(caret),
                                          scanClock + item.mid(caret + 1).toLongLong()));
        }
        QCOMPARE(
            describe(HuggingFaceScanner::scan(QDateTime::fromSecsSinceEpoch(scanClock, Qt::UTC)),
                     hub(home)),
            expected);
    }

    void cacheDir_data()
    {
        QTest::addColumn<QString>("hfHome"); // relative to the test root; empty: unset
        QTest::addColumn<QString>("xdgCache");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("expected");
        const QString fallback = u"home/.cache/huggingface"_qs;
        QTest::newRow("HF_HOME existing")
            << u"hf"_qs << u"xdg"_qs << QStringList{u"hf/"_qs, u"xdg/huggingface/"_qs} << u"hf"_qs;
        QTest::newRow("HF_HOME missing: XDG cache")
            << u"hf"_qs << u"xdg"_qs << QStringList{u"xdg/huggingface/"_qs}
            << u"xdg/huggingface"_qs;
        QTest::newRow("XDG cache without huggingface: home default")
            << QString() << u"xdg"_qs << QStringList{u"xdg/"_qs} << fallback;
        QTest::newRow("XDG huggingface is a file: home default")
            << QString() << u"xdg"_qs << QStringList{u"xdg/huggingface=x"_qs} << fallback;
        QTest::newRow("nothing set") << QString() << QString() << QStringList() << fallback;
    }

    void cacheDir()
    {
        QFETCH(QString, hfHome);
        QFETCH(QString, xdgCache);
        QFETCH(QStringList, folders);
        QFETCH(QString, expected);
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.root(), folders));
        const auto inRoot = [&](const QString& relative) {
            return relative.isEmpty() ? QByteArray()
                                      : QFile::encodeName(home.root() + u'/' + relative);
        };
        home.setEnv("HF_HOME", inRoot(hfHome));
        home.setEnv("XDG_CACHE_HOME", inRoot(xdgCache));
        QCOMPARE(HuggingFaceScanner::cacheDir(), home.root() + u'/' + expected);
    }

    // Rows: the hub as Fixtures::makeTree lines ("<HUB>" standing for its path); the entries
    // as HubFixtures::describe gives them.
    void revisions_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("expected");
        const QStringList three = HubFixtures::threeRevisions(u"models--o--m"_qs);
        const QString old = u"hf-old-models--o--m 16 P:models--o--m/snapshots/c3,"
                            u"models--o--m/blobs/d,models--o--m/blobs/n"_qs;
        QTest::newRow("main, pr/1 and a detached commit: a shared blob stays")
            << three << u"hf-models--o--m 12 P:models--o--m;"_qs + old;
        QTest::newRow("a tag names the third commit: nothing old")
            << three + QStringList{u"models--o--m/refs/tags/v1=c3"_qs}
            << u"hf-models--o--m 28 P:models--o--m"_qs;
        QTest::newRow("no ref at all: every snapshot current")
            << three.mid(2) << u"hf-models--o--m 28 P:models--o--m"_qs;
        QTest::newRow("a ref to a missing snapshot: kept, marked")
            << three + QStringList{u"models--o--m/refs/tags/v0=c0"_qs}
            << u"hf-models--o--m 12 P:models--o--m !;"_qs + old;
        QTest::newRow("a link to a missing blob: kept, marked")
            << m({u"refs/main=c1"_qs, u"blobs/a=1"_qs, u"snapshots/c1/a->../../blobs/a"_qs,
                  u"snapshots/c1/b->../../blobs/gone"_qs})
            << u"hf-models--o--m 1 P:models--o--m !"_qs;
        QTest::newRow("links by absolute path and from a deeper folder")
            << m({u"refs/main=c1"_qs, u"blobs/a=1"_qs, u"blobs/b=22"_qs, u"blobs/c=333"_qs,
                  u"snapshots/c1/a->../../blobs/a"_qs,
                  u"snapshots/c2/x/y/b->../../../../blobs/b"_qs,
                  u"snapshots/c2/c-><HUB>/models--o--m/blobs/c"_qs,
                  u"snapshots/c2/out->../../blobs/../refs/main"_qs})
            << u"hf-models--o--m 1 P:models--o--m;hf-old-models--o--m 5 P:"
               u"models--o--m/snapshots/c2,models--o--m/blobs/b,models--o--m/blobs/c"_qs;
        QTest::newRow("data files go with the bytes")
            << m({u"refs/main=c1"_qs, u"blobs/kept:50000000"_qs, u"blobs/both:60000000"_qs,
                  u"blobs/gone:70000000"_qs, u"snapshots/c1/k->../../blobs/kept"_qs,
                  u"snapshots/c1/b->../../blobs/both"_qs, u"snapshots/c2/b->../../blobs/both"_qs,
                  u"snapshots/c2/g->../../blobs/gone"_qs, u"snapshots/c2/own:80000000"_qs})
            << u"hf-models--o--m 110000000 P:models--o--m D:models--o--m/blobs/both,"
               u"models--o--m/blobs/kept;hf-old-models--o--m 150000000 P:"
               u"models--o--m/snapshots/c2,models--o--m/blobs/gone D:models--o--m/blobs/gone,"
               u"models--o--m/snapshots/c2/own"_qs;
        QStringList datasets = HubFixtures::threeRevisions(u"datasets--o--d"_qs);
        datasets += HubFixtures::threeRevisions(u"spaces--o--s"_qs);
        datasets += {u"datasets--o--d/blobs/x.incomplete=1"_qs, u"spaces--o--s/refs/tags/v1=c3"_qs};
        QTest::newRow("datasets and spaces")
            << datasets
            << u"hf-datasets--o--d 12 P:datasets--o--d;hf-old-datasets--o--d 16 P:"
               u"datasets--o--d/snapshots/c3,datasets--o--d/blobs/d,datasets--o--d/blobs/n;"
               u"hf-partial-datasets--o--d-x.incomplete 1 P:datasets--o--d/blobs/x.incomplete;"
               u"hf-spaces--o--s 28 P:spaces--o--s"_qs;
    }

    void revisions()
    {
        QFETCH(QStringList, tree);
        QFETCH(QString, expected);
        TestHome home;
        for (QString& line : tree)
            line.replace(u"<HUB>"_qs, hub(home));
        QVERIFY(Fixtures::makeTree(hub(home), tree));
        const QDateTime later = QDateTime::fromSecsSinceEpoch(scanClock, Qt::UTC);
        QCOMPARE(HubFixtures::describe(HuggingFaceScanner::scan(later), hub(home)), expected);
    }

    void names()
    {
        TestHome home;
        QVERIFY(Fixtures::makeTree(hub(home), HubFixtures::threeRevisions(u"datasets--o--d"_qs) +
                                                  HubFixtures::threeRevisions(u"models--o--m"_qs)));
        QVERIFY(Fixtures::writeFile(hub(home) + u"/models--o--m/refs/pr/2"_qs, "c4"));
        QVERIFY(Fixtures::makeTree(hub(home), {u"models--o--m/snapshots/c4/"_qs}));
        const SourceScan scan = HuggingFaceScanner::scan();
        QStringList lines;
        for (const ModelEntry& entry : scan.models)
            lines.push_back(entry.name + u" | "_qs + entry.detail.value_or(QString()) + u" | "_qs +
                            entry.primaryPath.mid(hub(home).size() + 1) + u' ' +
                            QString::number(entry.reclaimableBytes) +
                            (entry.deleteRisk == DeleteRisk::safe ? u" safe"_qs : QString()));
        QCOMPARE(lines,
                 (QStringList{
                     u"o/d (dataset) |  | datasets--o--d 12 safe"_qs,
                     u"o/d (dataset, old revisions) | 1 old revision no branch or tag "
                     u"points to — the current files stay | datasets--o--d/snapshots/c3 16 safe"_qs,
                     u"o/m |  | models--o--m 12 safe"_qs,
                     u"o/m (old revisions) | 1 old revision no branch or tag points to — "
                     u"the current files stay | models--o--m/snapshots/c3 16 safe"_qs}));
        QVERIFY(Fixtures::makeTree(hub(home), {u"models--o--m/snapshots/c5/"_qs}));
        QCOMPARE(HuggingFaceScanner::scan().models.constLast().detail,
                 u"2 old revisions no branch or tag points to — the current files stay"_qs);
    }

    // Trashing the old revisions leaves every kept link resolving; restoring brings them back.
    void trashOldRevisions()
    {
        TestHome home;
        const QString repo = hub(home) + u"/models--o--m"_qs;
        QVERIFY(Fixtures::makeTree(hub(home), HubFixtures::threeRevisions(u"models--o--m"_qs)));
        const QStringList kept{repo + u"/snapshots/c1"_qs, repo + u"/snapshots/c2"_qs};
        const QStringList all = kept + QStringList{repo + u"/snapshots/c3"_qs};
        const SourceScan before = HuggingFaceScanner::scan();
        QCOMPARE(before.models.size(), 2);
        const TrashOutcome trashed = TrashService::moveToTrash(before.models[1]);
        QVERIFY(!trashed.error);
        QVERIFY(HubFixtures::linksResolve(kept));
        QVERIFY(!QFileInfo::exists(repo + u"/snapshots/c3"_qs));
        QCOMPARE(HubFixtures::describe(HuggingFaceScanner::scan(), hub(home)),
                 u"hf-models--o--m 12 P:models--o--m"_qs);
        QVERIFY(!TrashService::restore(trashed.entry->id).error);
        QVERIFY(HubFixtures::linksResolve(all));
        QCOMPARE(HuggingFaceScanner::scan().models, before.models);
    }

    // Rows: the home as Fixtures::makeTree lines ("<HUB>" and "<ROOT>" standing for the hub and
    // the folder holding the home); "NAME=value" settings; the entries as HubFixtures::describe
    // gives them, paths relative to the home.
    void otherCaches_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("expected");
        const QString hf = u".cache/huggingface/"_qs;
        const QStringList caches{hf + u"xet/chunks/x:2000"_qs,
                                 hf + u"datasets/downloads/extracted/f:1500000"_qs,
                                 hf + u"datasets/squad/plain/0.0.0/a.arrow:1000000"_qs,
                                 hf + u"datasets/tiny/t:999999"_qs, hf + u"datasets/_lock=1"_qs};
        const QString listed =
            u"hf-xet 2000 P:.cache/huggingface/xet;hf-datasets-cache-downloads 1500000 "
            u"P:.cache/huggingface/datasets/downloads;hf-datasets-cache-squad 1000000 "
            u"P:.cache/huggingface/datasets/squad"_qs;
        QTest::newRow("xet and datasets caches at their defaults")
            << caches << QStringList() << listed;
        QTest::newRow("an empty xet cache, a xet cache that is a link")
            << QStringList{hf + u"xet/chunks/"_qs, u"x/a:5"_qs, u"ds-><ROOT>/home/x"_qs}
            << QStringList{u"HF_DATASETS_CACHE=<ROOT>/home/ds"_qs} << QString();
        QTest::newRow("set by their variables")
            << QStringList{u"xet/x:2000"_qs, u"tasets/downloads/f:1500000"_qs,
                           u"tasets/squad/a.arrow:1000000"_qs, hf + u"xet/y:5"_qs}
            << QStringList{u"HF_XET_CACHE=<ROOT>/home/xet"_qs,
                           u"HF_DATASETS_CACHE=<ROOT>/home/tasets"_qs}
            << u"hf-xet 2000 P:xet;hf-datasets-cache-downloads 1500000 P:tasets/downloads;"
               u"hf-datasets-cache-squad 1000000 P:tasets/squad"_qs;
        QTest::newRow("a cache that is, holds or lies in the hub or another cache is left out")
            << caches + QStringList{hf + u"hub/models--a/blobs/b=1"_qs}
            << QStringList{u"HF_XET_CACHE=<ROOT>/home/.cache"_qs,
                           u"HF_DATASETS_CACHE=<HUB>/models--a"_qs}
            << u"hf-models--a 1 P:.cache/huggingface/hub/models--a"_qs;
        // An existing hub folder replaces the default; a missing one leaves nothing.
        const QStringList hubs{hf + u"hub/models--a/blobs/x=1"_qs, u"other/models--c/blobs/x=1"_qs,
                               u"other/models--b/blobs/"_qs,
                               u"other/models--link-><HUB>/models--a"_qs};
        QTest::newRow("HF_HUB_CACHE names an existing folder")
            << hubs << QStringList{u"HF_HUB_CACHE=<ROOT>/home/other"_qs}
            << u"hf-models--b 0 P:other/models--b;hf-models--c 1 P:other/models--c"_qs;
        QTest::newRow("HF_HUB_CACHE names a missing folder")
            << hubs << QStringList{u"HF_HUB_CACHE=<ROOT>/home/missing"_qs} << QString();
        const QString repo = hf + u"hub/models--o--m"_qs;
        const QString repoN = hf + u"hub/models--o--n"_qs;
        const QStringList snapshot{repo + u"/refs/main=c1"_qs,
                                   repo + u"/snapshots/c1/a->../../blobs/a"_qs};
        QTest::newRow("a blobs folder linked elsewhere: sized at its target, taken along")
            << snapshot +
                   QStringList{u"store/blobs/a=1"_qs, repo + u"/blobs-><ROOT>/home/store/blobs"_qs}
            << QStringList() << u"hf-models--o--m 1 P:"_qs + repo + u",store/blobs"_qs;
        QTest::newRow("old revisions in a linked blobs folder")
            << snapshot + QStringList{u"store/blobs/a=1"_qs, u"store/blobs/b=22"_qs,
                                      repo + u"/snapshots/c2/b->../../blobs/b"_qs,
                                      repo + u"/blobs->../../../../store/blobs"_qs}
            << QStringList()
            << u"hf-models--o--m 1 P:"_qs + repo + u",store/blobs;hf-old-models--o--m 2 P:"_qs +
                   repo + u"/snapshots/c2,store/blobs/b"_qs;
        QTest::newRow("two repositories linking one target: sized by neither, never taken")
            << snapshot + QStringList{u"store/blobs/a=1"_qs,
                                      repo + u"/blobs-><ROOT>/home/store/blobs"_qs,
                                      repoN + u"/blobs-><ROOT>/home/store/blobs"_qs}
            << QStringList()
            << u"hf-models--o--m 0 P:"_qs + repo + u";hf-models--o--n 0 P:"_qs + repoN;
        QTest::newRow("a blobs target inside another store")
            << snapshot + QStringList{u".ollama/models/blobs/a=1"_qs,
                                      repo + u"/blobs-><ROOT>/home/.ollama/models/blobs"_qs}
            << QStringList() << u"hf-models--o--m 0 P:"_qs + repo;
        QTest::newRow("a blobs target holding the home or the repository")
            << snapshot + QStringList{repo + u"/blobs->/"_qs, repoN + u"/blobs->.."_qs}
            << QStringList()
            << u"hf-models--o--m 0 P:"_qs + repo + u";hf-models--o--n 0 P:"_qs + repoN;
        QTest::newRow("a dangling blobs link: kept, marked")
            << snapshot + QStringList{repo + u"/blobs-><ROOT>/gone"_qs} << QStringList()
            << u"hf-models--o--m 0 P:"_qs + repo + u" !"_qs;
    }

    void otherCaches()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, settings);
        QFETCH(QString, expected);
        TestHome home;
        const auto placed = [&](QString text) {
            return text.replace(u"<HUB>"_qs, hub(home)).replace(u"<ROOT>"_qs, home.root());
        };
        for (QString& line : tree)
            line = placed(line);
        QVERIFY(Fixtures::makeTree(home.path(), tree));
        for (const QString& setting : std::as_const(settings)) {
            const qsizetype equals = setting.indexOf(u'=');
            home.setEnv(setting.left(equals).toLatin1().constData(),
                        QFile::encodeName(placed(setting.mid(equals + 1))));
        }
        QCOMPARE(HubFixtures::describe(HuggingFaceScanner::scan(), home.path()), expected);
    }

    // Rows: "NAME=value" settings read as written (no placeholders: `~` and variables are the
    // scanner's to expand); the ids the scan lists. The home holds the hubs "hf/hub",
    // "x", "y", "$UNSET_BRIMVALE/x", the xet cache "xet" and the datasets cache "ds".
    void variables_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QStringList>("ids");
        const QStringList inHf{u"hf-models--hf"_qs};
        // One form of path each: AppPaths::expandPath has its own table.
        QTest::newRow("HF_HOME ~/hf") << QStringList{u"HF_HOME=~/hf"_qs} << inHf;
        QTest::newRow("HF_HUB_CACHE ~/x")
            << QStringList{u"HF_HUB_CACHE=~/x"_qs} << QStringList{u"hf-models--x"_qs};
        QTest::newRow("legacy HUGGINGFACE_HUB_CACHE $HOME/y")
            << QStringList{u"HUGGINGFACE_HUB_CACHE=$HOME/y"_qs} << QStringList{u"hf-models--y"_qs};
        QTest::newRow("HF_HUB_CACHE before the legacy name")
            << QStringList{u"HUGGINGFACE_HUB_CACHE=~/y"_qs, u"HF_HUB_CACHE=~/x"_qs}
            << QStringList{u"hf-models--x"_qs};
        QTest::newRow("an unset variable stays as written")
            << QStringList{u"HF_HUB_CACHE=~/$UNSET_BRIMVALE/x"_qs}
            << QStringList{u"hf-models--unset"_qs};
        QTest::newRow("HF_XET_CACHE ~/xet and HF_DATASETS_CACHE ${HOME}/ds")
            << QStringList{u"HF_XET_CACHE=~/xet"_qs, u"HF_DATASETS_CACHE=${HOME}/ds"_qs,
                           u"HF_HUB_CACHE=$HOME/none"_qs}
            << QStringList{u"hf-xet"_qs, u"hf-datasets-cache-downloads"_qs};
    }

    void variables()
    {
        QFETCH(QStringList, settings);
        QFETCH(QStringList, ids);
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(),
                                   {u"hf/hub/models--hf/blobs/a=1"_qs, u"x/models--x/blobs/a=1"_qs,
                                    u"y/models--y/blobs/a=1"_qs,
                                    u"$UNSET_BRIMVALE/x/models--unset/blobs/a=1"_qs,
                                    u".cache/huggingface/hub/models--default/blobs/a=1"_qs,
                                    u"xet/a:5"_qs, u"ds/downloads/a:1000000"_qs}));
        home.setEnv("UNSET_BRIMVALE", QByteArray());
        for (const QString& setting : std::as_const(settings)) {
            const qsizetype equals = setting.indexOf(u'=');
            home.setEnv(setting.left(equals).toLatin1().constData(),
                        setting.mid(equals + 1).toUtf8());
        }
        QCOMPARE(ScanReadout::idsOf(HuggingFaceScanner::scan()), ids);
    }
};

QTEST_GUILESS_MAIN(HuggingFaceScannerTest)
#include "tst_huggingfacescanner.moc"

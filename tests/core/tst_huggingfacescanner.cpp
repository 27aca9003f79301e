#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/HuggingFaceScanner.h"

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
        const SourceScan scan = HuggingFaceScanner::scan();
        QStringList names;
        for (const ModelEntry& entry : scan.models)
            names.push_back(entry.name);
        // Model folders only; the first "--" after the prefix becomes a slash.
        QCOMPARE(names, (QStringList{u"a/-b"_qs, u"gpt2"_qs, u"meta-llama/Llama-3"_qs,
                                     u"org/name--v2"_qs}));
        const QString repository = hub(home) + u"/models--a---b"_qs;
        ModelEntry expected(u"hf-models--a---b"_qs, u"a/-b"_qs, ModelSource::huggingFace, 5, 5,
                            repository, {repository}, scan.models[0].lastModified, DeleteRisk::safe,
                            std::nullopt, std::nullopt);
        expected.lastUsed = scan.models[0].lastUsed;
        QCOMPARE(scan.models[0], expected);
    }

    void newestDate()
    {
        TestHome home;
        const QString repository = hub(home) + u"/models--org--m"_qs;
        QVERIFY(Fixtures::makeTree(repository,
                                   {u"blobs/old=1"_qs, u"snapshots/r/new=2"_qs,
                                    u"snapshots/r/link->../../blobs/old"_qs, u"refs/main=x"_qs}));
        QVERIFY(Fixtures::setModified(repository + u"/blobs/old"_qs, 1'600'000'000));
        QVERIFY(Fixtures::setModified(repository + u"/snapshots/r/new"_qs, 1'700'000'000));
        QVERIFY(Fixtures::setModified(repository + u"/snapshots/r/link"_qs, 1'800'000'000));
        QVERIFY(Fixtures::setModified(repository + u"/refs/main"_qs, 1'900'000'000));
        QVERIFY(Fixtures::setModified(repository + u"/snapshots/r"_qs, 1'950'000'000));
        const SourceScan scan = HuggingFaceScanner::scan();
        QCOMPARE(scan.models.size(), 1);
        QCOMPARE(scan.models[0].lastModified.value_or(QDateTime()),
                 QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
    }

    // Rows: the hub as Fixtures::makeTree lines, a line ending in "^<n>" making a file last
    // changed n seconds after the scan's clock; the entries as describe() gives them.
    void downloadsAndDataFiles_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unfinished downloads listed apart, not in the repository")
            << QStringList{u"models--o--m/blobs/abc=12345"_qs,
                           u"models--o--m/blobs/0123456789abcdef.incomplete=123"_qs,
                           u"models--o--m/blobs/ab.incomplete=1"_qs,
                           u"models--o--m/snapshots/r/m->../../blobs/abc"_qs}
            << u"hf-models--o--m 5;"
               u"hf-partial-models--o--m-0123456789ab 3 "
               u"models--o--m/blobs/0123456789abcdef.incomplete;"
               u"hf-partial-models--o--m-ab.incomplet 1 models--o--m/blobs/ab.incomplete"_qs;
        QTest::newRow("changed in the last ten minutes: neither listed nor counted")
            << QStringList{u"models--o--m/blobs/a=1"_qs,
                           u"models--o--m/blobs/x.incomplete=12^-599"_qs,
                           u"models--o--m/blobs/y.incomplete=123^-600"_qs,
                           u"models--o--m/blobs/z.incomplete=1234^60"_qs}
            << u"hf-models--o--m 1;hf-partial-models--o--m-y.incomplete 3 "
               u"models--o--m/blobs/y.incomplete"_qs;
        QTest::newRow("only regular files right in a real blobs folder")
            << QStringList{u"models--o--m/blobs/a=1"_qs,
                           u"models--o--m/blobs/sub/t.incomplete=12"_qs,
                           u"models--o--m/blobs/l.incomplete->a"_qs,
                           u"models--o--m/snapshots/r/s.incomplete=123"_qs,
                           u"other/x.incomplete=1234"_qs,
                           u"models--o--n/blobs->../other"_qs}
            << u"hf-models--o--m 6;hf-models--o--n 0"_qs;
        QTest::newRow("data files: large regular files, downloads apart")
            << QStringList{u"models--o--m/blobs/big:50000000"_qs,
                           u"models--o--m/blobs/small:49999999"_qs,
                           u"models--o--m/blobs/part.incomplete:60000000"_qs,
                           u"models--o--m/snapshots/r/own:50000000"_qs,
                           u"models--o--m/snapshots/r/sub/deep:70000000"_qs,
                           u"models--o--m/snapshots/r/link->../../blobs/big"_qs}
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

    void hubCacheVariable()
    {
        TestHome home;
        QVERIFY(Fixtures::makeTree(hub(home), {u"models--a/blobs/x=1"_qs}));
        QVERIFY(Fixtures::makeTree(home.file(u"other"_qs),
                                   {u"models--c/blobs/x=1"_qs, u"models--b/blobs/"_qs,
                                    u"models--link->"_qs + hub(home) + u"/models--a"_qs}));
        // An existing folder replaces the default; a missing one leaves nothing.
        home.setEnv("HF_HUB_CACHE", QFile::encodeName(home.file(u"other"_qs)));
        QCOMPARE(ScanReadout::idsOf(HuggingFaceScanner::scan()),
                 (QStringList{u"hf-models--b"_qs, u"hf-models--c"_qs}));
        home.setEnv("HF_HUB_CACHE", QFile::encodeName(home.file(u"missing"_qs)));
        QCOMPARE(HuggingFaceScanner::scan().models.size(), 0);
    }
};

QTEST_GUILESS_MAIN(HuggingFaceScannerTest)
#include "tst_huggingfacescanner.moc"

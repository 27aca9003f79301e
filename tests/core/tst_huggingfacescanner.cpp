#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/HuggingFaceScanner.h"

#include <QFile>
#include <QTest>

namespace {

QString hub(const TestHome& home)
{
    return home.file(u".cache/huggingface/hub"_qs);
}

} // namespace

class HuggingFaceScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name"); // empty: no entry
        QTest::newRow("owner and name")
            << u"models--meta-llama--Llama-3"_qs << u"meta-llama/Llama-3"_qs;
        QTest::newRow("name alone") << u"models--gpt2"_qs << u"gpt2"_qs;
        QTest::newRow("only the first separator")
            << u"models--org--name--v2"_qs << u"org/name--v2"_qs;
        QTest::newRow("triple hyphen") << u"models--a---b"_qs << u"a/-b"_qs;
        QTest::newRow("dataset") << u"datasets--org--set"_qs << QString();
        QTest::newRow("space") << u"spaces--org--demo"_qs << QString();
        QTest::newRow("prefix in another case") << u"Models--org--x"_qs << QString();
        QTest::newRow("lock folder") << u".locks"_qs << QString();
    }

    void names()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        TestHome home;
        const QString repository = hub(home) + u'/' + folder;
        QVERIFY(Fixtures::makeTree(repository, {u"blobs/abc=12345"_qs}));
        const SourceScan scan = HuggingFaceScanner::scan();
        QVERIFY(scan.errors.isEmpty());
        QCOMPARE(scan.models.size(), name.isEmpty() ? 0 : 1);
        if (name.isEmpty())
            return;
        const ModelEntry& entry = scan.models[0];
        QCOMPARE(entry.id, u"hf-"_qs + folder);
        QCOMPARE(entry.name, name);
        QCOMPARE(entry, ModelEntry(entry.id, name, ModelSource::huggingFace, 5, 5, repository,
                                   {repository}, entry.lastModified, DeleteRisk::safe, std::nullopt,
                                   std::nullopt));
    }

    void sizes_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<qint64>("size");
        QTest::newRow("blobs, snapshots linking into them")
            << QStringList{u"blobs/aaa:4000000000"_qs, u"blobs/bbb=12345"_qs,
                           u"snapshots/rev/model.safetensors->../../blobs/aaa"_qs,
                           u"snapshots/rev/config.json->../../blobs/bbb"_qs,
                           u"refs/main=0123456789abcdef"_qs}
            << qint64(4'000'000'005);
        QTest::newRow("files stored in the snapshots themselves")
            << QStringList{u"snapshots/rev/model.safetensors:3000000000"_qs,
                           u"snapshots/rev/sub/tokenizer.json=1234"_qs, u"refs/main=abc"_qs}
            << qint64(3'000'000'004);
        QTest::newRow("both kinds")
            << QStringList{u"blobs/aaa=123"_qs, u"snapshots/r1/a->../../blobs/aaa"_qs,
                           u"snapshots/r2/b=1234"_qs, u".no_exist/r/x=99"_qs}
            << qint64(7);
        QTest::newRow("empty repository") << QStringList{u"blobs/"_qs} << qint64(0);
        QTest::newRow("nothing at all") << QStringList{u"refs/"_qs} << qint64(0);
        QTest::newRow("blobs is a link")
            << QStringList{u"elsewhere/big:5000"_qs, u"blobs->elsewhere"_qs} << qint64(0);
    }

    void sizes()
    {
        QFETCH(QStringList, tree);
        QFETCH(qint64, size);
        TestHome home;
        QVERIFY(Fixtures::makeTree(hub(home) + u"/models--org--m"_qs, tree));
        const SourceScan scan = HuggingFaceScanner::scan();
        QCOMPARE(scan.models.size(), 1);
        QCOMPARE(scan.models[0].sizeBytes, size);
        QCOMPARE(scan.models[0].reclaimableBytes, size);
        QCOMPARE(bool(scan.models[0].lastModified), size > 0);
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
        const SourceScan scan = HuggingFaceScanner::scan();
        QCOMPARE(scan.models.size(), 1);
        QCOMPARE(scan.models[0].lastModified.value_or(QDateTime()),
                 QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
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

    void hubCacheVariable_data()
    {
        QTest::addColumn<QString>("hubCache");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("missing folder: nothing, though the default exists")
            << u"missing"_qs << QStringList();
        QTest::newRow("existing folder replaces the default")
            << u"other"_qs << QStringList{u"hf-models--b"_qs, u"hf-models--c"_qs};
    }

    void hubCacheVariable()
    {
        QFETCH(QString, hubCache);
        QFETCH(QStringList, ids);
        TestHome home;
        QVERIFY(Fixtures::makeTree(hub(home), {u"models--a/blobs/x=1"_qs}));
        QVERIFY(Fixtures::makeTree(home.file(u"other"_qs),
                                   {u"models--c/blobs/x=1"_qs, u"models--b/blobs/"_qs,
                                    u"models--link->"_qs + hub(home) + u"/models--a"_qs}));
        home.setEnv("HF_HUB_CACHE", QFile::encodeName(home.file(hubCache)));
        QCOMPARE(ScanReadout::idsOf(HuggingFaceScanner::scan()), ids);
    }
};

QTEST_GUILESS_MAIN(HuggingFaceScannerTest)
#include "tst_huggingfacescanner.moc"

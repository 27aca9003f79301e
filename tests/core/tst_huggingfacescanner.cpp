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
        QCOMPARE(scan.models[0],
                 ModelEntry(u"hf-models--a---b"_qs, u"a/-b"_qs, ModelSource::huggingFace, 5, 5,
                            repository, {repository}, scan.models[0].lastModified, DeleteRisk::safe,
                            std::nullopt, std::nullopt));
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

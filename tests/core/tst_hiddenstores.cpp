#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/HiddenStores.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kA = QString(64, u'a');
const QString kB = QString(64, u'b');

// A hub cache with one repository at the folder (below the home).
QStringList hubAt(const QString& folder)
{
    return {folder + u"/models--o--r/blobs/"_s + kA + u":2000000"_s,
            folder + u"/models--o--r/snapshots/s/m.gguf->../../blobs/"_s + kA};
}

// An Ollama store with the tag "m:latest" at the folder (below the home).
QStringList ollamaAt(const QString& folder)
{
    return {folder +
                u"/manifests/registry.ollama.ai/library/m/latest={\"config\":{\"digest\":"
                u"\"sha256:"_s +
                kA + u"\",\"size\":10},\"layers\":[{\"digest\":\"sha256:"_s + kB +
                u"\",\"size\":2000000}]}"_s,
            folder + u"/blobs/sha256-"_s + kA + u":10"_s,
            folder + u"/blobs/sha256-"_s + kB + u":2000000"_s};
}

} // namespace

class HiddenStoresTest : public QObject
{
    Q_OBJECT

private slots:
    void stores_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("custom");   // custom folders below the home
        QTest::addColumn<QStringList>("expected"); // "id|detail"
        const QString hubEntry = u"hf-config-app-hub-models--o--r|Store kept by another app · in "
                                 u"~/.config/App/hub"_s;
        QTest::newRow("hub cache in an app's config")
            << hubAt(u".config/App/hub"_s) << QStringList{} << QStringList{hubEntry};
        QTest::newRow("Ollama store in an app's data")
            << ollamaAt(u".local/share/Assistant/ollama"_s) << QStringList{}
            << QStringList{
                   u"ollama-local-share-assistant-ollama-m-latest|Store kept by another app "
                   u"· in ~/.local/share/Assistant/ollama"_s};
        QTest::newRow("inside a custom folder, and one reached twice read once")
            << hubAt(u"work/nested/hub"_s) + hubAt(u".config/App/hub"_s) +
                   QStringList{u"alias->.config/App"_s}
            << QStringList{u"work"_s, u"alias"_s, u".config"_s}
            << QStringList{hubEntry, u"hf-work-nested-hub-models--o--r|Store kept by another app "
                                     u"· in ~/work/nested/hub"_s};
        QTest::newRow("at level 6, not at 7")
            << hubAt(u".cache/1/2/3/4/5/hub"_s) + hubAt(u".cache/1/2/3/4/5/6/hub"_s)
            << QStringList{}
            << QStringList{u"hf-cache-1-2-3-4-5-hub-models--o--r|Store kept by another app · in "
                           u"~/.cache/1/2/3/4/5/hub"_s};
        QTest::newRow("not in the Trash")
            << hubAt(u".local/share/Trash/files/hub"_s) + hubAt(u".config/.Trash-0/hub"_s)
            << QStringList{} << QStringList{};
        QTest::newRow("not a store: repository without blobs or snapshots, blobs not sha256")
            << hubAt(u".config/A/hub"_s) + QStringList{u".config/A/hub/models--x--y/refs/main=1"_s,
                                                       u".config/B/manifests/m=1"_s,
                                                       u".config/B/blobs/other:5"_s}
            << QStringList{} << QStringList{};
        QTest::newRow("the main hub through a link, and where a moved repository went")
            << hubAt(u".local/share/hf/hub"_s) + hubAt(u".local/share/moved"_s) +
                   QStringList{u".cache/huggingface->../.local/share/hf"_s,
                               u".local/share/hf/hub/models--m--n->../../moved/models--o--r"_s}
            << QStringList{} << QStringList{};
        QTest::newRow("not in a folder another source lists whole")
            << hubAt(u".config/Cursor/CachedData/hub"_s) << QStringList{} << QStringList{};
        QTest::newRow("the main Ollama store and llama.cpp's cache")
            << ollamaAt(u".local/share/ollama-real"_s) + hubAt(u".cache/llama.cpp"_s) +
                   QStringList{u".ollama/models->../.local/share/ollama-real"_s}
            << QStringList{} << QStringList{};
    }

    void stores()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, custom);
        QFETCH(QStringList, expected);
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(), tree));
        for (QString& folder : custom)
            folder = home.file(folder);
        const SourceScan scan =
            HiddenStores::scan(custom, QDateTime::currentDateTimeUtc().addDays(1));
        QCOMPARE(scan.errors, QStringList());
        QStringList found;
        for (const ModelEntry& entry : scan.models)
            found.push_back(entry.id + u'|' + entry.detail.value_or(QString()));
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(HiddenStoresTest)
#include "tst_hiddenstores.moc"

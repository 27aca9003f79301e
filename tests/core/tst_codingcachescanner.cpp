#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/CodingCacheScanner.h"

#include <QFile>
#include <QtTest>
#include <limits>

using namespace Qt::StringLiterals;

class TestCodingCacheScanner : public QObject
{
    Q_OBJECT

private slots:
    // Rows: a variable set ("~" and "$NAME" expanded; one that is set replaces the default), the
    // folder below the home holding a file, the entry's id (empty: none), name and detail (empty:
    // any).
    void entry_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("detail");
        const auto cache = [](const char* row, const QString& folder, const QString& id,
                              const QString& name) {
            QTest::newRow(row) << QByteArray() << QByteArray() << folder << id << name << QString();
        };
        cache("whole folder", u".cursor/chat"_s, u"cache-cursor-chathistory"_s,
              u"Cursor \u2014 Chat History"_s);
        cache("slash kept in the id", u".codeium"_s, u"cache-windsurf/codeium-aicache"_s,
              u"Windsurf / Codeium \u2014 AI Cache"_s);
        cache("project: case kept in the id", u".claude/projects/-home-ann-API"_s,
              u"cache-claudecode--home-ann-API"_s,
              u"Claude Code \u2014 Project Memory \u00b7 -home-ann-API"_s);
        // A 32-character hash or a 36-character UUID is shortened to its first 8 characters;
        // characters are what a reader sees as one.
        const QString hex32 = u"3f2a9c1d0b8e4f6a7c5d2e1f0a9b8c7d"_s;
        const QString uuid = u"0f8fad5b-d9cb-469f-a165-70867728950e"_s;
        QString accented;
        for (int i = 0; i < 32; ++i)
            accented += u"e\u0301"_s;
        const QString astral = u"\U0001F600"_s + hex32.left(31);
        const auto project = [&](const char* row, const QString& name, const QString& suffix) {
            cache(row, u".config/Cursor/User/workspaceStorage/"_s + name, u"cache-cursor-"_s + name,
                  u"Cursor \u2014 Workspace Index"_s + suffix);
        };
        const QString dot = u" \u00b7 "_s;
        project("32 hexadecimal digits", hex32, u" (3f2a9c1d\u2026)"_s);
        project("31 characters", hex32.left(31), dot + hex32.left(31));
        project("33 characters", hex32 + u'e', dot + hex32 + u'e');
        project("36-character UUID", uuid, u" (0f8fad5b\u2026)"_s);
        project("35 characters", uuid.chopped(1), dot + uuid.chopped(1));
        project("37 characters", uuid + u'a', dot + uuid + u'a');
        project("32 accented letters", accented, u" ("_s + accented.left(16) + u"\u2026)"_s);
        project("32 characters with an emoji", astral, u" ("_s + astral.left(9) + u"\u2026)"_s);
        // Machine-learning caches at their default folders and where their variables point.
        const QString kernels = u"Compiled kernels \u2014 rebuilt when needed"_s;
        const QString models = u"Downloaded models \u2014 downloaded again when needed"_s;
        const auto row = [&](const char* name, const char* variable, const char* value,
                             const char* folder, const char* id, const char* title) {
            QTest::newRow(name) << QByteArray(variable) << QByteArray(value)
                                << QString::fromUtf8(folder) << QString::fromUtf8(id)
                                << QString::fromUtf8(title)
                                << (QByteArray(id).contains("kernel") ? kernels : models);
        };
        row("vLLM default", "", "", ".cache/vllm", "cache-vllm-kernelcache",
            "vLLM \u2014 Kernel Cache");
        row("vLLM variable, ~", "VLLM_CACHE_ROOT", "~/v", "v", "cache-vllm-kernelcache",
            "vLLM \u2014 Kernel Cache");
        row("vLLM variable set: default not read", "VLLM_CACHE_ROOT", "~/v", ".cache/vllm", "", "");
        row("Triton", "", "", ".triton/cache", "cache-triton-kernelcache",
            "Triton \u2014 Kernel Cache");
        row("Keras default", "", "", ".keras/models", "cache-keras-models", "Keras \u2014 Models");
        row("Keras home, $HOME", "KERAS_HOME", "$HOME/k", "k/models", "cache-keras-models",
            "Keras \u2014 Models");
        row("InsightFace default", "", "", ".insightface/models", "cache-insightface-models",
            "InsightFace \u2014 Models");
        row("InsightFace variable, ${HOME}", "INSIGHTFACE_HOME", "${HOME}/i", "i",
            "cache-insightface-models", "InsightFace \u2014 Models");
        row("EasyOCR default", "", "", ".EasyOCR/model", "cache-easyocr-models",
            "EasyOCR \u2014 Models");
        row("EasyOCR variable", "EASYOCR_MODULE_PATH", "~/e", "e", "cache-easyocr-models",
            "EasyOCR \u2014 Models");
        row("Coqui TTS in the data home", "", "", "data/tts", "cache-coquitts-models",
            "Coqui TTS \u2014 Models");
        row("Coqui TTS variable", "TTS_HOME", "~/t", "t", "cache-coquitts-models",
            "Coqui TTS \u2014 Models");
        row("sentence-transformers", "", "", ".cache/torch/sentence_transformers",
            "cache-sentence-transformers-models", "sentence-transformers \u2014 Models");
    }

    void entry()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(QString, folder);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, detail);
        TestHome home;
        home.setEnv("XDG_DATA_HOME", QFile::encodeName(home.file(u"data"_s)));
        if (!variable.isEmpty())
            home.setEnv(variable.constData(), value);
        const QString path = home.file(folder);
        QVERIFY(Fixtures::makeSparseFile(path + u"/sub/a"_s, 100'000));
        const SourceScan scan = CodingCacheScanner::scan();
        QCOMPARE(ScanReadout::idsOf(scan), id.isEmpty() ? QStringList{} : QStringList{id});
        if (id.isEmpty())
            return;
        const ModelEntry& entry = scan.models.first();
        QVERIFY(entry.lastUsed && entry.detail);
        ModelEntry expected(id, name, ModelSource::codingCache, 100'000, 100'000, path, {path},
                            entry.lastModified, DeleteRisk::safe, std::nullopt,
                            detail.isEmpty() ? entry.detail : detail);
        expected.lastUsed = entry.lastUsed;
        QCOMPARE(entry, expected);
    }

    void sumStopsAtTheLargestSize()
    {
        // Three sparse files of 4 EB each need a filesystem that allows files that large.
        QTemporaryDir shm(u"/dev/shm/brimvale-cache-XXXXXX"_s);
        if (!shm.isValid())
            QSKIP("/dev/shm is not available");
        TestHome home;
        home.setEnv("HOME", QFile::encodeName(shm.path()));
        for (const QString& name : {u"a"_s, u"b"_s, u"c"_s}) {
            if (!Fixtures::makeSparseFile(shm.path() + u"/.continue/"_s + name, qint64(4) << 60))
                QSKIP("the filesystem of /dev/shm refuses files of 4 EB");
        }
        const SourceScan scan = CodingCacheScanner::scan();
        QCOMPARE(scan.models.size(), 1);
        QCOMPARE(scan.models.first().sizeBytes, std::numeric_limits<qint64>::max());
        QCOMPARE(scan.models.first().reclaimableBytes, std::numeric_limits<qint64>::max());
    }
};

QTEST_GUILESS_MAIN(TestCodingCacheScanner)
#include "tst_codingcachescanner.moc"

#include "model/ScanJson.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

namespace {

QByteArray compact(const QJsonObject& json)
{
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

const ModelEntry kPlain(u"a"_qs, u"a"_qs, ModelSource::custom, 10, 4, u"/a"_qs, {u"/a"_qs},
                        std::nullopt, DeleteRisk::unknown, std::nullopt, std::nullopt);

// Absent values are null; integers are exact, also above 2^53.
const QByteArray kPlainJson =
    R"({"allPaths":["/a"],"deleteRisk":"Unknown","detail":null,"id":"a","inUseBy":null,)"
    R"("isDuplicate":false,"lastModified":null,"lastUsed":null,"name":"a","partialHash":null,"primaryPath":"/a","quantization":null,)"
    R"("reclaimableBytes":4,"sizeBytes":10,"source":"Custom"})";

} // namespace

class TestScanJson : public QObject
{
    Q_OBJECT

private slots:
    void entry()
    {
        QCOMPARE(compact(ScanJson::entry(kPlain)), kPlainJson);
        ModelEntry entry(u"lmstudio-x~1"_qs, u"x.gguf"_qs, ModelSource::lmStudio,
                         9'007'199'254'740'993, 5, u"/m/x.gguf"_qs, {u"/m/x.gguf"_qs, u"/m/y"_qs},
                         QDateTime::fromSecsSinceEpoch(1'700'000'000), DeleteRisk::risky,
                         u"Q4_K_M"_qs, u"detail"_qs);
        entry.partialHash = u"0123456789abcdef"_qs;
        entry.isDuplicate = true;
        entry.lastUsed = QDateTime::fromMSecsSinceEpoch(1'700'000'100'900, QTimeZone::utc());
        entry.inUseBy = u"llama-server"_qs;
        QCOMPARE(compact(ScanJson::entry(entry)),
                 R"({"allPaths":["/m/x.gguf","/m/y"],"deleteRisk":"Risky","detail":"detail",)"
                 R"("id":"lmstudio-x~1","inUseBy":"llama-server","isDuplicate":true,)"
                 R"("lastModified":1700000000,"lastUsed":1700000100,)"
                 R"("name":"x.gguf","partialHash":"0123456789abcdef","primaryPath":"/m/x.gguf",)"
                 R"("quantization":"Q4_K_M","reclaimableBytes":5,"sizeBytes":9007199254740993,)"
                 R"("source":"LmStudio"})");
    }

    void dateRoundsDown()
    {
        // Whole seconds towards the past, also before 1970.
        for (const auto& [milliseconds, seconds] :
             {std::pair{1'999LL, 1LL}, {1'000LL, 1LL}, {0LL, 0LL}, {-1'500LL, -2LL}}) {
            const QJsonValue value =
                ScanJson::date(QDateTime::fromMSecsSinceEpoch(milliseconds, QTimeZone::utc()));
            QVERIFY(value.isDouble());
            QCOMPARE(value.toInteger(), seconds);
        }
    }

    void result()
    {
        ScanResult result;
        result.models = {kPlain};
        result.errors = {u"Cannot read manifest /x"_qs};
        result.ollamaRunning = true;
        QCOMPARE(compact(ScanJson::result(result)),
                 R"({"errors":["Cannot read manifest /x"],"models":[)" + kPlainJson +
                     R"(],"ollamaRunning":true,"totalBytes":4})");
    }
};

QTEST_GUILESS_MAIN(TestScanJson)
#include "tst_scanjson.moc"

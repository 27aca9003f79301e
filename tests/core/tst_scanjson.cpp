#include "model/ScanJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

class TestScanJson : public QObject
{
    Q_OBJECT

private slots:
    void entryFields();
    void absentValuesAreNull();
    void dateRoundsDown_data();
    void dateRoundsDown();
    void resultFields();
};

void TestScanJson::entryFields()
{
    ModelEntry entry(QStringLiteral("lmstudio-x~1"), QStringLiteral("x.gguf"),
                     ModelSource::lmStudio, 9'007'199'254'740'993, 5, QStringLiteral("/m/x.gguf"),
                     {QStringLiteral("/m/x.gguf"), QStringLiteral("/m/y")},
                     QDateTime::fromSecsSinceEpoch(1'700'000'000), DeleteRisk::risky,
                     QStringLiteral("Q4_K_M"), QStringLiteral("detail"));
    entry.partialHash = QStringLiteral("0123456789abcdef");
    entry.isDuplicate = true;
    const QJsonObject json = ScanJson::entry(entry);
    QCOMPARE(
        json.keys(),
        (QStringList{QStringLiteral("allPaths"), QStringLiteral("deleteRisk"),
                     QStringLiteral("detail"), QStringLiteral("id"), QStringLiteral("isDuplicate"),
                     QStringLiteral("lastModified"), QStringLiteral("name"),
                     QStringLiteral("partialHash"), QStringLiteral("primaryPath"),
                     QStringLiteral("quantization"), QStringLiteral("reclaimableBytes"),
                     QStringLiteral("sizeBytes"), QStringLiteral("source")}));
    QCOMPARE(json[u"source"].toString(), QStringLiteral("LmStudio"));
    QCOMPARE(json[u"deleteRisk"].toString(), QStringLiteral("Risky"));
    QCOMPARE(json[u"allPaths"].toArray().size(), 2);
    QCOMPARE(json[u"isDuplicate"].toBool(), true);
    QCOMPARE(json[u"partialHash"].toString(), QStringLiteral("0123456789abcdef"));
    // Integers are written exactly, also above 2^53.
    const QByteArray text = QJsonDocument(json).toJson(QJsonDocument::Compact);
    QVERIFY2(text.contains("\"sizeBytes\":9007199254740993"), text.constData());
    QVERIFY(text.contains("\"reclaimableBytes\":5,"));
    QVERIFY(text.contains("\"lastModified\":1700000000,"));
}

void TestScanJson::absentValuesAreNull()
{
    const ModelEntry entry(QStringLiteral("a"), QStringLiteral("a"), ModelSource::custom, 1,
                           std::nullopt, QStringLiteral("/a"), {QStringLiteral("/a")}, std::nullopt,
                           DeleteRisk::safe, std::nullopt, std::nullopt);
    const QJsonObject json = ScanJson::entry(entry);
    for (const char16_t* key : {u"lastModified", u"quantization", u"detail", u"partialHash"})
        QVERIFY2(json[QStringView(key)].isNull(), qPrintable(QString::fromUtf16(key)));
    QCOMPARE(json[u"isDuplicate"].toBool(true), false);
}

void TestScanJson::dateRoundsDown_data()
{
    QTest::addColumn<qint64>("milliseconds");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("whole") << qint64(1'000) << qint64(1);
    QTest::newRow("fraction") << qint64(1'999) << qint64(1);
    QTest::newRow("epoch") << qint64(0) << qint64(0);
    QTest::newRow("before 1970") << qint64(-1'500) << qint64(-2);
}

void TestScanJson::dateRoundsDown()
{
    QFETCH(qint64, milliseconds);
    QFETCH(qint64, seconds);
    const QJsonValue value =
        ScanJson::date(QDateTime::fromMSecsSinceEpoch(milliseconds, QTimeZone::utc()));
    QVERIFY(value.isDouble());
    QCOMPARE(value.toInteger(), seconds);
}

void TestScanJson::resultFields()
{
    ScanResult result;
    result.models = {ModelEntry(QStringLiteral("a"), QStringLiteral("a"), ModelSource::ollama, 10,
                                4, QStringLiteral("/a"), {QStringLiteral("/a")}, std::nullopt,
                                DeleteRisk::unknown, std::nullopt, std::nullopt)};
    result.errors = {QStringLiteral("Cannot read manifest /x")};
    result.ollamaRunning = true;
    const QJsonObject json = ScanJson::result(result);
    QCOMPARE(json.keys(),
             (QStringList{QStringLiteral("errors"), QStringLiteral("models"),
                          QStringLiteral("ollamaRunning"), QStringLiteral("totalBytes")}));
    QCOMPARE(json[u"models"].toArray().size(), 1);
    QCOMPARE(json[u"models"].toArray()[0].toObject()[u"deleteRisk"].toString(),
             QStringLiteral("Unknown"));
    QCOMPARE(json[u"errors"].toArray()[0].toString(), QStringLiteral("Cannot read manifest /x"));
    QCOMPARE(json[u"ollamaRunning"].toBool(), true);
    QCOMPARE(json[u"totalBytes"].toInteger(), 4);
}

QTEST_GUILESS_MAIN(TestScanJson)
#include "tst_scanjson.moc"

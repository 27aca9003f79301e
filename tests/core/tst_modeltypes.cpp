#include "model/DeleteRisk.h"
#include "model/ModelEntry.h"
#include "model/ModelSource.h"
#include "model/Quantization.h"
#include "model/ScanResult.h"

#include <QTest>
#include <limits>

class ModelTypesTest : public QObject
{
    Q_OBJECT

private slots:
    void sourceOrderAndTexts();
    void sourceFromRawValue_data();
    void sourceFromRawValue();
    void deleteRiskFromRawValue_data();
    void deleteRiskFromRawValue();
    void quantization_data();
    void quantization();
    void entryConstruction();
    void isLargeBoundary_data();
    void isLargeBoundary();
    void totalsSumReclaimable();
    void totalsSaturate();
};

void ModelTypesTest::sourceOrderAndTexts()
{
    const auto& cases = ModelSource::allCases();
    QCOMPARE(cases.size(), size_t(8));
    const QStringList raw{u"Ollama"_qs,  u"LmStudio"_qs,    u"HuggingFace"_qs, u"ComfyUi"_qs,
                          u"Whisper"_qs, u"CodingCache"_qs, u"Loose"_qs,       u"Custom"_qs};
    const QStringList labels{u"Ollama"_qs,      u"LM Studio"_qs,     u"Hugging Face"_qs,
                             u"ComfyUI"_qs,     u"Whisper"_qs,       u"AI Caches"_qs,
                             u"Loose Files"_qs, u"Custom Folders"_qs};
    const QStringList shortLabels{u"Ollama"_qs,  u"LM Studio"_qs, u"Hugging Face"_qs, u"ComfyUI"_qs,
                                  u"Whisper"_qs, u"AI Cache"_qs,  u"Loose File"_qs,   u"Custom"_qs};
    for (size_t i = 0; i < cases.size(); ++i) {
        QCOMPARE(cases[i].rawValue(), raw[qsizetype(i)]);
        QCOMPARE(cases[i].label(), labels[qsizetype(i)]);
        QCOMPARE(cases[i].shortLabel(), shortLabels[qsizetype(i)]);
        QVERIFY(!cases[i].symbol().isEmpty());
    }
    QCOMPARE(ModelSource(ModelSource::codingCache).symbol(),
             u"chevron.left.forwardslash.chevron.right"_qs);
}

void ModelTypesTest::sourceFromRawValue_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<int>("expected"); // -1: no source
    QTest::newRow("LmStudio") << u"LmStudio"_qs << int(ModelSource::lmStudio);
    QTest::newRow("ComfyUi") << u"ComfyUi"_qs << int(ModelSource::comfyUI);
    QTest::newRow("label case lmStudio") << u"lmStudio"_qs << -1;
    QTest::newRow("label case ComfyUI") << u"ComfyUI"_qs << -1;
    QTest::newRow("label LM Studio") << u"LM Studio"_qs << -1;
    QTest::newRow("lower ollama") << u"ollama"_qs << -1;
    QTest::newRow("Custom") << u"Custom"_qs << int(ModelSource::custom);
    QTest::newRow("trailing blank") << u"Custom "_qs << -1;
    QTest::newRow("empty") << QString() << -1;
}

void ModelTypesTest::sourceFromRawValue()
{
    QFETCH(QString, raw);
    QFETCH(int, expected);
    const std::optional<ModelSource> source = ModelSource::fromRawValue(raw);
    if (expected < 0) {
        QVERIFY(!source);
    } else {
        QVERIFY(source);
        QCOMPARE(int(source->value()), expected);
        QCOMPARE(source->rawValue(), raw); // round trip
    }
}

void ModelTypesTest::deleteRiskFromRawValue_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<int>("expected");
    QTest::newRow("Safe") << u"Safe"_qs << int(DeleteRisk::safe);
    QTest::newRow("Risky") << u"Risky"_qs << int(DeleteRisk::risky);
    QTest::newRow("Unknown") << u"Unknown"_qs << int(DeleteRisk::unknown);
    QTest::newRow("safe") << u"safe"_qs << -1;
    QTest::newRow("RISKY") << u"RISKY"_qs << -1;
}

void ModelTypesTest::deleteRiskFromRawValue()
{
    QFETCH(QString, raw);
    QFETCH(int, expected);
    const std::optional<DeleteRisk> risk = DeleteRisk::fromRawValue(raw);
    QCOMPARE(risk.has_value(), expected >= 0);
    if (risk) {
        QCOMPARE(int(risk->value()), expected);
        QCOMPARE(risk->rawValue(), raw);
    }
}

void ModelTypesTest::quantization_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // empty: no label
    QTest::newRow("lower case") << u"llama-3-8b.q4_k_m.gguf"_qs << u"Q4_K_M"_qs;
    QTest::newRow("Q8_0 and Q4_K_M: list order wins") << u"m-Q8_0-Q4_K_M.gguf"_qs << u"Q4_K_M"_qs;
    QTest::newRow("Q4_K_M before BF16") << u"m-BF16-Q4_K_M"_qs << u"Q4_K_M"_qs;
    QTest::newRow("Q4_K_S before Q4_K_M") << u"x-Q4_K_M-Q4_K_S"_qs << u"Q4_K_S"_qs;
    QTest::newRow("Q3_K_M last") << u"m.Q3_K_M.gguf"_qs << u"Q3_K_M"_qs;
    QTest::newRow("bf16") << u"model-bf16.safetensors"_qs << u"bf16"_qs;
    QTest::newRow("fp16") << u"model.FP16.bin"_qs << u"fp16"_qs;
    QTest::newRow("BF16 before FP16") << u"a-fp16-bf16"_qs << u"bf16"_qs;
    QTest::newRow("FP32") << u"weights-FP32.pt"_qs << u"f32"_qs;
    QTest::newRow("f32") << u"weights-f32.pt"_qs << u"f32"_qs;
    QTest::newRow("FP16 before F32") << u"x-f32-fp16"_qs << u"fp16"_qs;
    QTest::newRow("plain f16") << u"ggml-model-f16.gguf"_qs << QString();
    QTest::newRow("Q4_1") << u"m.Q4_1.gguf"_qs << QString();
    QTest::newRow("IQ family") << u"m.IQ3_XS.gguf"_qs << QString();
    QTest::newRow("IQ4 holding Q4_0") << u"m.IQ4_0.gguf"_qs << u"Q4_0"_qs;
    QTest::newRow("empty") << QString() << QString();
}

void ModelTypesTest::quantization()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const std::optional<QString> label = parseQuantization(name);
    if (expected.isEmpty())
        QVERIFY2(!label, qPrintable(label.value_or(QString())));
    else
        QCOMPARE(label.value_or(u"<none>"_qs), expected);
}

void ModelTypesTest::entryConstruction()
{
    const ModelEntry a(u"id"_qs, u"name"_qs, ModelSource::ollama, 1234, std::nullopt, u"/p"_qs,
                       {u"/p"_qs}, std::nullopt, DeleteRisk::safe, std::nullopt, std::nullopt);
    QCOMPARE(a.reclaimableBytes, 1234);
    QVERIFY(!a.partialHash);
    QVERIFY(!a.isDuplicate);
    QCOMPARE(a.sourceLabel(), u"Ollama"_qs);

    ModelEntry b = a;
    QCOMPARE(a, b);
    b.isDuplicate = true;
    QVERIFY(!(a == b)); // every field takes part in equality
    b = a;
    b.partialHash = u"00"_qs;
    QVERIFY(!(a == b));

    const ModelEntry shared(u"id"_qs, u"n"_qs, ModelSource::ollama, 1000, 10, u"/p"_qs, {u"/p"_qs},
                            std::nullopt, DeleteRisk::risky, u"Q4_0"_qs, u"d"_qs);
    QCOMPARE(shared.reclaimableBytes, 10);
}

void ModelTypesTest::isLargeBoundary_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("large");
    QTest::newRow("exactly 10 GB") << qint64(10'000'000'000) << false;
    QTest::newRow("one byte more") << qint64(10'000'000'001) << true;
    QTest::newRow("zero") << qint64(0) << false;
}

void ModelTypesTest::isLargeBoundary()
{
    QFETCH(qint64, size);
    QFETCH(bool, large);
    ModelEntry entry;
    entry.sizeBytes = size;
    QCOMPARE(entry.isLarge(), large);
}

void ModelTypesTest::totalsSumReclaimable()
{
    ScanResult result;
    QCOMPARE(result.totalBytes(), 0);
    auto entry = [](ModelSource source, qint64 size, qint64 reclaimable) {
        ModelEntry e;
        e.source = source;
        e.sizeBytes = size;
        e.reclaimableBytes = reclaimable;
        return e;
    };
    // Two tags sharing a blob: the sum of sizes is larger than what deleting frees.
    result.models = {entry(ModelSource::ollama, 5000, 1000), entry(ModelSource::ollama, 5000, 1200),
                     entry(ModelSource::whisper, 300, 300)};
    QCOMPARE(result.totalBytes(), 2500);
    QCOMPARE(result.bytes(ModelSource::ollama), 2200);
    QCOMPARE(result.bytes(ModelSource::whisper), 300);
    QCOMPARE(result.bytes(ModelSource::custom), 0);
}

void ModelTypesTest::totalsSaturate()
{
    ScanResult result;
    ModelEntry huge;
    huge.reclaimableBytes = std::numeric_limits<qint64>::max() - 5;
    result.models = {huge, huge};
    QCOMPARE(result.totalBytes(), std::numeric_limits<qint64>::max());
}

QTEST_GUILESS_MAIN(ModelTypesTest)
#include "tst_modeltypes.moc"

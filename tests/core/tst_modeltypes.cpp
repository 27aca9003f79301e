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
    void rawValuesRoundTrip()
    {
        for (const ModelSource source : ModelSource::allCases())
            QVERIFY(ModelSource::fromRawValue(source.rawValue()) == source);
        for (const DeleteRisk risk : {DeleteRisk::safe, DeleteRisk::risky, DeleteRisk::unknown})
            QVERIFY(DeleteRisk::fromRawValue(risk.rawValue()) == risk);
    }

    void unknownRawValues_data()
    {
        QTest::addColumn<QString>("raw");
        // Stored values match exactly: labels and other cases are no raw values.
        for (const char* raw :
             {"lmStudio", "ComfyUI", "LM Studio", "ollama", "Custom ", "", "safe", "RISKY"})
            QTest::newRow(raw) << QString::fromUtf8(raw);
    }

    void unknownRawValues()
    {
        QFETCH(QString, raw);
        QCOMPARE(ModelSource::fromRawValue(raw), std::nullopt);
        QCOMPARE(DeleteRisk::fromRawValue(raw), std::nullopt);
    }

    void quantization_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected"); // empty: no label
        QTest::newRow("lower case") << u"llama-3-8b.q4_k_m.gguf"_qs << u"Q4_K_M"_qs;
        QTest::newRow("Q8_0 and Q4_K_M: list order wins")
            << u"m-Q8_0-Q4_K_M.gguf"_qs << u"Q4_K_M"_qs;
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

    void quantization()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(parseQuantization(name).value_or(QString()), expected);
    }

    void isLarge_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("large");
        QTest::newRow("exactly 10 GB") << qint64(10'000'000'000) << false;
        QTest::newRow("one byte more") << qint64(10'000'000'001) << true;
    }

    void isLarge()
    {
        QFETCH(qint64, size);
        QFETCH(bool, large);
        ModelEntry entry;
        entry.sizeBytes = size;
        QCOMPARE(entry.isLarge(), large);
    }

    void totalsSumReclaimable()
    {
        const auto entry = [](ModelSource source, qint64 size, qint64 reclaimable) {
            ModelEntry e;
            e.source = source;
            e.sizeBytes = size;
            e.reclaimableBytes = reclaimable;
            return e;
        };
        ScanResult result;
        QCOMPARE(result.totalBytes(), 0);
        // Two tags sharing a blob: the sum of sizes is larger than what deleting frees.
        result.models = {entry(ModelSource::ollama, 5000, 1000),
                         entry(ModelSource::ollama, 5000, 1200),
                         entry(ModelSource::whisper, 300, 300)};
        QCOMPARE(result.totalBytes(), 2500);
        QCOMPARE(result.bytes(ModelSource::ollama), 2200);
        QCOMPARE(result.bytes(ModelSource::custom), 0);
        // The sums stop at the largest size.
        result.models = {entry(ModelSource::loose, 1, std::numeric_limits<qint64>::max() - 5),
                         entry(ModelSource::loose, 1, 10)};
        QCOMPARE(result.totalBytes(), std::numeric_limits<qint64>::max());
        QCOMPARE(result.bytes(ModelSource::loose), std::numeric_limits<qint64>::max());
    }
};

QTEST_GUILESS_MAIN(ModelTypesTest)
#include "tst_modeltypes.moc"

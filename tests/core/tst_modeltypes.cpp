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
    // The eight first sources keep their raw values and labels; the later ones follow in order.
    // Each raw value reads back as its source.
    void sourceTable()
    {
        QStringList rows;
        for (const DeleteRisk risk : {DeleteRisk::safe, DeleteRisk::risky, DeleteRisk::unknown})
            QVERIFY(DeleteRisk::fromRawValue(risk.rawValue()) == risk);
        for (const ModelSource source : ModelSource::allCases())
            rows.push_back(
                (ModelSource::fromRawValue(source.rawValue()) == source ? u""_qs : u"BAD "_qs) +
                source.rawValue() + u'|' + source.label() + u'|' +
                (source.listedWhenEmpty() ? u'e' : u'-') + (source.givesWay() ? u'w' : u'-'));
        QCOMPARE(rows,
                 (QStringList{
                     u"Ollama|Ollama|e-"_qs, u"LmStudio|LM Studio|e-"_qs,
                     u"HuggingFace|Hugging Face|e-"_qs, u"ComfyUi|ComfyUI|e-"_qs,
                     u"Whisper|Whisper|e-"_qs, u"CodingCache|AI Caches|e-"_qs,
                     u"Loose|Loose Files|e-"_qs, u"Custom|Custom Folders|e-"_qs,
                     u"LlamaCpp|llama.cpp|-w"_qs, u"Gpt4All|GPT4All|-w"_qs, u"Jan|Jan|-w"_qs,
                     u"DockerModels|Docker Model Runner|-w"_qs, u"PyTorchHub|PyTorch Hub|-w"_qs,
                     u"SdWebUi|Stable Diffusion WebUI|-w"_qs, u"InvokeAi|InvokeAI|-w"_qs,
                     u"TextGenWebUi|text-generation-webui|-w"_qs, u"ModelScope|ModelScope|-w"_qs}));
    }

    void unknownRawValues_data()
    {
        QTest::addColumn<QString>("raw");
        // Stored values match exactly: labels and other cases are no raw values.
        for (const char* raw : {"lmStudio", "ComfyUI", "LM Studio", "ollama", "Custom ", "", "safe",
                                "RISKY", "llamaCpp", "llama.cpp", "Docker"})
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
        const auto add = [](const char* name, const char* expected) {
            QTest::addRow("%s", name) << QString::fromUtf8(name) << QString::fromUtf8(expected);
        };
        add("llama-3-8b.q4_k_m.gguf", "Q4_K_M");
        add("m-Q8_0-Q4_K_M.gguf", "Q4_K_M"); // the list's order wins, not the name's
        add("m-BF16-Q4_K_M", "Q4_K_M");
        add("m.Q3_K_M.gguf", "Q3_K_M");
        add("model-bf16.safetensors", "bf16");
        add("model.FP16.bin", "fp16");
        add("a-fp16-bf16", "bf16");
        add("weights-FP32.pt", "f32");
        add("weights-f32.pt", "f32");
        add("x-f32-fp16", "fp16");
        add("ggml-model-f16.gguf", "");
        add("m.Q4_1.gguf", "");
        add("m.IQ3_XS.gguf", "");
        add("m.IQ4_0.gguf", "Q4_0");
    }

    void quantization()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(parseQuantization(name).value_or(QString()), expected);
    }

    void sizesAndTotals()
    {
        const auto entry = [](ModelSource source, qint64 size, qint64 reclaimable) {
            ModelEntry e;
            e.source = source;
            e.sizeBytes = size;
            e.reclaimableBytes = reclaimable;
            return e;
        };
        // Large means above ten gigabytes.
        QVERIFY(!entry(ModelSource::loose, 10'000'000'000, 0).isLarge());
        QVERIFY(entry(ModelSource::loose, 10'000'000'001, 0).isLarge());
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

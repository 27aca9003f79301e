// The rules every scanner applies to what it finds, side by side: size thresholds, hidden names,
// extensions and their case, unreadable folders, FIFOs, and the fields of a file's entry.
#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/CodingCacheScanner.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/CustomFolderScanner.h"
#include "scanners/HuggingFaceScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/LooseScanner.h"
#include "scanners/WhisperScanner.h"

#include <QDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The scanner named by its source's raw value. Custom folders are the home's folders.
SourceScan scanOf(const QString& scanner, const TestHome& home)
{
    QStringList roots;
    const QDir dir(home.path());
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        roots.push_back(home.file(name));
    switch (ModelSource::fromRawValue(scanner).value_or(ModelSource::ollama).value()) {
    case ModelSource::lmStudio:
        return LMStudioScanner::scan();
    case ModelSource::huggingFace:
        return HuggingFaceScanner::scan();
    case ModelSource::comfyUI:
        return ComfyUIScanner::scan();
    case ModelSource::whisper:
        return WhisperScanner::scan();
    case ModelSource::codingCache:
        return CodingCacheScanner::scan();
    case ModelSource::loose:
        return LooseScanner::scan({});
    case ModelSource::custom:
        return CustomFolderScanner::scan(roots);
    default:
        return {};
    }
}

void row(const char* name, const QString& scanner, const QStringList& tree,
         const QStringList& expected)
{
    QTest::newRow(name) << scanner << tree << expected;
}

} // namespace

class TestFileRules : public QObject
{
    Q_OBJECT

private slots:
    void reported_data()
    {
        QTest::addColumn<QString>("scanner");
        ScanReadout::layoutColumns();
        const QString lm = u".lmstudio/models/p/"_s;
        row("LM Studio: extensions in any case, hidden names", u"LmStudio"_s,
            {lm + u".cache/x.gguf=1"_s, lm + u"r/MODEL.GGUF=1"_s, lm + u"r/My bf16.SafeTensors=1"_s,
             lm + u"r/w.bin=1"_s, lm + u"r/w.ggml=1"_s, lm + u"r/w.mlx=1"_s, lm + u"r/.x.gguf=1"_s,
             lm + u"r/x.gguf.part=1"_s, lm + u"r/gguf=1"_s, lm + u"r/readme.txt=1"_s},
            {lm + u".cache/x.gguf:1"_s, lm + u"r/MODEL.GGUF:1"_s, lm + u"r/My bf16.SafeTensors:1"_s,
             lm + u"r/w.bin:1"_s, lm + u"r/w.ggml:1"_s, lm + u"r/w.mlx:1"_s});
        const QString comfy = u"ComfyUI/models/"_s;
        row("ComfyUI: 1,000,000 bytes and more", u"ComfyUi"_s,
            {comfy + u"vae/edge.pt:1000000"_s, comfy + u"vae/small.pt:999999"_s},
            {comfy + u"vae/edge.pt:1000000"_s});
        row("ComfyUI: extensions in any case, hidden names, categories only", u"ComfyUi"_s,
            {comfy + u"checkpoints/.d.safetensors:2000000"_s,
             comfy + u"checkpoints/a.SafeTensors:2000000"_s,
             comfy + u"checkpoints/b.onnx:2000000"_s, comfy + u"checkpoints/c.mlx:2000000"_s,
             comfy + u"checkpoints/old.C\u212APT:2000000"_s, // Kelvin sign: lower case is "k"
             comfy + u"loras/.cache/s.pth:2000000"_s, comfy + u"unet/Flux.GGUF:2000000"_s,
             comfy + u"clip/w.bin:2000000"_s, comfy + u"ipadapter/ip.safetensors:2000000"_s},
            {comfy + u"checkpoints/a.SafeTensors:2000000"_s,
             comfy + u"checkpoints/old.C\u212APT:2000000"_s,
             comfy + u"loras/.cache/s.pth:2000000"_s, comfy + u"unet/Flux.GGUF:2000000"_s,
             comfy + u"clip/w.bin:2000000"_s});
        const QString whisper = u".cache/whisper/"_s;
        row("Whisper: 1,000,000 bytes and more", u"Whisper"_s,
            {whisper + u"ggml-a.bin:1000000"_s, whisper + u"ggml-b.bin:999999"_s,
             whisper + u"c.pt:1000000"_s, whisper + u"d.pt:999999"_s},
            {whisper + u"c.pt:1000000"_s, whisper + u"ggml-a.bin:1000000"_s});
        row("Whisper: exact case, hidden names kept", u"Whisper"_s,
            {whisper + u".h.pt:2000000"_s, whisper + u"GGML-a.bin:2000000"_s,
             whisper + u"ggml-b.BIN:2000000"_s, whisper + u"c.PT:2000000"_s,
             whisper + u"ggml-d.gguf:2000000"_s, whisper + u"e.bin:2000000"_s,
             whisper + u"ggml-f.bin.part:2000000"_s},
            {whisper + u".h.pt:2000000"_s});
        row("AI caches: 100,000 bytes and more, hidden files counted", u"CodingCache"_s,
            {u".cursor/chat/a:59999"_s, u".cursor/chat/.git/.b:40000"_s, u".continue/a:60000"_s,
             u".continue/.git/.b:40000"_s, u".codeium/"_s},
            {u".continue:100000"_s});
        row("Hugging Face: hidden files counted", u"HuggingFace"_s,
            {u".cache/huggingface/hub/models--o--m/blobs/.tmp=12"_s},
            {u".cache/huggingface/hub/models--o--m:2"_s});
        row("loose: 10,000,000 bytes and more", u"Loose"_s,
            {u"Downloads/a.onnx:10000000"_s, u"Downloads/b.onnx:9999999"_s},
            {u"Downloads/a.onnx:10000000"_s});
        row("loose: extensions in any case, hidden names", u"Loose"_s,
            {u"Downloads/.i.gguf:20000000"_s, u"Downloads/.cache/j.gguf:20000000"_s,
             u"Downloads/a.GGUF:20000000"_s, u"Downloads/c.Mlx:20000000"_s,
             u"Downloads/d.safetensors:20000000"_s, u"Downloads/e.bin:20000000"_s,
             u"Downloads/f.pt:20000000"_s, u"Downloads/g.ckpt:20000000"_s,
             u"Downloads/h.gguf.part:20000000"_s, u"Downloads/x/y/z/k.gguf:20000000"_s},
            {u"Downloads/a.GGUF:20000000"_s, u"Downloads/c.Mlx:20000000"_s,
             u"Downloads/d.safetensors:20000000"_s, u"Downloads/x/y/z/k.gguf:20000000"_s});
        row("custom: 1,000,000 bytes and more", u"Custom"_s,
            {u"m/a.gguf:1000000"_s, u"m/b.gguf:999999"_s}, {u"m/a.gguf:1000000"_s});
        row("custom: extensions in any case, hidden names", u"Custom"_s,
            {u"m/.x.gguf:2000000"_s, u"m/.cache/x.gguf:2000000"_s, u"m/a.MLX:2000000"_s,
             u"m/b.onnx:2000000"_s, u"m/c.Pth:2000000"_s, u"m/d.bin:2000000"_s,
             u"m/e.ckpt:2000000"_s, u"m/f.pt:2000000"_s, u"m/g.safetensors:2000000"_s},
            {u"m/.cache/x.gguf:2000000"_s, u"m/a.MLX:2000000"_s, u"m/c.Pth:2000000"_s,
             u"m/d.bin:2000000"_s, u"m/e.ckpt:2000000"_s, u"m/f.pt:2000000"_s,
             u"m/g.safetensors:2000000"_s});
        row("custom: Trash folders left out", u"Custom"_s,
            {u".local/share/Trash/files/a.gguf:2000000"_s, u"d/.Trash-0/files/b.gguf:2000000"_s,
             u"d/.Trash/0/files/c.gguf:2000000"_s, u"d/kept.gguf:2000000"_s},
            {u"d/kept.gguf:2000000"_s});

        // Unreadable folders and files are left out without an error.
        const QString repository = u".cache/huggingface/hub/models--o--m"_s;
        row("Hugging Face: unreadable blobs", u"HuggingFace"_s,
            {repository + u"/blobs/a=12345"_s, repository + u"/snapshots/r/b=123"_s,
             repository + u"/blobs!"_s},
            {repository + u":3"_s});
        row("ComfyUI: unreadable folder and settings", u"ComfyUi"_s,
            {comfy + u"vae/ae.safetensors:2000000"_s, comfy + u"loras/no/l.safetensors:2000000"_s,
             comfy + u"loras/no!"_s, u"ComfyUI/extra_model_paths.yaml=base_path: ~/AI"_s,
             u"ComfyUI/extra_model_paths.yaml!"_s, u"AI/models/clip/c.safetensors:2000000"_s},
            {comfy + u"vae/ae.safetensors:2000000"_s});
        row("Whisper: unreadable folder", u"Whisper"_s,
            {whisper + u"ggml-x.bin:2000000"_s, u".cache/whisper!"_s,
             u"whisper.cpp/models/ggml-y.bin:2000000"_s},
            {u"whisper.cpp/models/ggml-y.bin:2000000"_s});
        row("AI caches: unreadable project", u"CodingCache"_s,
            {u".claude/projects/a/x:200000"_s, u".claude/projects/b/x:200000"_s,
             u".claude/projects/b!"_s},
            {u".claude/projects/a:200000"_s});
        row("loose: unreadable folder", u"Loose"_s,
            {u"Downloads/a.gguf:20000000"_s, u"Downloads!"_s, u"Documents/b.gguf:20000000"_s},
            {u"Documents/b.gguf:20000000"_s});
        row("custom: unreadable folder", u"Custom"_s,
            {u"a/m.gguf:2000000"_s, u"a!"_s, u"b/n.gguf:2000000"_s}, {u"b/n.gguf:2000000"_s});

        // Settings files that are FIFOs are not read, and FIFOs are never taken for models.
        row("LM Studio: FIFOs", u"LmStudio"_s,
            {u".lmstudio/models/a.gguf=1"_s, u".cache/lm-studio/models/"_s,
             u".lmstudio-home-pointer|"_s, u".lmstudio/settings.json|"_s,
             u".lmstudio/models/pipe.gguf|"_s},
            {u".lmstudio/models/a.gguf:1"_s});
        row("ComfyUI: FIFO", u"ComfyUi"_s,
            {comfy + u"vae/ae.safetensors:2000000"_s, u"ComfyUI/extra_model_paths.yaml|"_s},
            {comfy + u"vae/ae.safetensors:2000000"_s});
        row("loose: FIFO", u"Loose"_s,
            {u"Downloads/b.gguf:20000000"_s, u".config/user-dirs.dirs|"_s},
            {u"Downloads/b.gguf:20000000"_s});
    }

    void reported()
    {
        QFETCH(QString, scanner);
        ScanReadout::checkLayout([&](const TestHome& home) { return scanOf(scanner, home); });
    }

    void entry_data()
    {
        QTest::addColumn<QString>("scanner");
        QTest::addColumn<QString>("file"); // relative to the home
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("quantization");
        QTest::addColumn<QString>("detail"); // "@" stands for the home
        const QString lm = u".lmstudio/models/"_s;
        QTest::newRow("LM Studio: publisher/repository/file")
            << u"LmStudio"_s << lm + u"pub/Llama-GGUF/Llama-Q4_K_M.gguf"_s << qint64(5)
            << u"lmstudio-llama-q4_k_m"_s << u"pub/Llama-GGUF/Llama-Q4_K_M.gguf"_s << u"Q4_K_M"_s
            << QString();
        QTest::newRow("LM Studio: four levels")
            << u"LmStudio"_s << lm + u"a/b/c/d-Q8_0.gguf"_s << qint64(5) << u"lmstudio-d-q8_0"_s
            << u"a/b/c"_s << u"Q8_0"_s << QString();
        QTest::newRow("LM Studio: two levels")
            << u"LmStudio"_s << lm + u"pub/x.safetensors"_s << qint64(5) << u"lmstudio-x"_s
            << u"pub/x.safetensors"_s << QString() << QString();
        QTest::newRow("LM Studio: in the root")
            << u"LmStudio"_s << lm + u"root.gguf"_s << qint64(5) << u"lmstudio-root"_s
            << u"root.gguf"_s << QString() << QString();
        QTest::newRow("LM Studio: blanks, only the last extension goes")
            << u"LmStudio"_s << lm + u"p/r/My a.bf16.SafeTensors"_s << qint64(5)
            << u"lmstudio-my_a.bf16"_s << u"p/r/My a.bf16.SafeTensors"_s << u"bf16"_s << QString();
        QTest::newRow("ComfyUI") << u"ComfyUi"_s
                                 << u"ComfyUI/models/checkpoints/Model Name.v1.SafeTensors"_s
                                 << qint64(2'000'000) << u"comfy-model_name.v1"_s
                                 << u"Model Name.v1.SafeTensors"_s << QString()
                                 << u"Stable Diffusion checkpoint"_s;
        QTest::newRow("Whisper") << u"Whisper"_s << u".cache/whisper/ggml-tiny.bin"_s
                                 << qint64(1'000'000) << u"whisper-ggml-tiny.bin"_s
                                 << u"Whisper Tiny"_s << QString()
                                 << u"Local Whisper transcription model"_s;
        QTest::newRow("loose") << u"Loose"_s << u"Downloads/My Model.Q4_K_M.GGUF"_s
                               << qint64(12'000'000) << u"loose-my_model.q4_k_m"_s
                               << u"My Model.Q4_K_M.GGUF"_s << u"Q4_K_M"_s << QString();
        QTest::newRow("custom: the size ends the id")
            << u"Custom"_s << u"m/Flux Dev.FP16.SafeTensors"_s << qint64(23'802'932)
            << u"custom-flux_dev.fp16-23802932"_s << u"Flux Dev.FP16.SafeTensors"_s << u"fp16"_s
            << u"Custom folder: @/m"_s;
    }

    void entry()
    {
        QFETCH(QString, scanner);
        QFETCH(QString, file);
        QFETCH(qint64, size);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(QString, quantization);
        QFETCH(QString, detail);
        TestHome home;
        const QString path = home.file(file);
        QVERIFY(Fixtures::makeSparseFile(path, size));
        QVERIFY(Fixtures::setModified(path, 1'700'000'000));
        const SourceScan scan = scanOf(scanner, home);
        QCOMPARE(ScanReadout::idsOf(scan), QStringList{id});
        const ModelEntry& entry = scan.models.first();
        QCOMPARE(entry.name, name);
        QCOMPARE(entry.quantization.value_or(QString()), quantization);
        QCOMPARE(entry.detail.value_or(QString()), detail.replace(u'@', home.path()));
        // Source, sizes, paths, date, risk and the duplicate fields.
        QCOMPARE(entry, ModelEntry(id, name, *ModelSource::fromRawValue(scanner), size, size, path,
                                   {path}, QDateTime::fromSecsSinceEpoch(1'700'000'000),
                                   DeleteRisk::safe, entry.quantization, entry.detail));
    }
};

QTEST_GUILESS_MAIN(TestFileRules)
#include "tst_filerules.moc"

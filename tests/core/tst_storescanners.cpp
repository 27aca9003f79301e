#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/DockerModelsScanner.h"
#include "scanners/Gpt4AllScanner.h"
#include "scanners/InvokeAiScanner.h"
#include "scanners/JanScanner.h"
#include "scanners/LlamaCppScanner.h"
#include "scanners/ModelScopeScanner.h"
#include "scanners/PyTorchHubScanner.h"
#include "scanners/SdWebUiScanner.h"
#include "scanners/TextGenWebUiScanner.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Every entry as "path:size id|name", the path relative to the home, then "detail" when
// asked, in the scan's order.
QStringList readout(const SourceScan& scan, const TestHome& home, bool withDetail)
{
    QStringList lines;
    for (const ModelEntry& entry : scan.models) {
        QString path = entry.primaryPath;
        if (path.startsWith(home.path() + u'/'))
            path = path.mid(home.path().size() + 1);
        QString line =
            path + u':' + QString::number(entry.sizeBytes) + u' ' + entry.id + u'|' + entry.name;
        if (withDetail)
            line += u'|' + entry.detail.value_or(QString());
        if (entry.sizeBytes != entry.reclaimableBytes)
            line += u" reclaims "_s + QString::number(entry.reclaimableBytes);
        lines.push_back(line);
    }
    return lines;
}

// Builds the row's tree (Fixtures::makeTree lines below the home, or "path<tab>content";
// "<HOME>" is its path), sets its variables ("NAME=value" lines), makes every file an hour old
// but those of lines starting with "+", and compares the scan's readout with "expected".
void checkStore(const std::function<SourceScan(const QDateTime&)>& scan, bool withDetail = false)
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, variables);
    QFETCH(QStringList, expected);
    TestHome home;
    QStringList recent;
    for (QString& line : tree) {
        line.replace(u"<HOME>"_s, home.path());
        if (line.startsWith(u'+'))
            recent.push_back(line.remove(0, 1));
    }
    for (const QString& line : std::as_const(tree)) {
        if (line.contains(u'\t')) // "path<tab>content": a name holding "="
            QVERIFY(Fixtures::writeFile(home.file(line.section(u'\t', 0, 0)),
                                        line.section(u'\t', 1).toUtf8()));
    }
    tree.removeIf([](const QString& line) { return line.contains(u'\t'); });
    QVERIFY(Fixtures::makeTree(home.path(), tree));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QString& line : std::as_const(tree)) {
        const QString path = line.section(QRegularExpression(u"[:=]|->"_s), 0, 0);
        QVERIFY(Fixtures::setModified(home.file(path), now.toSecsSinceEpoch() -
                                                           (recent.contains(line) ? 60 : 3600)));
    }
    for (const QString& variable : std::as_const(variables)) {
        QString value = variable.section(u'=', 1);
        home.setEnv(variable.section(u'=', 0, 0).toUtf8().constData(),
                    value.replace(u"<HOME>"_s, home.path()).toUtf8());
    }
    const SourceScan result = scan(now);
    QCOMPARE(result.errors, QStringList());
    QCOMPARE(readout(result, home, withDetail), expected);
}

void checkStore(SourceScan (*scan)(), bool withDetail = false)
{
    checkStore([scan](const QDateTime&) { return scan(); }, withDetail);
}

void columns()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<QStringList>("expected");
}

void row(const char* name, const QStringList& tree, const QStringList& expected,
         const QStringList& variables = {})
{
    QTest::newRow(name) << tree << variables << expected;
}

} // namespace

class StoreScannersTest : public QObject
{
    Q_OBJECT

private slots:
    void llamaCpp_data()
    {
        columns();
        const QString c = u".cache/llama.cpp/"_s;
        const QString manifest = u"\t{\"ggufFile\":{\"rfilename\":\"gemma-Q4_K_M.gguf\"},"
                                 u"\"mmprojFile\":{\"rfilename\":\"mmproj.gguf\"}}"_s;
        row("flat files named by their manifest, etags counted",
            {c + u"manifest=ggml-org=gemma-GGUF=latest.json"_s + manifest,
             c + u"ggml-org_gemma-GGUF_gemma-Q4_K_M.gguf:3000000"_s,
             c + u"ggml-org_gemma-GGUF_gemma-Q4_K_M.gguf.etag=\"abc\""_s,
             c + u"ggml-org_gemma-GGUF_mmproj.gguf:400"_s, c + u"bob_tiny_tiny.gguf:500"_s,
             c + u"notes.txt:9"_s},
            {c + u"bob_tiny_tiny.gguf:500 llamacpp-bob_tiny_tiny|bob_tiny_tiny.gguf"_s,
             c + u"ggml-org_gemma-GGUF_gemma-Q4_K_M.gguf:3000005 "
                 u"llamacpp-ggml-org_gemma-gguf_gemma-q4_k_m|ggml-org/gemma-GGUF/"
                 u"gemma-Q4_K_M.gguf"_s,
             c + u"ggml-org_gemma-GGUF_mmproj.gguf:400 "
                 u"llamacpp-ggml-org_gemma-gguf_mmproj|ggml-org/gemma-GGUF/"
                 u"mmproj.gguf"_s});
        row("unfinished downloads: quiet ones listed",
            {c + u"a_b_c.gguf.downloadInProgress:700"_s,
             u"+"_s + c + u"a_b_d.gguf.downloadInProgress:700"_s},
            {c + u"a_b_c.gguf.downloadInProgress:700 llamacpp-partial-a_b_c|"
                 u"a_b_c.gguf (unfinished download)"_s});
        row("newer layout read as a hub cache",
            {c + u"models--unsloth--Qwen3-GGUF/blobs/0abc:2000000"_s,
             c + u"models--unsloth--Qwen3-GGUF/snapshots/r/q.gguf->../../blobs/0abc"_s,
             c + u"models--unsloth--Qwen3-GGUF/blobs/0abd.incomplete:90"_s},
            {c + u"models--unsloth--Qwen3-GGUF:2000000 "
                 u"llamacpp-hf-models--unsloth--Qwen3-GGUF|unsloth/Qwen3-GGUF"_s,
             c + u"models--unsloth--Qwen3-GGUF/blobs/0abd.incomplete:90 "
                 u"llamacpp-hf-partial-models--unsloth--Qwen3-GGUF-0abd.incompl|"
                 u"unsloth/Qwen3-GGUF (unfinished download)"_s});
        row("LLAMA_CACHE taken as written; the default not read",
            {u"l/m.gguf:5"_s, c + u"n.gguf:5"_s}, {u"l/m.gguf:5 llamacpp-m|m.gguf"_s},
            {u"LLAMA_CACHE=<HOME>/l"_s});
        row("XDG_CACHE_HOME", {u"x/llama.cpp/m.gguf:5"_s},
            {u"x/llama.cpp/m.gguf:5 llamacpp-m|m.gguf"_s}, {u"XDG_CACHE_HOME=<HOME>/x"_s});
    }

    void llamaCpp() { checkStore(LlamaCppScanner::scan); }

    void gpt4All_data()
    {
        columns();
        const QString data = u".local/share/nomic.ai/GPT4All/"_s;
        row("model files of 1 MB and more, both folders",
            {data + u"Llama 3 8B.Q4_0.gguf:4000000"_s, data + u"old.bin:1000000"_s,
             data + u"small.gguf:999999"_s, data + u"localdocs_v2.db:5000000"_s,
             data + u".hidden.gguf:2000000"_s, data + u"sub/deep.gguf:2000000"_s,
             u".cache/gpt4all/m.GGUF:3000000"_s},
            {data + u"Llama 3 8B.Q4_0.gguf:4000000 gpt4all-llama_3_8b.q4_0|Llama 3 "
                    u"8B.Q4_0.gguf"_s,
             data + u"old.bin:1000000 gpt4all-old|old.bin"_s,
             u".cache/gpt4all/m.GGUF:3000000 gpt4all-m|m.GGUF"_s});
        row("data home from its variable",
            {u"d/nomic.ai/GPT4All/m.gguf:2000000"_s, data + u"not-read.gguf:2000000"_s},
            {u"d/nomic.ai/GPT4All/m.gguf:2000000 gpt4all-m|m.gguf"_s},
            {u"XDG_DATA_HOME=<HOME>/d"_s});
        row("unfinished downloads: quiet ones listed, any size",
            {data + u"incomplete-a.gguf:5000"_s, u"+"_s + data + u"incomplete-b.gguf:5000"_s},
            {data + u"incomplete-a.gguf:5000 gpt4all-partial-a|a.gguf (unfinished "
                    u"download)|Unfinished download — safe to remove unless it is "
                    u"still downloading"_s});
        row("a folder linked to the other: read once",
            {u".cache/gpt4all->../.local/share/nomic.ai/GPT4All"_s, data + u"m.gguf:2000000"_s},
            {data + u"m.gguf:2000000 gpt4all-m|m.gguf"_s});
    }

    void gpt4All()
    {
        checkStore(Gpt4AllScanner::scan,
                   QByteArray(QTest::currentDataTag()).contains("unfinished"));
    }

    void dockerModels_data()
    {
        columns();
        const QString d = u".docker/models/"_s;
        const QString a = QString(64, u'a'), b = QString(64, u'b'), c = QString(64, u'c'),
                      o = QString(64, u'e');
        const auto blob = [&](const QString& hex, int size) -> QString {
            return d + u"blobs/sha256/"_s + hex + u':' + QString::number(size);
        };
        // smollm2 has two tags sharing its blobs a and b; qwen shares a and has c alone.
        const QString index =
            d +
            u"models.json\t{\"models\":[{\"id\":\"sha256:1\",\"tags\":[\"ai/smollm2:"
            u"latest\",\"ai/smollm2:360M\"],\"files\":[\"sha256:"_s +
            a + u"\",\"sha256:"_s + b +
            u"\"]},{\"id\":\"sha256:2\",\"tags\":[\"ai/qwen3\"],"
            u"\"files\":[\"sha256:"_s +
            a + u"\",\"sha256:"_s + c + u"\"]}]}"_s;
        const QString shares = u" with other Docker models — shared data is kept reclaims "_s;
        const QStringList tagged{d + u"blobs/sha256/"_s + a +
                                     u":2000300 dockermodels-ai/smollm2-latest|ai/"
                                     u"smollm2:latest|Shares 2 layers"_s +
                                     shares + u'0',
                                 d + u"blobs/sha256/"_s + a +
                                     u":2000300 dockermodels-ai/smollm2-360M|ai/"
                                     u"smollm2:360M|Shares 2 layers"_s +
                                     shares + u'0',
                                 d + u"blobs/sha256/"_s + c +
                                     u":6000000 dockermodels-ai/qwen3|ai/qwen3|Shares "
                                     u"1 layer"_s +
                                     shares + u"4000000"_s};
        const QStringList blobs{index, blob(a, 2000000), blob(b, 300), blob(c, 4000000),
                                blob(o, 500)};
        row("tags, shared blobs, downloads; no orphans while one runs",
            blobs + QStringList{u"+"_s + d + u"blobs/sha256/f.incomplete:7"_s,
                                d + u"blobs/sha256/9.incomplete:8"_s},
            tagged + QStringList{d + u"blobs/sha256/9.incomplete:8 dockermodels-partial-9|9 "
                                     u"(unfinished download)|Unfinished download — safe to "
                                     u"remove unless it is still downloading"_s});
        row("orphans once no download runs", blobs,
            tagged + QStringList{d + u"blobs/sha256/"_s + o + u":500 dockermodels-orphan-"_s + o +
                                 u"|Orphaned blob (eeeeeeee…eeeeeeee)|Not referenced by "
                                 u"any Docker model — safe to remove"_s});
        row("MODELS_PATH; an index that cannot be read gives no orphans",
            {u"m/models.json=[1]"_s, u"m/blobs/sha256/"_s + o + u":5"_s}, {},
            {u"MODELS_PATH=<HOME>/m"_s});
    }

    void dockerModels()
    {
        const bool unreadable = QByteArray(QTest::currentDataTag()).contains("cannot be read");
        if (unreadable) {
            QFETCH(QStringList, tree);
            TestHome home;
            for (QString& line : tree)
                line.replace(u"<HOME>"_s, home.path());
            QVERIFY(Fixtures::makeTree(home.path(), tree));
            home.setEnv("MODELS_PATH", QFile::encodeName(home.file(u"m"_s)));
            const SourceScan scan = DockerModelsScanner::scan();
            QCOMPARE(scan.models.size(), 0);
            QCOMPARE(scan.errors, QStringList{u"Cannot read Docker model index "_s +
                                              home.file(u"m/models.json"_s)});
            return;
        }
        checkStore(DockerModelsScanner::scan, true);
    }

    void pyTorchHub_data()
    {
        columns();
        const QString hub = u".cache/torch/hub/"_s;
        row("checkpoints of 1 MB and more, repositories",
            {hub + u"checkpoints/resnet18-f37072fd.pth:1000000"_s,
             hub + u"checkpoints/tiny.pt:999999"_s, hub + u"checkpoints/sub/vit_b.bin:2000000"_s,
             hub + u"pytorch_vision_v0.10.0/hubconf.py:300"_s,
             hub + u"facebookresearch_dinov2_main/a/b.py:200"_s, hub + u"hubconf_only/x.py:9"_s,
             hub + u"empty_repo_main/"_s, hub + u"trusted_list:40"_s},
            {hub + u"checkpoints/resnet18-f37072fd.pth:1000000 pytorchhub-resnet18-f37072fd|"
                   u"resnet18-f37072fd.pth"_s,
             hub + u"checkpoints/sub/vit_b.bin:2000000 pytorchhub-vit_b|vit_b.bin"_s,
             hub + u"facebookresearch_dinov2_main:200 "
                   u"pytorchhub-facebookresearch_dinov2_main|facebookresearch/dinov2_main"_s,
             hub + u"pytorch_vision_v0.10.0:300 pytorchhub-pytorch_vision_v0.10.0|"
                   u"pytorch/vision_v0.10.0"_s});
        row("unfinished download, quiet; a recent one left out",
            {hub + u"checkpoints/r.pth.0a1b.partial:500"_s,
             u"+"_s + hub + u"checkpoints/s.pth.0a1c.partial:500"_s},
            {hub + u"checkpoints/r.pth.0a1b.partial:500 "
                   u"pytorchhub-partial-r.pth.0a1b|r.pth (unfinished download)"_s});
        row("TORCH_HOME, ~ expanded; the cache default not read",
            {u"t/hub/checkpoints/m.pt:1000000"_s, hub + u"checkpoints/n.pt:1000000"_s},
            {u"t/hub/checkpoints/m.pt:1000000 pytorchhub-m|m.pt"_s}, {u"TORCH_HOME=~/t"_s});
        row("XDG_CACHE_HOME", {u"c/torch/hub/checkpoints/m.pt:1000000"_s},
            {u"c/torch/hub/checkpoints/m.pt:1000000 pytorchhub-m|m.pt"_s},
            {u"XDG_CACHE_HOME=<HOME>/c"_s});
    }

    void pyTorchHub() { checkStore(PyTorchHubScanner::scan); }

    void modelScope_data()
    {
        columns();
        const QString hub = u".cache/modelscope/hub/"_s;
        row("older and newer layouts",
            {hub + u"qwen/Qwen2___5-7B/model.safetensors:3000000"_s,
             hub + u"qwen/Qwen2___5-7B/config.json:100"_s,
             hub + u"models/iic/emotion2vec/m.pt:2000000"_s, hub + u"datasets/d/set/x.csv:10"_s,
             hub + u"._____temp/o/n/f:10"_s, hub + u"org/empty/"_s, hub + u"stray.json:10"_s},
            {hub + u"qwen/Qwen2___5-7B:3000100 modelscope-qwen--Qwen2___5-7B|qwen/"
                   u"Qwen2.5-7B"_s,
             hub + u"models/iic/emotion2vec:2000000 "
                   u"modelscope-iic--emotion2vec|iic/emotion2vec"_s});
        row("MODELSCOPE_CACHE, $HOME expanded", {u"ms/hub/o/n/f.bin:5"_s, hub + u"p/q/g.bin:5"_s},
            {u"ms/hub/o/n:5 modelscope-o--n|o/n"_s}, {u"MODELSCOPE_CACHE=$HOME/ms"_s});
    }

    void modelScope() { checkStore(ModelScopeScanner::scan); }

    void textGenWebUi_data()
    {
        columns();
        const QString root = u"text-generation-webui/"_s;
        row("user_data models and loras, older folders",
            {root + u"user_data/models/Llama 3.1 8B Q4_K_M.gguf:4000000"_s,
             root + u"user_data/models/config.yaml:200"_s,
             root + u"user_data/models/place-your-models-here.txt:0"_s,
             root + u"user_data/models/TheBloke_Mistral-7B.GPTQ/model.safetensors:"
                    u"3000000"_s,
             root + u"user_data/models/.cache/x.bin:9"_s,
             root + u"user_data/loras/my-lora/adapter_model.bin:700"_s,
             root + u"models/old.bin:800"_s},
            {root + u"user_data/models/Llama 3.1 8B Q4_K_M.gguf:4000000 "
                    u"textgenwebui-llama_3.1_8b_q4_k_m|Llama 3.1 8B Q4_K_M.gguf"_s,
             root + u"user_data/models/TheBloke_Mistral-7B.GPTQ:3000000 "
                    u"textgenwebui-thebloke_mistral-7b.gptq|TheBloke_Mistral-7B.GPTQ"_s,
             root + u"user_data/loras/my-lora:700 textgenwebui-my-lora|my-lora"_s,
             root + u"models/old.bin:800 textgenwebui-old|old.bin"_s});
    }

    void textGenWebUi() { checkStore(TextGenWebUiScanner::scan); }

    void invokeAi_data()
    {
        columns();
        const QString detail = u"|InvokeAI keeps a record of it — remove it in InvokeAI too"_s;
        row("folders and files under base and type",
            {u"invokeai/models/sdxl/main/Juggernaut XL/unet/m.safetensors:6000000"_s,
             u"invokeai/models/sd-1/lora/detail.safetensors:150000"_s,
             u"invokeai/models/any/clip_vision/.hidden:5"_s,
             u"invokeai/models/.download_cache/x/y:5"_s, u"invokeai/models/loose.bin:5"_s,
             u"invokeai/databases/invokeai.db:9"_s},
            {u"invokeai/models/sd-1/lora/detail.safetensors:150000 "
             u"invokeai-sd-1-lora-detail|detail.safetensors"_s +
                 detail,
             u"invokeai/models/sdxl/main/Juggernaut XL:6000000 "
             u"invokeai-sdxl-main-juggernaut_xl|Juggernaut XL"_s +
                 detail});
        row("INVOKEAI_ROOT, ${HOME} expanded",
            {u"ai/models/b/t/f:5"_s, u"invokeai/models/b/t/g:5"_s},
            {u"ai/models/b/t/f:5 invokeai-b-t-f|f"_s + detail}, {u"INVOKEAI_ROOT=${HOME}/ai"_s});
    }

    void invokeAi() { checkStore(InvokeAiScanner::scan, true); }

    void sdWebUi_data()
    {
        columns();
        const QString sd = u"stable-diffusion-webui/"_s;
        row("model folders by kind, embeddings, 1 MB and more",
            {sd + u"models/Stable-diffusion/sd_xl base.safetensors:6000000"_s,
             sd + u"models/Lora/sub/detail.safetensors:1000000"_s,
             sd + u"models/VAE/small.pt:999999"_s, sd + u"models/ESRGAN/4x.pth:2000000"_s,
             sd + u"models/Unknown Kind/u.ckpt:2000000"_s,
             sd + u"models/Stable-diffusion/notes.txt:2000000"_s,
             sd + u"embeddings/easyneg.safetensors:1500000"_s},
            {sd + u"models/ESRGAN/4x.pth:2000000 sdwebui-4x|4x.pth|Upscale model"_s,
             sd + u"models/Lora/sub/detail.safetensors:1000000 sdwebui-detail|detail."
                  u"safetensors|LoRA adapter"_s,
             sd + u"models/Stable-diffusion/sd_xl base.safetensors:6000000 sdwebui-sd_xl_"
                  u"base|sd_xl base.safetensors|Stable Diffusion checkpoint"_s,
             sd + u"models/Unknown Kind/u.ckpt:2000000 sdwebui-u|u.ckpt|Unknown Kind"_s,
             sd + u"embeddings/easyneg.safetensors:1500000 sdwebui-easyneg|easyneg."
                  u"safetensors|Textual inversion embedding"_s});
        row("forks, and an a111 section of ComfyUI's extra paths; a link read once",
            {u"sd-webui-forge/models/Lora/f.safetensors:1000000"_s,
             u"stable-diffusion-webui-reForge->sd-webui-forge"_s,
             u"elsewhere/a1111/models/VAE/v.pt:1000000"_s,
             u"elsewhere/comfy-extra/models/VAE/c.pt:1000000"_s,
             u"ComfyUI/extra_model_paths.yaml=comfyui:\n    base_path: "
             u"<HOME>/elsewhere/comfy-extra\na111:\n    base_path: "
             u"../elsewhere/a1111/\n    vae: models/VAE\n"_s},
            {u"sd-webui-forge/models/Lora/f.safetensors:1000000 sdwebui-f|f."
             u"safetensors|LoRA adapter"_s,
             u"elsewhere/a1111/models/VAE/v.pt:1000000 sdwebui-v|v.pt|VAE model"_s});
    }

    void sdWebUi() { checkStore(SdWebUiScanner::scan, true); }

    void jan_data()
    {
        columns();
        const QString data = u".local/share/Jan/data/"_s;
        row("org/repo folders, one-level ones, older models, engines",
            {data + u"llamacpp/models/Menlo/Jan-nano-gguf/model.gguf:4000000"_s,
             data + u"llamacpp/models/Menlo/Jan-nano-gguf/model.yml:100"_s,
             data + u"llamacpp/models/Menlo/no-model/model.yml:100"_s,
             data + u"llamacpp/models/qwen3-4b/model.gguf:3000000"_s,
             data + u"llamacpp/backends/b6324/linux-avx2/llama-server:900"_s,
             data + u"models/tinyllama-1.1b/tinyllama.gguf:2000000"_s,
             data + u"models/.cache/x.gguf:5"_s, u".config/Jan/data/models/m/m.safetensors:7"_s,
             u"jan/models/old/old.bin:8"_s},
            {data + u"llamacpp/models/Menlo/Jan-nano-gguf:4000100 jan-Menlo--Jan-nano-gguf|"
                    u"Menlo/Jan-nano-gguf"_s,
             data + u"llamacpp/models/qwen3-4b:3000000 jan-qwen3-4b|qwen3-4b"_s,
             data + u"models/tinyllama-1.1b:2000000 jan-tinyllama-1.1b|tinyllama-1.1b"_s,
             data + u"llamacpp/backends:900 jan-backends|Jan inference engines"_s,
             u".config/Jan/data/models/m:7 jan-m|m"_s, u"jan/models/old:8 jan-old|old"_s});
    }

    void jan() { checkStore(JanScanner::scan); }
};

QTEST_GUILESS_MAIN(StoreScannersTest)
#include "tst_storescanners.moc"

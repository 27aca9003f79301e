// What each scanner reports from a fixture tree, scanner by scanner: the file rules they share
// (size thresholds, hidden names, extensions and their case, unreadable folders, FIFOs), the
// folders each one searches, and the fields of a file's entry.
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
    using Scan = SourceScan (*)(const QStringList&);
    static const QHash<QString, Scan> scans{
        {u"LmStudio"_s, [](const QStringList&) { return LMStudioScanner::scan(); }},
        {u"HuggingFace"_s, [](const QStringList&) { return HuggingFaceScanner::scan(); }},
        {u"ComfyUi"_s, [](const QStringList&) { return ComfyUIScanner::scan(); }},
        {u"Whisper"_s, [](const QStringList&) { return WhisperScanner::scan(); }},
        {u"CodingCache"_s, [](const QStringList&) { return CodingCacheScanner::scan(); }},
        {u"Loose"_s, [](const QStringList&) { return LooseScanner::scan({}); }},
        {u"Custom"_s, [](const QStringList& roots) { return CustomFolderScanner::scan(roots); }}};
    QStringList roots;
    const QDir dir(home.path());
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        roots.push_back(home.file(name));
    return scans.value(scanner)(roots);
}

void row(const char* name, const QString& scanner, const QString& base, const QStringList& tree,
         const QStringList& expected)
{
    QTest::newRow(name) << scanner << base << tree << expected;
}

// Files of one size below the base: the scanner takes the first ones, in this order, and leaves
// the others.
void names(const char* name, const QString& scanner, const QString& base, qint64 size,
           const QStringList& taken, const QStringList& left)
{
    QStringList files;
    for (const QString& file : taken + left)
        files.push_back(file + u':' + QString::number(size));
    row(name, scanner, base, files, files.mid(0, taken.size()));
}

} // namespace

class TestFileRules : public QObject
{
    Q_OBJECT

private slots:
    void reported_data()
    {
        QTest::addColumn<QString>("scanner");
        QTest::addColumn<QString>("base"); // of the tree lines and entries, below the home
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("expected");
        const QString none;

        const QString lm = u"LmStudio"_s;
        names("LM Studio: extensions in any case, hidden names", lm, u".lmstudio/models/p/"_s, 1,
              {u".cache/x.gguf"_s, u"r/MODEL.GGUF"_s, u"r/My bf16.SafeTensors"_s, u"r/w.bin"_s,
               u"r/w.ggml"_s, u"r/w.mlx"_s},
              {u"r/.x.gguf"_s, u"r/x.gguf.part"_s, u"r/gguf"_s, u"r/readme.txt"_s});
        row("LM Studio: FIFOs are not read", lm, none,
            {u".lmstudio/models/a.gguf=1"_s, u".cache/lm-studio/models/"_s,
             u".lmstudio-home-pointer|"_s, u".lmstudio/settings.json|"_s,
             u".lmstudio/models/pipe.gguf|"_s},
            {u".lmstudio/models/a.gguf:1"_s});
        // The downloads folder first; the linked default folder adds nothing.
        row("LM Studio: folders in order", lm, none,
            {u".lmstudio/models/p/r/m.gguf=1"_s, u".lmstudio/models/p/r/mm.bin=12"_s,
             u"dl/p/r/m.gguf=123"_s,
             u".lmstudio/settings.json={\"downloadsFolder\":\"<HOME>/dl\"}"_s,
             u".cache/lm-studio/models->../../.lmstudio/models"_s},
            {u"dl/p/r/m.gguf:3"_s, u".lmstudio/models/p/r/m.gguf:1"_s,
             u".lmstudio/models/p/r/mm.bin:2"_s});

        const QString comfy = u"ComfyUi"_s;
        // The Kelvin sign's lower case is "k".
        names("ComfyUI: extensions in any case, hidden names, categories only", comfy,
              u"ComfyUI/models/"_s, 2'000'000,
              {u"checkpoints/a.SafeTensors"_s, u"checkpoints/old.C\u212APT"_s,
               u"loras/.cache/s.pth"_s, u"unet/Flux.GGUF"_s, u"clip/w.bin"_s},
              {u"checkpoints/.d.safetensors"_s, u"checkpoints/b.onnx"_s, u"checkpoints/c.mlx"_s,
               u"ipadapter/ip.safetensors"_s});
        row("ComfyUI: 1,000,000 bytes and more", comfy, u"ComfyUI/models/vae/"_s,
            {u"a.pt:1000000"_s, u"b.pt:999999"_s}, {u"a.pt:1000000"_s});
        row("ComfyUI: unreadable folder and settings", comfy, none,
            {u"ComfyUI/models/vae/a.pt:2000000"_s, u"ComfyUI/models/loras/no/l.pt:2000000"_s,
             u"ComfyUI/models/loras/no!"_s, u"ComfyUI/extra_model_paths.yaml=base_path: ~/AI"_s,
             u"ComfyUI/extra_model_paths.yaml!"_s, u"AI/models/clip/c.pt:2000000"_s},
            {u"ComfyUI/models/vae/a.pt:2000000"_s});
        row("ComfyUI: settings that are a FIFO", comfy, u"ComfyUI/"_s,
            {u"models/vae/a.pt:2000000"_s, u"extra_model_paths.yaml|"_s},
            {u"models/vae/a.pt:2000000"_s});
        row("ComfyUI: no installation", comfy, none,
            {u"models/vae/x.pt:2000000"_s, u"Documents/other/models/vae/y.pt:2000000"_s}, {});
        // Roots in their order, and in each root the categories in theirs.
        QStringList everywhere;
        for (const QString& root : {u"ComfyUI"_s, u"Documents/ComfyUI"_s, u"Desktop/ComfyUI"_s,
                                    u".local/share/ComfyUI"_s, u"comfy/ComfyUI"_s}) {
            for (const QString& category :
                 {u"checkpoints"_s, u"loras"_s, u"vae"_s, u"controlnet"_s, u"unet"_s,
                  u"diffusion_models"_s, u"clip"_s, u"text_encoders"_s, u"upscale_models"_s,
                  u"embeddings"_s, u"diffusers"_s})
                everywhere.push_back(root + u"/models/"_s + category + u"/deep/m.pt:1000000"_s);
        }
        row("ComfyUI: every root and category", comfy, none, everywhere, everywhere);
        row("ComfyUI: linked roots are both searched", comfy, none,
            {u"ComfyUI/models/vae/m.pt:2000000"_s, u"Documents/ComfyUI->../ComfyUI"_s},
            {u"ComfyUI/models/vae/m.pt:2000000"_s, u"Documents/ComfyUI/models/vae/m.pt:2000000"_s});
        row("ComfyUI: base path repeating a root is searched once", comfy, none,
            {u"ComfyUI/models/vae/m.pt:2000000"_s,
             u"Documents/ComfyUI/extra_model_paths.yaml=base_path: ~/ComfyUI/\n"
             u"base_path: ~/Documents/../ComfyUI/.\nbase_path: ~/ComfyUI"_s},
            {u"ComfyUI/models/vae/m.pt:2000000"_s});
        row("ComfyUI: extra folders are not asked for more", comfy, none,
            {u"ComfyUI/extra_model_paths.yaml=base_path: ~/one"_s,
             u"one/extra_model_paths.yaml=base_path: ~/two"_s, u"one/models/loras/a.pt:2000000"_s,
             u"two/models/loras/b.pt:2000000"_s},
            {u"one/models/loras/a.pt:2000000"_s});

        const QString whisper = u"Whisper"_s;
        names("Whisper: exact case, hidden names kept", whisper, u".cache/whisper/"_s, 2'000'000,
              {u".h.pt"_s},
              {u"GGML-a.bin"_s, u"ggml-b.BIN"_s, u"c.PT"_s, u"ggml-d.gguf"_s, u"e.bin"_s,
               u"ggml-f.bin.part"_s});
        row("Whisper: 1,000,000 bytes and more", whisper, u".cache/whisper/"_s,
            {u"ggml-a.bin:1000000"_s, u"ggml-b.bin:999999"_s, u"c.pt:1000000"_s, u"d.pt:999999"_s},
            {u"c.pt:1000000"_s, u"ggml-a.bin:1000000"_s});
        row("Whisper: unreadable folder", whisper, none,
            {u".cache/whisper/ggml-x.bin:2000000"_s, u".cache/whisper!"_s,
             u"whisper.cpp/models/ggml-y.bin:2000000"_s},
            {u"whisper.cpp/models/ggml-y.bin:2000000"_s});

        const QString cache = u"CodingCache"_s;
        const QString projects = u".claude/projects/"_s;
        row("AI caches: 100,000 bytes and more, hidden files counted", cache, none,
            {u".cursor/chat/a:59999"_s, u".cursor/chat/.git/.b:40000"_s, u".continue/a:60000"_s,
             u".continue/.git/.b:40000"_s, u".codeium/"_s},
            {u".continue:100000"_s});
        row("AI caches: unreadable project", cache, projects,
            {u"a/x:200000"_s, u"b/x:200000"_s, u"b!"_s}, {u"a:200000"_s});
        QStringList folders;
        for (const QString& folder :
             {u".cursor/chat"_s, u"Library/Application Support/Cursor/User/workspaceStorage/h"_s,
              u"Library/Caches/Cursor"_s, u".claude/projects/p"_s, u".continue"_s, u".codeium"_s,
              u"Library/Application Support/com.github.copilot"_s, u".config/github-copilot"_s,
              u".config/Cursor/User/workspaceStorage/h"_s, u".config/Cursor/CachedData"_s})
            folders.push_back(folder + u":100000"_s);
        QStringList files = folders;
        for (QString& file : files)
            file.replace(u":"_s, u"/a:"_s);
        row("AI caches: every folder, in table order", cache, none, files, folders);
        row("AI caches: other folders of a tool", cache, none, {u".cursor/other/b:5000000"_s}, {});
        row("AI caches: projects in byte order", cache, none,
            {projects + u"-home-ann-site/a:300000"_s, projects + u"-home-ann-API/a:120000"_s,
             projects + u".hidden/a:500000"_s, projects + u"small/a:99999"_s,
             projects + u"loose-file.jsonl:900000"_s, u"elsewhere/a:700000"_s,
             projects + u"linked->../../elsewhere"_s},
            {projects + u"-home-ann-API:120000"_s, projects + u"-home-ann-site:300000"_s,
             projects + u"linked:700000"_s});
        // What a move to another drive leaves behind: the folder is elsewhere, a link stays, and
        // the entry is listed at the link, sized by its target.
        row("AI caches: whole-folder row is a link", cache, none,
            {u"moved/a:400000"_s, u".cursor/chat->../moved"_s}, {u".cursor/chat:400000"_s});
        row("AI caches: per-project row is a link", cache, none,
            {u"moved/p/a:400000"_s, u".claude/projects->../moved"_s},
            {u".claude/projects/p:400000"_s});
        row("AI caches: Trash inside a cache", cache, u".continue/"_s,
            {u"index.db:50000"_s, u".Trash-0/files/old.bin:900000"_s, u".Trash/old.bin:900000"_s},
            {});

        // Links never count: snapshots that link into blobs are not counted twice.
        const QString hf = u"HuggingFace"_s;
        const QString hub = u".cache/huggingface/hub/"_s;
        row("Hugging Face: snapshots linking into blobs", hf, hub,
            {u"models--m/blobs/a:4000000000"_s, u"models--m/blobs/b=12345"_s,
             u"models--m/snapshots/r/m->../../blobs/a"_s,
             u"models--m/snapshots/r/c->../../blobs/b"_s, u"models--m/refs/main=r"_s},
            {u"models--m:4000000005"_s});
        row("Hugging Face: files in the snapshots themselves", hf, hub,
            {u"models--m/snapshots/r/m:3000000000"_s, u"models--m/snapshots/r/sub/t=1234"_s,
             u"models--m/refs/main=r"_s},
            {u"models--m:3000000004"_s});
        row("Hugging Face: both kinds", hf, hub,
            {u"models--m/blobs/a=123"_s, u"models--m/snapshots/r1/a->../../blobs/a"_s,
             u"models--m/snapshots/r2/b=1234"_s, u"models--m/.no_exist/r/x=99"_s},
            {u"models--m:7"_s});
        row("Hugging Face: nothing at all", hf, hub, {u"models--m/refs/"_s}, {u"models--m:0"_s});
        row("Hugging Face: blobs is a link", hf, hub,
            {u"elsewhere/big:5000"_s, u"models--m/blobs->../elsewhere"_s}, {u"models--m:0"_s});
        row("Hugging Face: hidden files counted", hf, hub, {u"models--m/blobs/.tmp=12"_s},
            {u"models--m:2"_s});
        row("Hugging Face: unreadable blobs", hf, hub,
            {u"models--m/blobs/a=12345"_s, u"models--m/snapshots/r/b=123"_s, u"models--m/blobs!"_s},
            {u"models--m:3"_s});

        const QString loose = u"Loose"_s;
        names("loose: extensions in any case, hidden names", loose, u"Downloads/"_s, 20'000'000,
              {u"a.GGUF"_s, u"c.Mlx"_s, u"d.safetensors"_s, u"x/y/z/k.gguf"_s},
              {u".i.gguf"_s, u".cache/j.gguf"_s, u"e.bin"_s, u"f.pt"_s, u"g.ckpt"_s,
               u"h.gguf.part"_s});
        row("loose: 10,000,000 bytes and more", loose, u"Downloads/"_s,
            {u"a.onnx:10000000"_s, u"b.onnx:9999999"_s}, {u"a.onnx:10000000"_s});
        row("loose: unreadable folder", loose, none,
            {u"Downloads/a.gguf:20000000"_s, u"Downloads!"_s, u"Documents/b.gguf:20000000"_s},
            {u"Documents/b.gguf:20000000"_s});
        row("loose: settings that are a FIFO", loose, none,
            {u"Downloads/b.gguf:20000000"_s, u".config/user-dirs.dirs|"_s},
            {u"Downloads/b.gguf:20000000"_s});
        names("loose: English names, in order, not the home", loose, none, 20'000'000,
              {u"Downloads/c.gguf"_s, u"Documents/b.gguf"_s, u"Desktop/a.gguf"_s}, {u"e.gguf"_s});
        // Folders are compared after resolving: one reached by the walk of another is not
        // walked again.
        const QString dirs = u".config/user-dirs.dirs="_s;
        row("loose: Desktop inside Documents", loose, none,
            {dirs + u"XDG_DESKTOP_DIR=\"$HOME/Documents/Desktop\""_s,
             u"Documents/Desktop/m.gguf:20000000"_s},
            {u"Documents/Desktop/m.gguf:20000000"_s});
        row("loose: Documents inside Desktop, which comes later", loose, none,
            {dirs + u"XDG_DOCUMENTS_DIR=\"$HOME/Desktop/Docs\""_s,
             u"Desktop/Docs/m.gguf:20000000"_s},
            {u"Desktop/Docs/m.gguf:20000000"_s});
        row("loose: same folder with a trailing slash", loose, none,
            {dirs + u"XDG_DESKTOP_DIR=\"$HOME/Documents/\""_s, u"Documents/m.gguf:20000000"_s},
            {u"Documents/m.gguf:20000000"_s});
        row("loose: same folder through a link", loose, none,
            {u"Documents/m.gguf:20000000"_s, u"Desktop->Documents"_s},
            {u"Documents/m.gguf:20000000"_s});
        row("loose: a link to the home", loose, none,
            {u"Downloads->."_s, u"m.gguf:20000000"_s, u"Documents/n.gguf:20000000"_s},
            {u"Documents/n.gguf:20000000"_s});
        row("loose: inside a hidden folder of another is walked itself", loose, none,
            {dirs + u"XDG_DESKTOP_DIR=\"$HOME/Documents/.private/Desk\""_s,
             u"Documents/.private/Desk/m.gguf:20000000"_s},
            {u"Documents/.private/Desk/m.gguf:20000000"_s});
        row("loose: siblings with a common prefix", loose, none,
            {dirs + u"XDG_DESKTOP_DIR=\"$HOME/Documents2\""_s, u"Documents/a.gguf:20000000"_s,
             u"Documents2/b.gguf:20000000"_s},
            {u"Documents/a.gguf:20000000"_s, u"Documents2/b.gguf:20000000"_s});
        const QString line = u"XDG_DOWNLOAD_DIR=\"$HOME/dl\"\n"_s;
        const QStringList both{u"dl/a.gguf:20000000"_s, u"Downloads/b.gguf:20000000"_s};
        row("loose: settings of exactly 1 MiB", loose, none,
            QStringList{dirs + line + QString((1 << 20) - line.size(), u'#')} + both,
            {u"dl/a.gguf:20000000"_s});
        row("loose: settings one byte over 1 MiB", loose, none,
            QStringList{dirs + line + QString((1 << 20) - line.size() + 1, u'#')} + both,
            {u"Downloads/b.gguf:20000000"_s});

        const QString custom = u"Custom"_s;
        names("custom: extensions in any case, hidden names", custom, u"m/"_s, 2'000'000,
              {u".cache/x.gguf"_s, u"a.MLX"_s, u"c.Pth"_s, u"d.bin"_s, u"e.ckpt"_s, u"f.pt"_s,
               u"g.safetensors"_s},
              {u".x.gguf"_s, u"b.onnx"_s});
        row("custom: 1,000,000 bytes and more", custom, u"m/"_s,
            {u"a.gguf:1000000"_s, u"b.gguf:999999"_s}, {u"a.gguf:1000000"_s});
        names("custom: Trash folders left out", custom, none, 2'000'000, {u"d/kept.gguf"_s},
              {u".local/share/Trash/files/a.gguf"_s, u"d/.Trash-0/files/b.gguf"_s,
               u"d/.Trash/0/files/c.gguf"_s});
        row("custom: unreadable folder", custom, none,
            {u"a/m.gguf:2000000"_s, u"a!"_s, u"b/n.gguf:2000000"_s}, {u"b/n.gguf:2000000"_s});
    }

    void reported()
    {
        QFETCH(QString, scanner);
        QFETCH(QString, base);
        ScanReadout::checkLayout([&](const TestHome& home) { return scanOf(scanner, home); }, base);
    }

    void entry_data()
    {
        QTest::addColumn<QString>("scanner");
        QTest::addColumn<QString>("file"); // relative to the home; 12,000,000 bytes
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("quantization");
        QTest::addColumn<QString>("detail"); // "@" stands for the home
        const auto lm = [](const char* row, const QString& file, const QString& id,
                           const QString& name, const QString& quantization) {
            QTest::newRow(row) << u"LmStudio"_s << u".lmstudio/models/"_s + file << id << name
                               << quantization << QString();
        };
        lm("LM Studio: publisher/repository/file", u"pub/L-GGUF/L-Q4_K_M.gguf"_s,
           u"lmstudio-l-q4_k_m"_s, u"pub/L-GGUF/L-Q4_K_M.gguf"_s, u"Q4_K_M"_s);
        lm("LM Studio: four levels", u"a/b/c/d-Q8_0.gguf"_s, u"lmstudio-d-q8_0"_s, u"a/b/c"_s,
           u"Q8_0"_s);
        lm("LM Studio: two levels", u"pub/x.safetensors"_s, u"lmstudio-x"_s, u"pub/x.safetensors"_s,
           QString());
        lm("LM Studio: in the root", u"root.gguf"_s, u"lmstudio-root"_s, u"root.gguf"_s, QString());
        lm("LM Studio: blanks, only the last extension goes", u"p/r/My a.bf16.SafeTensors"_s,
           u"lmstudio-my_a.bf16"_s, u"p/r/My a.bf16.SafeTensors"_s, u"bf16"_s);
        QTest::newRow("ComfyUI") << u"ComfyUi"_s << u"ComfyUI/models/loras/My LoRA.v1.pt"_s
                                 << u"comfy-my_lora.v1"_s << u"My LoRA.v1.pt"_s << QString()
                                 << u"LoRA adapter"_s;
        QTest::newRow("Whisper") << u"Whisper"_s << u".cache/whisper/ggml-tiny.bin"_s
                                 << u"whisper-ggml-tiny.bin"_s << u"Whisper Tiny"_s << QString()
                                 << u"Local Whisper transcription model"_s;
        QTest::newRow("loose") << u"Loose"_s << u"Downloads/My Model.Q4_K_M.GGUF"_s
                               << u"loose-my_model.q4_k_m"_s << u"My Model.Q4_K_M.GGUF"_s
                               << u"Q4_K_M"_s << QString();
        QTest::newRow("custom: the size ends the id")
            << u"Custom"_s << u"m/Flux Dev.FP16.SafeTensors"_s << u"custom-flux_dev.fp16-12000000"_s
            << u"Flux Dev.FP16.SafeTensors"_s << u"fp16"_s << u"Custom folder: @/m"_s;
    }

    void entry()
    {
        QFETCH(QString, scanner);
        QFETCH(QString, file);
        const qint64 size = 12'000'000;
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
        // Source, sizes, paths, dates (setModified sets the access time too), risk and the
        // duplicate fields.
        ModelEntry expected(id, name, *ModelSource::fromRawValue(scanner), size, size, path, {path},
                            QDateTime::fromSecsSinceEpoch(1'700'000'000), DeleteRisk::safe,
                            entry.quantization, entry.detail);
        expected.lastUsed = expected.lastModified;
        if (scanner == u"Custom") // found through the stored folder the detail names
            expected.folderRoot = detail.mid(detail.indexOf(u": ") + 2);
        QCOMPARE(entry, expected);
    }
};

QTEST_GUILESS_MAIN(TestFileRules)
#include "tst_filerules.moc"

#include "UserFolders.h"

#include "ModelHeads.h"
#include "Random.h"

#include <string>

namespace {

using Dir = TreeWriter::Dir;
using namespace ModelHeads;

constexpr std::string_view kDownloadStems[] = {"invoice",    "report",    "setup",  "photo",
                                               "slides",     "dataset",   "paper",  "backup",
                                               "screenshot", "statement", "manual", "export"};
constexpr std::string_view kDownloadExtensions[] = {".pdf",    ".zip", ".png", ".jpg",  ".deb",
                                                    ".tar.gz", ".mp4", ".csv", ".docx", ".iso"};
constexpr std::string_view kSourceExtensions[] = {".py",   ".ts", ".cpp", ".h",    ".md",
                                                  ".json", ".rs", ".go",  ".yaml", ".sh"};
constexpr std::string_view kSitePackages[] = {
    "numpy", "torch", "requests", "urllib3", "pandas",   "transformers", "tokenizers",
    "tqdm",  "yaml",  "certifi",  "idna",    "filelock", "jinja2"};

void downloads(HomePlan& plan, int64_t mtime)
{
    plan.folder("Downloads", mtime);
    plan.units("Downloads", plan.count(1'500), 500,
               [](TreeWriter& writer, const Dir& dir, int64_t i) {
                   Random random = Random::of("download", static_cast<uint64_t>(i));
                   const std::string name = std::string(random.pick(kDownloadStems)) + "-" +
                                            std::to_string(i) +
                                            std::string(random.pick(kDownloadExtensions));
                   sizedFile(writer, dir, name, random.logBetween(1'000, 200'000'000), random,
                             anyTime(random));
               });
    plan.job("Downloads", [mtime](TreeWriter& writer, const Dir& dir) {
        Random random = Random::of("downloads-extra");
        // Loose models; the Mistral file has an identical twin in the model archive.
        modelFile(writer, dir, "mistral-7b-instruct-v0.2.Q4_K_M.gguf", 4'368'439'584,
                  "mistral-7b-instruct-v0.2.Q4_K_M", mtime);
        modelFile(writer, dir, "phi-2.Q8_0.gguf", 2'961'543'712, "phi-2.Q8_0", mtime);
        modelFile(writer, dir, "Llama-3.2-3B-Instruct-Q4_K_M.gguf", 2'019'377'696,
                  "Llama-3.2-3B-Instruct-Q4_K_M", mtime);
        // Hidden: a browser's unfinished download and an office lock file.
        writer.file(dir, ".~lock.statement-3.csv#", "dev,localhost,01.01.2025", mtime);
        const Dir partial = writer.dir(dir, ".partial", mtime);
        sizedFile(writer, partial, "ubuntu-24.04-desktop-amd64.iso.part", 1'845'000'000, random,
                  mtime);
        const int64_t count = 40;
        for (int64_t k = 0; k < count; ++k)
            writer.file(partial, "chunk-" + std::to_string(k), {}, mtime);
    });
}

// A source project with its hidden version-control store and, often, a virtual environment.
void project(TreeWriter& writer, const Dir& parent, int64_t index)
{
    Random random = Random::of("project", static_cast<uint64_t>(index));
    const int64_t mtime = anyTime(random);
    const Dir dir = writer.dir(parent, "project-" + std::to_string(index), mtime);
    {
        const Dir src = writer.dir(dir, "src", mtime);
        const int64_t files = random.between(20, 200);
        for (int64_t k = 0; k < files; ++k)
            textFile(writer, src,
                     "module_" + std::to_string(k) + std::string(random.pick(kSourceExtensions)),
                     random, 60, 600, after(random, mtime, 120));
    }
    textFile(writer, dir, "README.md", random, 100, 600, mtime);
    writer.file(dir, ".gitignore", ".venv/\n__pycache__/\n*.gguf\n", mtime);
    {
        const Dir git = writer.dir(dir, ".git", mtime);
        writer.file(git, "HEAD", "ref: refs/heads/main\n", mtime);
        writer.file(git, "config", "[core]\n\trepositoryformatversion = 0\n", mtime);
        sizedFile(writer, git, "index", random.logBetween(2'000, 400'000), random, mtime);
        const Dir refs = writer.dir(git, "refs", mtime);
        const Dir heads = writer.dir(refs, "heads", mtime);
        writer.file(heads, "main", random.hex(40) + "\n", mtime);
        const Dir objects = writer.dir(git, "objects", mtime);
        const int64_t fanout = random.between(16, 256);
        const int64_t perFolder = random.between(1, 6);
        for (int64_t f = 0; f < fanout; ++f) {
            const Dir bucket = writer.dir(objects, random.hex(2) + std::to_string(f), mtime);
            for (int64_t k = 0; k < perFolder; ++k)
                sizedFile(writer, bucket, random.hex(38), random.logBetween(60, 20'000), random,
                          mtime);
        }
    }
    if (random.percent(25)) {
        const Dir venv = writer.dir(dir, ".venv", mtime);
        writer.file(venv, "pyvenv.cfg", "home = /usr/bin\nversion = 3.11.2\n", mtime);
        const Dir lib = writer.dir(venv, "lib", mtime);
        const Dir python = writer.dir(lib, "python3.11", mtime);
        const Dir site = writer.dir(python, "site-packages", mtime);
        const int64_t packages = random.between(5, 13);
        for (int64_t p = 0; p < packages; ++p) {
            const Dir package = writer.dir(site, kSitePackages[p], mtime);
            const int64_t files = random.between(10, 150);
            for (int64_t k = 0; k < files; ++k)
                sizedFile(writer, package, "mod_" + std::to_string(k) + ".py",
                          random.logBetween(200, 80'000), random, mtime);
        }
    }
}

void documents(HomePlan& plan, int64_t mtime)
{
    plan.folder("Documents/projects", mtime);
    plan.units("Documents/projects", plan.count(40), 2, project);
    plan.folder("Documents/papers", mtime);
    plan.units("Documents/papers", plan.count(300), 300,
               [](TreeWriter& writer, const Dir& dir, int64_t i) {
                   Random random = Random::of("paper", static_cast<uint64_t>(i));
                   sizedFile(writer, dir, "paper-" + std::to_string(i) + ".pdf",
                             random.logBetween(50'000, 20'000'000), random, anyTime(random));
               });
    plan.folder("Documents/notes/.obsidian/plugins", mtime);
    plan.units("Documents/notes", plan.count(500), 500,
               [](TreeWriter& writer, const Dir& dir, int64_t i) {
                   Random random = Random::of("note", static_cast<uint64_t>(i));
                   textFile(writer, dir, "note-" + std::to_string(i) + ".md", random, 40, 600,
                            anyTime(random));
               });
    plan.job("Documents/notes/.obsidian", [mtime](TreeWriter& writer, const Dir& dir) {
        Random random = Random::of("obsidian");
        writer.file(dir, "app.json", "{}", mtime);
        writer.file(dir, "workspace.json", random.text(500), mtime);
        const Dir plugins = TreeWriter::open(dir.path() + "/plugins");
        for (int64_t k = 0; k < 20; ++k) {
            const Dir plugin = writer.dir(plugins, "plugin-" + std::to_string(k), mtime);
            textFile(writer, plugin, "main.js", random, 200, 600, mtime);
            writer.file(plugin, "manifest.json", R"({"id":"plugin"})", mtime);
        }
    });
    plan.job("Documents", [mtime](TreeWriter& writer, const Dir& dir) {
        // A loose model saved with the documents, its extension in capitals.
        modelFile(writer, dir, "My Model Q4_K_M.GGUF", 812'000'000, "my-model", mtime);
        writer.file(dir, ".directory", "[Desktop Entry]\nIcon=folder-documents\n", mtime);
    });
}

void desktop(HomePlan& plan, int64_t mtime)
{
    plan.folder("Desktop/.stash", mtime);
    plan.job("Desktop", [mtime](TreeWriter& writer, const Dir& dir) {
        Random random = Random::of("desktop");
        for (int64_t k = 0; k < 30; ++k)
            sizedFile(writer, dir,
                      "Screenshot from 2025-0" + std::to_string(1 + k % 9) + "-" +
                          std::to_string(10 + k) + ".png",
                      random.logBetween(40'000, 3'000'000), random, anyTime(random));
        modelFile(writer, dir, "sd-lora-style.safetensors", 151'108'496, "sd-lora-style", mtime);
        writer.file(dir, ".hidden", "Screenshot from 2025-01-10.png\n", mtime);
    });
    plan.job("Desktop/.stash", [mtime](TreeWriter& writer, const Dir& dir) {
        Random random = Random::of("desktop-stash");
        for (int64_t k = 0; k < 50; ++k)
            sizedFile(writer, dir, "old-" + std::to_string(k) + ".txt",
                      random.logBetween(10, 5'000), random, mtime);
        modelFile(writer, dir, "hidden-model.gguf", 67'108'864, "hidden-model", mtime);
    });
}

void pipCache(HomePlan& plan, int64_t mtime)
{
    // pip's HTTP cache fans out over five levels of one-character folders.
    plan.folder(".cache/pip/http-v2", mtime);
    plan.units(
        ".cache/pip/http-v2", plan.count(16), 1, [](TreeWriter& writer, const Dir& dir, int64_t i) {
            Random random = Random::of("pip", static_cast<uint64_t>(i));
            const int64_t mtime = anyTime(random);
            static constexpr char kHex[] = "0123456789abcdef";
            const std::string top =
                std::string(1, kHex[i % 16]) + (i >= 16 ? std::to_string(i / 16) : std::string());
            const Dir a = writer.dir(dir, top, mtime);
            for (int b = 0; b < 16; ++b) {
                const Dir db = writer.dir(a, std::string(1, kHex[b]), mtime);
                for (int c = 0; c < 4; ++c) {
                    const Dir dc = writer.dir(db, std::string(1, kHex[(b + c * 5) % 16]), mtime);
                    const Dir dd = writer.dir(dc, std::string(1, kHex[c * 3]), mtime);
                    const int64_t files = random.between(1, 8);
                    for (int64_t k = 0; k < files; ++k)
                        sizedFile(writer, dd, random.hex(56), random.logBetween(300, 3'000'000),
                                  random, mtime);
                }
            }
        });
}

void trash(HomePlan& plan, int64_t mtime)
{
    plan.folder(".local/share/Trash/files", mtime);
    plan.folder(".local/share/Trash/info", mtime);
    plan.job(".local/share/Trash", [mtime](TreeWriter& writer, const Dir& dir) {
        Random random = Random::of("trash");
        const Dir files = TreeWriter::open(dir.path() + "/files");
        const Dir info = TreeWriter::open(dir.path() + "/info");
        for (int64_t k = 0; k < 200; ++k) {
            const std::string name = "deleted-" + std::to_string(k) + ".txt";
            sizedFile(writer, files, name, random.logBetween(10, 100'000), random, mtime);
            writer.file(info, name + ".trashinfo",
                        "[Trash Info]\nPath=/home/dev/" + name +
                            "\nDeletionDate=2025-06-01T10:00:00\n",
                        mtime);
        }
        modelFile(writer, files, "old-model.gguf", 1'500'000'000, "trashed-model", mtime);
        writer.file(info, "old-model.gguf.trashinfo",
                    "[Trash Info]\nPath=/home/dev/Downloads/old-model.gguf\n"
                    "DeletionDate=2025-06-01T10:00:00\n",
                    mtime);
    });
}

} // namespace

namespace UserFolders {

void plan(HomePlan& plan)
{
    Random random = Random::of("user-folders");
    const int64_t mtime = anyTime(random);
    downloads(plan, mtime);
    documents(plan, mtime);
    desktop(plan, mtime);
    pipCache(plan, mtime);
    trash(plan, mtime);
    plan.job(".config", [mtime](TreeWriter& writer, const Dir& dir) {
        writer.file(dir, "user-dirs.dirs",
                    "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                    "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n",
                    mtime);
    });
    plan.job("", [mtime](TreeWriter& writer, const Dir& dir) {
        Random random = Random::of("home-files");
        writer.file(dir, ".bashrc", random.text(400), mtime);
        writer.file(dir, ".profile", random.text(300), mtime);
        writer.file(dir, ".bash_history", random.text(600), mtime);
    });
}

} // namespace UserFolders

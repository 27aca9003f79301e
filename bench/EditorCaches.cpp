#include "EditorCaches.h"

#include "ModelHeads.h"
#include "Random.h"

#include <string>

namespace {

using Dir = TreeWriter::Dir;
using namespace ModelHeads;

constexpr std::string_view kPublishers[] = {
    "ms-python",  "esbenp", "dbaeumer",          "github",  "ms-vscode",
    "redhat",     "golang", "rust-lang",         "eamodio", "vscodevim",
    "ms-toolsai", "bradlc", "streetsidesoftware"};
constexpr std::string_view kExtensionNames[] = {"python",
                                                "prettier-vscode",
                                                "vscode-eslint",
                                                "copilot",
                                                "cpptools",
                                                "java",
                                                "go",
                                                "rust-analyzer",
                                                "gitlens",
                                                "vim",
                                                "jupyter",
                                                "tailwindcss",
                                                "code-spell-checker"};
constexpr std::string_view kPackages[] = {"vscode-languageclient",
                                          "semver",
                                          "lodash",
                                          "minimatch",
                                          "vscode-jsonrpc",
                                          "uuid",
                                          "tslib",
                                          "yaml",
                                          "jsonc-parser",
                                          "debug",
                                          "ms",
                                          "chalk",
                                          "glob",
                                          "which",
                                          "ajv"};
constexpr std::string_view kProjects[] = {"webapp",   "api-server", "ml-pipeline",
                                          "dotfiles", "thesis",     "infra",
                                          "mobile",   "scraper",    "notebooks"};

// One installed editor extension: manifest, bundled code, often node_modules, and media.
void extension(TreeWriter& writer, const Dir& parent, std::string_view label, int64_t index)
{
    Random random = Random::of(label, static_cast<uint64_t>(index));
    const int64_t mtime = anyTime(random);
    const std::string name = std::string(random.pick(kPublishers)) + "." +
                             std::string(random.pick(kExtensionNames)) + "-" +
                             std::to_string(random.between(0, 3)) + "." + std::to_string(index) +
                             "." + std::to_string(random.between(0, 20));
    const Dir ext = writer.dir(parent, name, mtime);
    textFile(writer, ext, "package.json", random, 800, 3'000, mtime);
    textFile(writer, ext, "README.md", random, 300, 600, mtime);
    textFile(writer, ext, "CHANGELOG.md", random, 100, 600, mtime);
    writer.file(ext, "LICENSE.txt", random.text(500), mtime);
    writer.file(ext, ".vsixmanifest", random.text(400), mtime);
    {
        const Dir dist = writer.dir(ext, "dist", mtime);
        const int64_t count = random.between(1, 30);
        for (int64_t k = 0; k < count; ++k)
            sizedFile(writer, dist, "extension-" + std::to_string(k) + ".js",
                      random.logBetween(1'000, 3'000'000), random, mtime);
    }
    if (random.percent(50)) {
        const Dir modules = writer.dir(ext, "node_modules", mtime);
        const int64_t packages = random.between(3, 60);
        for (int64_t p = 0; p < packages; ++p) {
            const Dir package = writer.dir(
                modules, std::string(random.pick(kPackages)) + "-" + std::to_string(p), mtime);
            textFile(writer, package, "package.json", random, 200, 600, mtime);
            writer.file(package, "README.md", {}, mtime);
            const Dir lib = writer.dir(package, random.percent(50) ? "lib" : "dist", mtime);
            const int64_t files = random.between(2, 25);
            for (int64_t k = 0; k < files; ++k)
                sizedFile(writer, lib, "index-" + std::to_string(k) + ".js",
                          random.logBetween(100, 200'000), random, mtime);
        }
    }
    const int64_t media = random.between(0, 40);
    if (media > 0) {
        const Dir dir = writer.dir(ext, "media", mtime);
        for (int64_t k = 0; k < media; ++k)
            sizedFile(writer, dir, "icon-" + std::to_string(k) + (k % 2 ? ".png" : ".svg"),
                      random.logBetween(200, 100'000), random, mtime);
    }
}

// One Cursor workspace: its state databases and the per-extension storage, mostly the code
// index's chunks; a few workspaces hold thousands of them in one folder.
void workspace(TreeWriter& writer, const Dir& parent, int64_t index)
{
    Random random = Random::of("cursor-workspace", static_cast<uint64_t>(index));
    const int64_t mtime = anyTime(random);
    const Dir ws = writer.dir(parent, random.hex(32), mtime);
    writer.file(ws, "workspace.json",
                R"({"folder":"file:///home/dev/projects/)" + std::string(random.pick(kProjects)) +
                    "-" + std::to_string(index) + R"("})",
                mtime);
    const int64_t dbSize = random.logBetween(8'192, 40'000'000);
    sizedFile(writer, ws, "state.vscdb", dbSize, random, mtime);
    sizedFile(writer, ws, "state.vscdb.backup", dbSize, random, mtime);

    const int bucket = static_cast<int>(random.below(100));
    const int64_t chunks = bucket < 62   ? random.between(5, 40)
                           : bucket < 97 ? random.between(80, 600)
                                         : random.between(1'500, 4'000);
    {
        const Dir retrieval = writer.dir(ws, "anysphere.cursor-retrieval", mtime);
        textFile(writer, retrieval, "index.json", random, 100, 500, mtime);
        for (int64_t k = 0; k < chunks; ++k) {
            const int64_t when = after(random, mtime, 60);
            if (k % 3 == 0)
                writer.file(retrieval, "chunk-" + std::to_string(k) + ".emb", {}, when);
            else
                sizedFile(writer, retrieval, "chunk-" + std::to_string(k) + ".emb",
                          random.logBetween(200, 60'000), random, when);
        }
    }
    if (random.percent(60)) {
        const Dir git = writer.dir(ws, "vscode.git", mtime);
        textFile(writer, git, "state.json", random, 50, 300, mtime);
    }
    if (random.percent(30)) {
        const Dir images = writer.dir(ws, "images", mtime);
        const int64_t count = random.between(1, chunks / 5 + 1);
        for (int64_t k = 0; k < count; ++k)
            sizedFile(writer, images, "image-" + random.uuid() + ".png",
                      random.logBetween(5'000, 2'000'000), random, mtime);
    }
}

// A folder of `count` cache entries with hexadecimal names.
void hexFiles(TreeWriter& writer, const Dir& dir, Random& random, int64_t count,
              std::string_view suffix, int64_t maxSize)
{
    for (int64_t k = 0; k < count; ++k) {
        const std::string name = random.hex(16) + std::string(suffix);
        if (random.percent(20))
            writer.file(dir, name, {}, anyTime(random));
        else
            sizedFile(writer, dir, name, random.logBetween(64, maxSize), random, anyTime(random));
    }
}

void cursorApp(HomePlan& plan, int64_t mtime)
{
    plan.folder(".config/Cursor/CachedData", mtime);
    plan.folder(".config/Cursor/Cache/Cache_Data", mtime);
    plan.folder(".config/Cursor/Code Cache/js", mtime);
    plan.folder(".config/Cursor/User/History", mtime);
    plan.folder(".config/Cursor/User/globalStorage", mtime);
    plan.folder(".config/Cursor/logs", mtime);
    plan.units(".config/Cursor/CachedData", plan.count(3), 1,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("cursor-cached-data", static_cast<uint64_t>(i));
                   const int64_t mtime = anyTime(random);
                   const Dir commit = writer.dir(parent, random.hex(40), mtime);
                   const Dir chrome = writer.dir(commit, "chrome", mtime);
                   const Dir js = writer.dir(chrome, "js", mtime);
                   hexFiles(writer, js, random, 700, ".code", 2'000'000);
               });
    plan.units(".config/Cursor/Cache/Cache_Data", plan.count(4'000), 1'000,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("cursor-cache", static_cast<uint64_t>(i));
                   hexFiles(writer, parent, random, 1, "_0", 500'000);
               });
    plan.units(".config/Cursor/Code Cache/js", plan.count(2'500), 1'000,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("cursor-code-cache", static_cast<uint64_t>(i));
                   hexFiles(writer, parent, random, 1, "_0", 300'000);
               });
    plan.units(".config/Cursor/User/History", plan.count(800), 200,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("cursor-history", static_cast<uint64_t>(i));
                   const int64_t mtime = anyTime(random);
                   const Dir dir = writer.dir(parent, random.hex(8), mtime);
                   textFile(writer, dir, "entries.json", random, 100, 600, mtime);
                   const int64_t count = random.between(1, 12);
                   for (int64_t k = 0; k < count; ++k)
                       textFile(writer, dir, random.hex(4) + "-" + std::to_string(k) + ".ts",
                                random, 50, 600, after(random, mtime, 20));
               });
    plan.units(".config/Cursor/logs", plan.count(30), 30,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("cursor-logs", static_cast<uint64_t>(i));
                   const int64_t mtime = anyTime(random);
                   const Dir dir = writer.dir(parent, "session-" + std::to_string(i), mtime);
                   const Dir window = writer.dir(dir, "window1", mtime);
                   for (std::string_view log : {"renderer.log", "exthost.log", "network.log",
                                                "ptyhost.log", "cursor-retrieval.log"})
                       textFile(writer, window, log, random, 100, 600, mtime);
               });
    plan.job(".config/Cursor/User/globalStorage", [mtime](TreeWriter& writer, const Dir& dir) {
        Random random = Random::of("cursor-global");
        sizedFile(writer, dir, "state.vscdb", 12'500'000, random, mtime);
        writer.file(dir, "storage.json", random.text(500), mtime);
    });
    plan.job(".config/Cursor/User", [mtime](TreeWriter& writer, const Dir& dir) {
        writer.file(dir, "settings.json", R"({"editor.fontSize":14,"cursor.cpp.enabled":true})",
                    mtime);
        writer.file(dir, "keybindings.json", "[]", mtime);
    });
}

} // namespace

namespace EditorCaches {

void plan(HomePlan& plan)
{
    Random random = Random::of("editor-caches");
    const int64_t mtime = anyTime(random);

    plan.folder(".config/Cursor/User/workspaceStorage", mtime);
    plan.units(".config/Cursor/User/workspaceStorage", plan.count(650), 20, workspace);
    cursorApp(plan, mtime);

    plan.folder(".cursor/chat", mtime);
    plan.units(".cursor/chat", plan.count(2'500), 100,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("cursor-chat", static_cast<uint64_t>(i));
                   const int64_t mtime = anyTime(random);
                   const Dir chat = writer.dir(parent, random.uuid(), mtime);
                   textFile(writer, chat, "meta.json", random, 80, 300, mtime);
                   const int64_t messages = random.between(1, 40);
                   for (int64_t k = 0; k < messages; ++k)
                       textFile(writer, chat, "message-" + std::to_string(k) + ".json", random, 100,
                                600, after(random, mtime, 3));
               });
    plan.folder(".cursor/extensions", mtime);
    plan.units(".cursor/extensions", plan.count(60), 5,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   extension(writer, parent, "cursor-extension", i);
               });
    plan.job(".cursor", [mtime](TreeWriter& writer, const Dir& dir) {
        writer.file(dir, "argv.json", R"({"enable-crash-reporter":false})", mtime);
    });

    plan.folder(".vscode/extensions", mtime);
    plan.units(".vscode/extensions", plan.count(150), 5,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   extension(writer, parent, "vscode-extension", i);
               });
    plan.job(".vscode/extensions", [mtime](TreeWriter& writer, const Dir& dir) {
        writer.file(dir, "extensions.json", Random::of("vscode-extensions").text(2'000), mtime);
    });

    plan.folder(".claude/projects", mtime);
    plan.units(".claude/projects", plan.count(40), 10,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("claude-project", static_cast<uint64_t>(i));
                   const int64_t mtime = anyTime(random);
                   const Dir project =
                       writer.dir(parent,
                                  "-home-dev-projects-" + std::string(random.pick(kProjects)) +
                                      "-" + std::to_string(i),
                                  mtime);
                   const int64_t sessions = random.between(3, 60);
                   for (int64_t k = 0; k < sessions; ++k)
                       sizedFile(writer, project, random.uuid() + ".jsonl",
                                 random.logBetween(2'000, 5'000'000), random,
                                 after(random, mtime, 90));
               });
    plan.folder(".claude/todos", mtime);
    plan.units(".claude/todos", plan.count(400), 400,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("claude-todo", static_cast<uint64_t>(i));
                   const std::string id = random.uuid();
                   writer.file(parent, id + "-agent-" + id + ".json", "[]", anyTime(random));
               });

    plan.folder(".continue/sessions", mtime);
    plan.folder(".continue/index/lancedb", mtime);
    plan.units(".continue/sessions", plan.count(150), 150,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("continue-session", static_cast<uint64_t>(i));
                   textFile(writer, parent, random.uuid() + ".json", random, 200, 600,
                            anyTime(random));
               });
    plan.units(".continue/index/lancedb", plan.count(300), 300,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("continue-index", static_cast<uint64_t>(i));
                   sizedFile(writer, parent, random.uuid() + ".lance",
                             random.logBetween(1'000, 4'000'000), random, anyTime(random));
               });
    plan.job(".continue", [mtime](TreeWriter& writer, const Dir& dir) {
        writer.file(dir, "config.json", R"({"models":[{"provider":"ollama","model":"llama3.1"}]})",
                    mtime);
    });

    plan.folder(".codeium/windsurf/database", mtime);
    plan.units(".codeium/windsurf/database", plan.count(300), 300,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("codeium", static_cast<uint64_t>(i));
                   sizedFile(writer, parent, random.hex(24) + ".db",
                             random.logBetween(4'096, 2'000'000), random, anyTime(random));
               });

    plan.folder(".config/github-copilot", mtime);
    plan.job(".config/github-copilot", [mtime](TreeWriter& writer, const Dir& dir) {
        Random random = Random::of("copilot");
        writer.file(dir, "apps.json", R"({"github.com:Iv1.b507a08c87ecfe98":{"user":"dev"}})",
                    mtime);
        writer.file(dir, "versions.json", R"({"copilot-vscode":"1.250.0"})", mtime);
        textFile(writer, dir, "hosts.json", random, 100, 200, mtime);
    });
}

} // namespace EditorCaches

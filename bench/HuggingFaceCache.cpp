#include "HuggingFaceCache.h"

#include "ModelHeads.h"
#include "Random.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace {

using Dir = TreeWriter::Dir;
using namespace ModelHeads;

constexpr const char* kHub = ".cache/huggingface/hub";

constexpr std::string_view kOrgs[] = {"meta-llama",    "mistralai",   "google",
                                      "microsoft",     "Qwen",        "sentence-transformers",
                                      "BAAI",          "openai",      "TheBloke",
                                      "bartowski",     "unsloth",     "nomic-ai",
                                      "intfloat",      "facebook",    "EleutherAI",
                                      "HuggingFaceTB", "deepseek-ai", "stabilityai"};
constexpr std::string_view kBases[] = {"Llama-3.2-1B",
                                       "Mistral-7B-Instruct",
                                       "gemma-2-2b-it",
                                       "phi-2",
                                       "Qwen2.5-0.5B",
                                       "all-mpnet-base-v2",
                                       "bge-small-en-v1.5",
                                       "whisper-small",
                                       "sd-turbo",
                                       "TinyLlama-1.1B-Chat",
                                       "SmolLM2-360M",
                                       "e5-base-v2",
                                       "deepseek-coder-1.3b",
                                       "opt-125m",
                                       "bert-base-uncased",
                                       "pythia-160m",
                                       "clip-vit-base-patch32",
                                       "t5-small",
                                       "roberta-base",
                                       "distilgpt2"};
constexpr std::string_view kSmallFiles[] = {"config.json",
                                            "tokenizer.json",
                                            "tokenizer_config.json",
                                            "special_tokens_map.json",
                                            "generation_config.json",
                                            "README.md",
                                            ".gitattributes",
                                            "vocab.txt",
                                            "merges.txt",
                                            "preprocessor_config.json"};
constexpr std::string_view kFolders[] = {
    "onnx",      "openvino",  "tokenizer", "text_encoder",   "unet",   "vae",
    "scheduler", "1_Pooling", "runs",      "checkpoint-500", "coreml", "flax"};
constexpr std::string_view kStems[] = {"model", "weights", "events",    "layer",
                                       "shard", "part",    "optimizer", "trainer_state"};
constexpr std::string_view kExtensions[] = {".json", ".txt",         ".onnx",    ".bin",
                                            ".md",   ".safetensors", ".msgpack", ".pb"};

struct RepoFile
{
    std::string folder; // empty, or one folder inside the snapshot
    std::string name;
    std::string blob;
    int64_t size = 0;
    bool weight = false;   // header and hole rather than text
    bool fullHead = false; // a 64 KiB real head
    int64_t mtime = 0;
};

struct Repo
{
    std::string dirName;
    int64_t mtime = 0;
    std::vector<std::string> revisions;       // oldest first
    std::vector<std::vector<RepoFile>> trees; // one per revision
};

struct BigFile
{
    std::string_view path;
    int64_t size;
};

constexpr BigFile kLlama[] = {{"model-00001-of-00004.safetensors", 4'976'698'672},
                              {"model-00002-of-00004.safetensors", 4'999'802'720},
                              {"model-00003-of-00004.safetensors", 4'915'916'176},
                              {"model-00004-of-00004.safetensors", 1'168'138'808},
                              {"model.safetensors.index.json", 23'950}};
constexpr BigFile kSdxl[] = {{"unet/diffusion_pytorch_model.safetensors", 10'270'077'736},
                             {"text_encoder/model.safetensors", 492'265'168},
                             {"vae/diffusion_pytorch_model.safetensors", 334'643'268},
                             {"model_index.json", 609}};
constexpr BigFile kWhisper[] = {{"model.safetensors", 3'087'130'976},
                                {"tokenizer.json", 2'480'466}};
constexpr BigFile kMiniLm[] = {{"model.safetensors", 90'868'376},
                               {"onnx/model.onnx", 90'405'214},
                               {"1_Pooling/config.json", 190}};
constexpr BigFile kQwen[] = {{"model-00001-of-00002.safetensors", 3'968'658'944},
                             {"model-00002-of-00002.safetensors", 2'203'268'048}};

struct BigRepo
{
    std::string_view dirName;
    std::span<const BigFile> files;
};

const BigRepo kBigRepos[] = {{"models--meta-llama--Llama-3.1-8B-Instruct", kLlama},
                             {"models--stabilityai--stable-diffusion-xl-base-1.0", kSdxl},
                             {"models--openai--whisper-large-v3", kWhisper},
                             {"models--sentence-transformers--all-MiniLM-L6-v2", kMiniLm},
                             {"models--Qwen--Qwen2.5-3B-Instruct", kQwen}};

bool isWeight(std::string_view name)
{
    for (std::string_view ext : {".onnx", ".bin", ".safetensors", ".msgpack", ".pb"}) {
        if (name.size() > ext.size() && name.substr(name.size() - ext.size()) == ext)
            return true;
    }
    return false;
}

RepoFile makeFile(Random& random, std::string folder, std::string name, int64_t repoTime)
{
    RepoFile file;
    file.weight = isWeight(name);
    file.blob = random.hex(file.weight ? 64 : 40);
    file.size = file.weight ? random.logBetween(1'000, 2'000'000) : random.between(40, 600);
    file.folder = std::move(folder);
    file.name = std::move(name);
    file.mtime = after(random, repoTime, 30);
    return file;
}

Repo describe(int64_t index)
{
    Random random = Random::of("hf-repo", static_cast<uint64_t>(index));
    Repo repo;
    const bool dataset = random.percent(5);
    repo.dirName = std::string(dataset ? "datasets--" : "models--") +
                   std::string(random.pick(kOrgs)) + "--" + std::string(random.pick(kBases)) + "-" +
                   std::to_string(index);
    repo.mtime = anyTime(random);
    const int64_t fileCount = random.percent(70) ? random.between(6, 60) : random.between(60, 700);

    std::vector<RepoFile> files;
    const int64_t small = random.between(4, 8);
    const size_t start = random.below(std::size(kSmallFiles));
    for (int64_t i = 0; i < small; ++i) {
        const auto name = kSmallFiles[(start + static_cast<size_t>(i)) % std::size(kSmallFiles)];
        files.push_back(makeFile(random, {}, std::string(name), repo.mtime));
    }
    RepoFile weights =
        makeFile(random, dataset ? "data" : "",
                 dataset ? "train-00000-of-00001.parquet" : "model.safetensors", repo.mtime);
    weights.weight = true;
    weights.blob = random.hex(64);
    weights.size = random.logBetween(100'000, 200'000'000);
    files.push_back(std::move(weights));

    // The rest spread over up to three folders of the snapshot (or its top).
    const int64_t folderCount = random.between(0, 3);
    std::vector<std::string> folders{std::string()};
    const size_t first = random.below(std::size(kFolders));
    for (int64_t i = 0; i < folderCount; ++i)
        folders.emplace_back(kFolders[(first + static_cast<size_t>(i)) % std::size(kFolders)]);
    if (dataset)
        folders.emplace_back("data");
    for (int64_t k = static_cast<int64_t>(files.size()); k < fileCount; ++k) {
        std::string folder = folders[random.below(folders.size())];
        std::string name = std::string(random.pick(kStems)) + "-" + std::to_string(k) +
                           std::string(random.pick(kExtensions));
        files.push_back(makeFile(random, std::move(folder), std::move(name), repo.mtime));
    }

    // Some repositories hold an older revision too, differing in a few files.
    if (random.percent(15)) {
        std::vector<RepoFile> older = files;
        const int64_t changed = random.between(1, 3);
        for (int64_t i = 0; i < changed; ++i) {
            RepoFile& file = older[random.below(older.size())];
            file.blob = random.hex(file.weight ? 64 : 40);
            file.mtime = repo.mtime;
        }
        repo.revisions.push_back(random.hex(40));
        repo.trees.push_back(std::move(older));
    }
    repo.revisions.push_back(random.hex(40));
    repo.trees.push_back(std::move(files));
    return repo;
}

Repo describeBig(const BigRepo& big, int64_t index)
{
    Random random = Random::of("hf-big-repo", static_cast<uint64_t>(index));
    Repo repo;
    repo.dirName = std::string(big.dirName);
    repo.mtime = anyTime(random);
    std::vector<RepoFile> files;
    for (const BigFile& bigFile : big.files) {
        const std::string path(bigFile.path);
        const size_t slash = path.find('/');
        RepoFile file =
            makeFile(random, slash == std::string::npos ? "" : path.substr(0, slash),
                     path.substr(slash == std::string::npos ? 0 : slash + 1), repo.mtime);
        file.weight = isWeight(file.name);
        file.fullHead = file.weight;
        file.blob = random.hex(file.weight ? 64 : 40);
        file.size = bigFile.size;
        files.push_back(std::move(file));
    }
    for (const std::string_view name : {"config.json", "README.md", ".gitattributes"})
        files.push_back(makeFile(random, {}, std::string(name), repo.mtime));
    repo.revisions.push_back(random.hex(40));
    repo.trees.push_back(std::move(files));
    return repo;
}

void writeBlob(TreeWriter& writer, const Dir& blobs, const RepoFile& file, Random& random)
{
    if (file.fullHead)
        modelFile(writer, blobs, file.blob, file.size, file.blob, file.mtime);
    else if (file.weight)
        sizedFile(writer, blobs, file.blob, file.size, random, file.mtime);
    else
        writer.file(blobs, file.blob, random.text(static_cast<size_t>(file.size)), file.mtime);
}

void writeSnapshot(TreeWriter& writer, const Dir& snapshots, const std::string& revision,
                   const std::vector<RepoFile>& files, int64_t mtime)
{
    const Dir snapshot = writer.dir(snapshots, revision, mtime);
    // Files at the top first, then each folder in the order it first appears.
    std::vector<std::string> folders;
    for (const RepoFile& file : files) {
        if (file.folder.empty())
            writer.symlink(snapshot, file.name, "../../blobs/" + file.blob, file.mtime);
        else if (std::find(folders.begin(), folders.end(), file.folder) == folders.end())
            folders.push_back(file.folder);
    }
    for (const std::string& folder : folders) {
        const Dir sub = writer.dir(snapshot, folder, mtime);
        for (const RepoFile& file : files) {
            if (file.folder == folder)
                writer.symlink(sub, file.name, "../../../blobs/" + file.blob, file.mtime);
        }
    }
}

void writeRepo(TreeWriter& writer, const Dir& hub, const Repo& repo, uint64_t seed)
{
    Random random(seed);
    const Dir dir = writer.dir(hub, repo.dirName, repo.mtime);
    {
        const Dir blobs = writer.dir(dir, "blobs", repo.mtime);
        std::vector<const std::string*> written;
        for (const auto& tree : repo.trees) {
            for (const RepoFile& file : tree) {
                const bool seen =
                    std::any_of(written.begin(), written.end(),
                                [&](const std::string* b) { return *b == file.blob; });
                if (seen)
                    continue;
                written.push_back(&file.blob);
                writeBlob(writer, blobs, file, random);
            }
        }
    }
    {
        const Dir snapshots = writer.dir(dir, "snapshots", repo.mtime);
        for (size_t r = 0; r < repo.revisions.size(); ++r)
            writeSnapshot(writer, snapshots, repo.revisions[r], repo.trees[r], repo.mtime);
    }
    {
        const Dir refs = writer.dir(dir, "refs", repo.mtime);
        writer.file(refs, "main", repo.revisions.back(), repo.mtime);
    }
    if (random.percent(20)) {
        // Files the hub libraries looked for and did not find.
        const Dir noExist = writer.dir(dir, ".no_exist", repo.mtime);
        const Dir revision = writer.dir(noExist, repo.revisions.back(), repo.mtime);
        for (const std::string_view name :
             {"adapter_config.json", "model.safetensors.index.json", "added_tokens.json"})
            writer.file(revision, name, {}, repo.mtime);
    }
    if (random.percent(30)) {
        const Dir locks = TreeWriter::open(hub.path() + "/.locks");
        const Dir repoLocks = writer.dir(locks, repo.dirName, repo.mtime);
        const auto& files = repo.trees.back();
        for (size_t i = 0; i < files.size() && i < 5; ++i)
            writer.file(repoLocks, files[i].blob + ".lock", {}, repo.mtime);
    }
}

} // namespace

namespace HuggingFaceCache {

void plan(HomePlan& plan)
{
    Random random = Random::of("hf-cache");
    const int64_t mtime = anyTime(random);
    plan.folder(kHub, mtime);
    plan.folder(std::string(kHub) + "/.locks", mtime);
    plan.job(".cache/huggingface", [mtime](TreeWriter& writer, const Dir& dir) {
        writer.file(dir, "token", "hf_" + Random::of("hf-token").hex(34), mtime);
        const Dir hub = TreeWriter::open(dir.path() + "/hub");
        writer.file(hub, "version.txt", "1", mtime);
    });
    for (size_t i = 0; i < std::size(kBigRepos); ++i) {
        plan.job(kHub, [i](TreeWriter& writer, const Dir& hub) {
            writeRepo(writer, hub, describeBig(kBigRepos[i], static_cast<int64_t>(i)),
                      Random::of("hf-big-write", i).next());
        });
    }
    plan.units(kHub, plan.count(1'650), 20, [](TreeWriter& writer, const Dir& hub, int64_t i) {
        writeRepo(writer, hub, describe(i),
                  Random::of("hf-write", static_cast<uint64_t>(i)).next());
    });
}

} // namespace HuggingFaceCache

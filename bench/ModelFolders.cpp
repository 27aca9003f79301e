#include "ModelFolders.h"

#include "ModelHeads.h"
#include "Random.h"

#include <string>

namespace {

using Dir = TreeWriter::Dir;
using namespace ModelHeads;

constexpr const char* kArchive = "Models-archive";

constexpr std::string_view kDatasets[] = {"coco-subset", "faces", "receipts",  "street-signs",
                                          "xrays",       "birds", "documents", "sketches"};
constexpr std::string_view kCheckpointFiles[] = {"config.json",
                                                 "optimizer.pt",
                                                 "scheduler.pt",
                                                 "rng_state.pth",
                                                 "trainer_state.json",
                                                 "training_args.bin",
                                                 "adapter_model.safetensors",
                                                 "adapter_config.json"};

void archive(HomePlan& plan, int64_t mtime)
{
    const std::string root = kArchive;
    plan.folder(root + "/datasets", mtime);
    plan.units(
        root + "/datasets", plan.count(50), 2,
        [](TreeWriter& writer, const Dir& parent, int64_t i) {
            Random random = Random::of("archive-dataset", static_cast<uint64_t>(i));
            const int64_t mtime = anyTime(random);
            const Dir set = writer.dir(
                parent, std::string(random.pick(kDatasets)) + "-" + std::to_string(i), mtime);
            textFile(writer, set, "README.md", random, 100, 600, mtime);
            for (std::string_view split : {"train", "val"}) {
                const Dir dir = writer.dir(set, split, mtime);
                const int64_t images =
                    split == "train" ? random.between(400, 2'400) : random.between(50, 300);
                for (int64_t k = 0; k < images; ++k) {
                    char name[32];
                    std::snprintf(name, sizeof name, "%012lld.jpg",
                                  static_cast<long long>(k * 7 + i));
                    sizedFile(writer, dir, name, random.logBetween(8'000, 400'000), random, mtime);
                }
            }
        });
    plan.folder(root + "/checkpoints", mtime);
    plan.units(root + "/checkpoints", plan.count(100), 10,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("archive-run", static_cast<uint64_t>(i));
                   const int64_t mtime = anyTime(random);
                   const Dir run = writer.dir(parent, "run-" + std::to_string(i), mtime);
                   const int64_t steps = random.between(5, 30);
                   for (int64_t s = 1; s <= steps; ++s) {
                       const Dir step =
                           writer.dir(run, "checkpoint-" + std::to_string(s * 500), mtime);
                       for (std::string_view file : kCheckpointFiles)
                           sizedFile(writer, step, file, random.logBetween(200, 8'000'000), random,
                                     after(random, mtime, 10));
                   }
               });
    plan.folder(root + "/embeddings", mtime);
    plan.units(root + "/embeddings", plan.count(40), 1,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("archive-embeddings", static_cast<uint64_t>(i));
                   const int64_t mtime = anyTime(random);
                   const Dir shard = writer.dir(parent, "shard-" + std::to_string(i), mtime);
                   for (int64_t k = 0; k < 1'000; ++k) {
                       if (k % 2 == 0)
                           writer.file(shard, "vec-" + std::to_string(k) + ".npy", {}, mtime);
                       else
                           sizedFile(writer, shard, "vec-" + std::to_string(k) + ".npy", 6'272,
                                     random, mtime);
                   }
               });
    plan.folder(root + "/.thumbnails", mtime);
    plan.units(root + "/.thumbnails", plan.count(2'000), 1'000,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("archive-thumbnail", static_cast<uint64_t>(i));
                   sizedFile(writer, parent, random.hex(32) + ".png",
                             random.logBetween(1'000, 30'000), random, anyTime(random));
               });
    plan.folder(root + "/gguf", mtime);
    plan.job(root + "/gguf", [mtime](TreeWriter& writer, const Dir& dir) {
        constexpr int64_t kMistral = 4'368'439'584;
        // The identical twin of the file in Downloads, and a file with the same size and head
        // that differs further in.
        modelFile(writer, dir, "mistral-7b-instruct-v0.2.Q4_K_M.gguf", kMistral,
                  "mistral-7b-instruct-v0.2.Q4_K_M", mtime);
        modelFile(writer, dir, "mistral-7b-instruct-v0.2.Q4_K_M-finetuned.gguf", kMistral,
                  "mistral-7b-instruct-v0.2.Q4_K_M", mtime, kMistral / 2);
        modelFile(writer, dir, "Meta-Llama-3-70B-Instruct.IQ2_XS.gguf", 19'999'997'952,
                  "llama-3-70b-iq2", mtime);
        modelFile(writer, dir, "tinyllama-1.1b-chat-v1.0.Q2_K.gguf", 482'148'096, "tinyllama-q2",
                  mtime);
    });
    plan.job(root, [mtime](TreeWriter& writer, const Dir& dir) {
        modelFile(writer, dir, "sdxl_base_1.0.safetensors", 6'938'078'334, "sdxl-base", mtime);
        modelFile(writer, dir, "bge-m3.onnx", 62'914'560, "bge-m3-onnx", mtime);
        writer.file(dir, "NOTES.txt", "Old models kept for reference.\n", mtime);
    });
}

void stores(HomePlan& plan, int64_t mtime)
{
    plan.folder(".lmstudio/models/lmstudio-community/Meta-Llama-3-8B-Instruct-GGUF", mtime);
    plan.folder(".lmstudio/models/bartowski/Qwen2.5-7B-Instruct-GGUF", mtime);
    plan.job(".lmstudio/models", [mtime](TreeWriter& writer, const Dir& dir) {
        const Dir llama =
            TreeWriter::open(dir.path() + "/lmstudio-community/Meta-Llama-3-8B-Instruct-GGUF");
        modelFile(writer, llama, "Meta-Llama-3-8B-Instruct-Q4_K_M.gguf", 4'920'734'016,
                  "lmstudio-llama3-8b", mtime);
        const Dir qwen = TreeWriter::open(dir.path() + "/bartowski/Qwen2.5-7B-Instruct-GGUF");
        modelFile(writer, qwen, "Qwen2.5-7B-Instruct-Q5_K_M.gguf", 5'444'831'360,
                  "lmstudio-qwen-7b", mtime);
        writer.file(qwen, "README.md", "Quantised with llama.cpp.\n", mtime);
    });

    plan.folder("comfy/ComfyUI/models/checkpoints", mtime);
    plan.folder("comfy/ComfyUI/models/loras", mtime);
    plan.folder("comfy/ComfyUI/models/vae", mtime);
    plan.folder("comfy/ComfyUI/custom_nodes", mtime);
    plan.job("comfy/ComfyUI/models", [mtime](TreeWriter& writer, const Dir& dir) {
        const Dir checkpoints = TreeWriter::open(dir.path() + "/checkpoints");
        modelFile(writer, checkpoints, "v1-5-pruned-emaonly.safetensors", 4'265'380'512,
                  "comfy-sd15", mtime);
        const Dir loras = TreeWriter::open(dir.path() + "/loras");
        modelFile(writer, loras, "add-detail-xl.safetensors", 228'455'000, "comfy-lora", mtime);
        const Dir vae = TreeWriter::open(dir.path() + "/vae");
        modelFile(writer, vae, "sdxl_vae.safetensors", 334'641'164, "comfy-vae", mtime);
    });
    plan.units("comfy/ComfyUI/custom_nodes", plan.count(25), 25,
               [](TreeWriter& writer, const Dir& parent, int64_t i) {
                   Random random = Random::of("comfy-node", static_cast<uint64_t>(i));
                   const int64_t mtime = anyTime(random);
                   const Dir node = writer.dir(parent, "node-pack-" + std::to_string(i), mtime);
                   const int64_t files = random.between(10, 150);
                   for (int64_t k = 0; k < files; ++k)
                       textFile(writer, node, "nodes_" + std::to_string(k) + ".py", random, 100,
                                600, mtime);
               });

    plan.folder(".cache/whisper", mtime);
    plan.job(".cache/whisper", [mtime](TreeWriter& writer, const Dir& dir) {
        modelFile(writer, dir, "base.pt", 145'262'807, "whisper-base", mtime);
        modelFile(writer, dir, "large-v3.pt", 3'087'371'615, "whisper-large-v3", mtime);
    });
}

} // namespace

namespace ModelFolders {

void plan(HomePlan& plan)
{
    Random random = Random::of("model-folders");
    const int64_t mtime = anyTime(random);
    archive(plan, mtime);
    stores(plan, mtime);
}

} // namespace ModelFolders

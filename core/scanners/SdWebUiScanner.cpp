#include "scanners/SdWebUiScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/ModelFileRules.h"
#include "scanners/StoreEntries.h"

#include <array>

namespace {

constexpr std::array<const char16_t*, 4> kInstalls{
    u"stable-diffusion-webui", u"stable-diffusion-webui-forge", u"sd-webui-forge",
    u"stable-diffusion-webui-reForge"};

struct Kind
{
    const char16_t* folder;
    const char16_t* label;
};

constexpr std::array<Kind, 15> kKinds{{
    {u"Stable-diffusion", u"Stable Diffusion checkpoint"},
    {u"VAE", u"VAE model"},
    {u"VAE-approx", u"VAE model"},
    {u"Lora", u"LoRA adapter"},
    {u"LyCORIS", u"LyCORIS adapter"},
    {u"hypernetworks", u"Hypernetwork"},
    {u"ControlNet", u"ControlNet model"},
    {u"ESRGAN", u"Upscale model"},
    {u"RealESRGAN", u"Upscale model"},
    {u"SwinIR", u"Upscale model"},
    {u"LDSR", u"Upscale model"},
    {u"ScuNET", u"Upscale model"},
    {u"DAT", u"Upscale model"},
    {u"text_encoder", u"Text encoder"},
    {u"embeddings", u"Textual inversion embedding"},
}};

// The label of a models folder; a folder the table does not know is named as it is.
QString kindOf(const QString& folderName)
{
    for (const Kind& kind : kKinds) {
        if (folderName == QStringView(kind.folder))
            return QString::fromUtf16(kind.label);
    }
    return folderName;
}

bool isModelFile(const WalkedFile& file)
{
    return file.size >= StoreEntries::kMinimumModelSize && !ModelFileRules::isHidden(file.name) &&
           ModelFileRules::hasExtension(file.name,
                                        {".safetensors", ".ckpt", ".pt", ".pth", ".bin", ".gguf"});
}

void addFolder(const QString& folder, const QString& detail, QList<ModelEntry>& models)
{
    for (const FileInfo& file : FS::files(folder, false, std::nullopt, isModelFile)) {
        const QString name = file.fileName();
        models.push_back(StoreEntries::fileEntry(
            ModelSource::sdWebUi, QStringLiteral("sdwebui-") + StoreEntries::fileIdPart(name), name,
            file, detail));
    }
}

} // namespace

namespace SdWebUiScanner {

QStringList installs()
{
    QStringList candidates;
    for (const char16_t* install : kInstalls)
        candidates.push_back(AppPaths::home() + u'/' + QString::fromUtf16(install));
    for (const QString& comfy : ComfyUIScanner::roots())
        candidates += ComfyUIScanner::extraModelPaths(
            comfy + QStringLiteral("/extra_model_paths.yaml"), u"a111");
    return StoreEntries::existingFolders(candidates);
}

SourceScan scan()
{
    SourceScan result;
    for (const QString& install : installs()) {
        for (const QString& folder : FS::subdirectories(install + QStringLiteral("/models"))) {
            const QString name = ModelFileRules::fileName(folder);
            if (!name.startsWith(u'.'))
                addFolder(folder, kindOf(name), result.models);
        }
        addFolder(install + QStringLiteral("/embeddings"), kindOf(QStringLiteral("embeddings")),
                  result.models);
    }
    return result;
}

} // namespace SdWebUiScanner

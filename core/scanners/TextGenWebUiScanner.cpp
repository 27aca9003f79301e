#include "scanners/TextGenWebUiScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "scanners/ModelFileRules.h"
#include "scanners/StoreEntries.h"

namespace {

bool isModelFile(const WalkedFile& file)
{
    return !ModelFileRules::isHidden(file.name) &&
           ModelFileRules::hasExtension(
               file.name, {".gguf", ".safetensors", ".bin", ".pt", ".pth", ".ggml", ".ckpt"});
}

QString idPart(QString name)
{
    name.replace(u' ', u'_');
    return name.toLower();
}

} // namespace

namespace TextGenWebUiScanner {

QStringList folders()
{
    const QString root = AppPaths::home() + QStringLiteral("/text-generation-webui");
    return StoreEntries::existingFolders(
        {root + QStringLiteral("/user_data/models"), root + QStringLiteral("/user_data/loras"),
         root + QStringLiteral("/models"), root + QStringLiteral("/loras")});
}

SourceScan scan()
{
    SourceScan result;
    for (const QString& folder : folders()) {
        const bool loras = folder.endsWith(QStringLiteral("/loras"));
        const std::optional<QString> detail =
            loras ? std::optional(QStringLiteral("LoRA adapter")) : std::nullopt;
        const QString prefix = QStringLiteral("textgenwebui-");
        for (const FileInfo& file : FS::files(folder, false, DepthRange{1, 1}, isModelFile)) {
            const QString name = file.fileName();
            result.models.push_back(StoreEntries::fileEntry(ModelSource::textGenWebUi,
                                                            prefix + StoreEntries::fileIdPart(name),
                                                            name, file, detail));
        }
        for (const QString& model : FS::subdirectories(folder)) {
            const QString name = ModelFileRules::fileName(model);
            if (name.startsWith(u'.'))
                continue;
            if (auto entry = StoreEntries::folderEntry(ModelSource::textGenWebUi,
                                                       prefix + idPart(name), name, model, detail))
                result.models.push_back(std::move(*entry));
        }
    }
    return result;
}

} // namespace TextGenWebUiScanner

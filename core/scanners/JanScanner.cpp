#include "scanners/JanScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "scanners/ModelFileRules.h"
#include "scanners/StoreEntries.h"

namespace {

bool isModelFile(const WalkedFile& file)
{
    return !ModelFileRules::isHidden(file.name) &&
           ModelFileRules::hasExtension(file.name, {".gguf", ".safetensors", ".bin", ".onnx"});
}

bool holdsModelFile(const QString& folder)
{
    return FS::totals(folder, false, DepthRange{1, 1}, isModelFile).files > 0;
}

QStringList visibleFolders(const QString& folder)
{
    QStringList kept;
    for (const QString& sub : FS::subdirectories(folder)) {
        if (!ModelFileRules::fileName(sub).startsWith(u'.'))
            kept.push_back(sub);
    }
    return kept;
}

void addModel(const QString& folder, const QString& name, QList<ModelEntry>& models)
{
    QString id = name;
    id.replace(u'/', QStringLiteral("--"));
    if (auto entry =
            StoreEntries::folderEntry(ModelSource::jan, QStringLiteral("jan-") + id, name, folder))
        models.push_back(std::move(*entry));
}

} // namespace

namespace JanScanner {

QStringList dataDirs()
{
    return StoreEntries::existingFolders({AppPaths::xdgDataHome() + QStringLiteral("/Jan/data"),
                                          AppPaths::xdgConfigHome() + QStringLiteral("/Jan/data"),
                                          AppPaths::home() + QStringLiteral("/jan")});
}

SourceScan scan()
{
    SourceScan result;
    for (const QString& data : dataDirs()) {
        for (const QString& org : visibleFolders(data + QStringLiteral("/llamacpp/models"))) {
            const QString orgName = ModelFileRules::fileName(org);
            if (holdsModelFile(org)) {
                addModel(org, orgName, result.models);
                continue;
            }
            for (const QString& repo : visibleFolders(org)) {
                if (holdsModelFile(repo))
                    addModel(repo, orgName + u'/' + ModelFileRules::fileName(repo), result.models);
            }
        }
        for (const QString& model : visibleFolders(data + QStringLiteral("/models"))) {
            if (holdsModelFile(model))
                addModel(model, ModelFileRules::fileName(model), result.models);
        }
        if (auto engines =
                StoreEntries::folderEntry(ModelSource::jan, QStringLiteral("jan-backends"),
                                          QStringLiteral("Jan inference engines"),
                                          data + QStringLiteral("/llamacpp/backends"),
                                          QStringLiteral("Downloaded again by Jan when needed")))
            result.models.push_back(std::move(*engines));
    }
    return result;
}

} // namespace JanScanner

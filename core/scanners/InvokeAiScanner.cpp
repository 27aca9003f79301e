#include "scanners/InvokeAiScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "scanners/ModelFileRules.h"
#include "scanners/StoreEntries.h"

namespace {

QString idPart(QString name)
{
    name.replace(u' ', u'_');
    return name.toLower();
}

// The folders below `folder` that are not hidden.
QStringList visibleFolders(const QString& folder)
{
    QStringList kept;
    for (const QString& sub : FS::subdirectories(folder)) {
        if (!ModelFileRules::fileName(sub).startsWith(u'.'))
            kept.push_back(sub);
    }
    return kept;
}

} // namespace

namespace InvokeAiScanner {

QString rootDir()
{
    const QString value = AppPaths::expandedFromEnvironment("INVOKEAI_ROOT");
    return value.isEmpty() ? AppPaths::home() + QStringLiteral("/invokeai") : value;
}

SourceScan scan()
{
    SourceScan result;
    const QString detail =
        QStringLiteral("InvokeAI keeps a record of it — remove it in InvokeAI too");
    for (const QString& base : visibleFolders(rootDir() + QStringLiteral("/models"))) {
        for (const QString& type : visibleFolders(base)) {
            const QString kind =
                ModelFileRules::fileName(base) + u'-' + ModelFileRules::fileName(type) + u'-';
            const QString prefix = QStringLiteral("invokeai-") + kind.toLower();
            for (const FileInfo& file :
                 FS::files(type, false, DepthRange{1, 1}, [](const WalkedFile& file) {
                     return !ModelFileRules::isHidden(file.name);
                 })) {
                const QString name = file.fileName();
                result.models.push_back(StoreEntries::fileEntry(
                    ModelSource::invokeAi, prefix + StoreEntries::fileIdPart(name), name, file,
                    detail));
            }
            for (const QString& model : visibleFolders(type)) {
                const QString name = ModelFileRules::fileName(model);
                if (auto entry = StoreEntries::folderEntry(
                        ModelSource::invokeAi, prefix + idPart(name), name, model, detail))
                    result.models.push_back(std::move(*entry));
            }
        }
    }
    return result;
}

} // namespace InvokeAiScanner

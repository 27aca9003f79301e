#include "scanners/CustomFolderScanner.h"

#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "model/Quantization.h"
#include "scanners/ModelFileRules.h"
#include "scanners/MovedLink.h"

namespace {

constexpr qint64 kMinimumSize = 1'000'000;
const QString kDetailPrefix = QStringLiteral("Custom folder: ");

bool isModelFile(const WalkedFile& file)
{
    return file.size >= kMinimumSize && !ModelFileRules::isHidden(file.name) &&
           ModelFileRules::hasExtension(
               file.name, {".safetensors", ".ckpt", ".pt", ".pth", ".bin", ".gguf", ".mlx"});
}

} // namespace

namespace CustomFolderScanner {

SourceScan scan(const QStringList& roots)
{
    SourceScan result;
    for (const QString& root : roots) {
        if (!PosixIO::exists(root)) {
            result.errors.push_back(QStringLiteral("Custom folder no longer exists: ") + root);
            continue;
        }
        const QString detail = kDetailPrefix + root;
        for (const FileInfo& file : MovedLink::files(root, false, std::nullopt, isModelFile)) {
            const QString name = file.fileName();
            QString id = ModelFileRules::stem(name).toLower();
            id.replace(u' ', u'_').replace(u'/', u'_');
            result.models.push_back(
                ModelEntry(QStringLiteral("custom-") + id + u'-' + QString::number(file.size), name,
                           ModelSource::custom, file.size, std::nullopt, file.path, {file.path},
                           file.modified, DeleteRisk::safe, parseQuantization(name), detail));
            result.models.back().lastUsed = file.accessed;
            result.models.back().folderRoot = root;
            MovedLink::mark(result.models.back());
        }
    }
    return result;
}

std::optional<QString> rootOf(const ModelEntry& entry)
{
    return entry.source == ModelSource::custom ? entry.folderRoot : std::nullopt;
}

} // namespace CustomFolderScanner

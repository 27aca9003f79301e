#include "scanners/PyTorchHubScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "scanners/ModelFileRules.h"
#include "scanners/StoreEntries.h"

namespace {

// A download goes to "{file}.{32 hex digits}.partial" beside the checkpoint.
bool isPartial(std::string_view name)
{
    return name.ends_with(".partial");
}

// "{owner}_{repo}_{ref}": owners hold no "_", so the first one ends the owner; the repository
// and the reference are not told apart.
std::optional<QString> repositoryName(const QString& folderName)
{
    const qsizetype first = folderName.indexOf(u'_');
    if (first <= 0 || folderName.startsWith(u'.') || folderName.lastIndexOf(u'_') == first)
        return std::nullopt;
    return folderName.left(first) + u'/' + folderName.mid(first + 1);
}

} // namespace

namespace PyTorchHubScanner {

QString hubDir()
{
    const QString torchHome = AppPaths::expandedFromEnvironment("TORCH_HOME");
    if (!torchHome.isEmpty())
        return torchHome + QStringLiteral("/hub");
    return AppPaths::xdgCacheHome() + QStringLiteral("/torch/hub");
}

SourceScan scan(const QDateTime& now)
{
    SourceScan result;
    const QString hub = hubDir();
    const QList<FileInfo> checkpoints = FS::files(
        hub + QStringLiteral("/checkpoints"), false, std::nullopt, [](const WalkedFile& file) {
            return isPartial(file.name) || (file.size >= StoreEntries::kMinimumModelSize &&
                                            !ModelFileRules::isHidden(file.name));
        });
    for (const FileInfo& file : checkpoints) {
        const QString name = file.fileName();
        if (name.endsWith(QStringLiteral(".partial"))) {
            // The checkpoint's name is what comes before ".{hex}.partial".
            const QString model = ModelFileRules::stem(ModelFileRules::stem(name));
            if (auto entry = StoreEntries::partialEntry(ModelSource::pyTorchHub,
                                                        QStringLiteral("pytorchhub-partial-") +
                                                            StoreEntries::fileIdPart(name),
                                                        model, file, now))
                result.models.push_back(std::move(*entry));
            continue;
        }
        result.models.push_back(StoreEntries::fileEntry(
            ModelSource::pyTorchHub, QStringLiteral("pytorchhub-") + StoreEntries::fileIdPart(name),
            name, file, QStringLiteral("Checkpoint")));
    }
    for (const QString& folder : FS::subdirectories(hub)) {
        const QString folderName = ModelFileRules::fileName(folder);
        const std::optional<QString> name = repositoryName(folderName);
        if (!name)
            continue;
        if (auto entry = StoreEntries::folderEntry(
                ModelSource::pyTorchHub, QStringLiteral("pytorchhub-") + folderName, *name, folder,
                QStringLiteral("Downloaded repository")))
            result.models.push_back(std::move(*entry));
    }
    return result;
}

} // namespace PyTorchHubScanner

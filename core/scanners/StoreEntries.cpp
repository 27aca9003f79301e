#include "scanners/StoreEntries.h"

#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "model/PathParts.h"
#include "model/Quantization.h"
#include "scanners/ModelFileRules.h"

namespace {

// A download file changed this recently may still be written to.
constexpr qint64 kDownloadQuietSeconds = 10 * 60;

} // namespace

namespace StoreEntries {

QStringList existingFolders(const QStringList& candidates)
{
    QStringList kept;
    QStringList real;
    for (const QString& candidate : candidates) {
        if (candidate.isEmpty() || !PosixIO::isFolder(candidate))
            continue;
        const QString resolved = PathParts::resolved(candidate).value_or(candidate);
        if (real.contains(resolved))
            continue;
        kept.push_back(candidate);
        real.push_back(resolved);
    }
    return kept;
}

QString fileIdPart(const QString& fileName)
{
    QString stem = ModelFileRules::stem(fileName);
    stem.replace(u' ', u'_');
    return stem.toLower();
}

ModelEntry fileEntry(ModelSource source, QString id, QString name, const FileInfo& file,
                     std::optional<QString> detail)
{
    ModelEntry entry(std::move(id), std::move(name), source, file.size, file.size, file.path,
                     {file.path}, file.modified, DeleteRisk::safe,
                     parseQuantization(file.fileName()), std::move(detail));
    entry.lastUsed = file.accessed;
    return entry;
}

std::optional<ModelEntry> folderEntry(ModelSource source, QString id, QString name,
                                      const QString& folder, std::optional<QString> detail)
{
    const FS::Totals totals = FS::totals(folder, false);
    if (totals.files == 0)
        return std::nullopt;
    ModelEntry entry(std::move(id), std::move(name), source, totals.bytes, totals.bytes, folder,
                     {folder}, totals.newest, DeleteRisk::safe, std::nullopt, std::move(detail));
    entry.lastUsed = totals.newestAccess;
    return entry;
}

std::optional<ModelEntry> partialEntry(ModelSource source, QString id, const QString& name,
                                       const FileInfo& file, const QDateTime& now)
{
    if (file.modified && *file.modified > now.addSecs(-kDownloadQuietSeconds))
        return std::nullopt;
    ModelEntry entry(
        std::move(id), name + QStringLiteral(" (unfinished download)"), source, file.size,
        file.size, file.path, {file.path}, file.modified, DeleteRisk::safe, std::nullopt,
        QStringLiteral("Unfinished download — safe to remove unless it is still downloading"));
    entry.lastUsed = file.accessed;
    return entry;
}

} // namespace StoreEntries

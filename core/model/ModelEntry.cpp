#include "model/ModelEntry.h"

#include <utility>

ModelEntry::ModelEntry(QString id, QString name, ModelSource source, qint64 sizeBytes,
                       std::optional<qint64> reclaimableBytes, QString primaryPath,
                       QStringList allPaths, std::optional<QDateTime> lastModified,
                       DeleteRisk deleteRisk, std::optional<QString> quantization,
                       std::optional<QString> detail)
    : id(std::move(id)), name(std::move(name)), source(source), sizeBytes(sizeBytes),
      reclaimableBytes(reclaimableBytes.value_or(sizeBytes)), primaryPath(std::move(primaryPath)),
      allPaths(std::move(allPaths)), lastModified(std::move(lastModified)), deleteRisk(deleteRisk),
      quantization(std::move(quantization)), detail(std::move(detail))
{}

QStringList ModelEntry::comparedFiles() const
{
    QStringList files = dataFiles.isEmpty() ? QStringList{primaryPath} : dataFiles;
    files.removeDuplicates();
    files.removeAll(QString());
    return files;
}

std::optional<QString> ModelEntry::unreachableTarget() const
{
    for (const MovedPath& path : moved) {
        if (!path.reachable)
            return path.target;
    }
    return std::nullopt;
}

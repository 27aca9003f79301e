#include "scanners/HuggingFaceCaches.h"

#include "fs/FS.h"
#include "model/PathParts.h"

#include <QFile>
#include <algorithm>
#include <sys/stat.h>

namespace {

// A prepared dataset smaller than this is not worth a row.
constexpr qint64 kMinimumDatasetBytes = 1'000'000;

bool isRealFolder(const QString& folder)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder with links resolved, when it is a real folder that overlaps none of `taken`
// (which it then joins).
std::optional<QString> untaken(const QString& folder, QStringList& taken)
{
    if (folder.isEmpty() || !isRealFolder(folder))
        return std::nullopt;
    std::optional<QString> resolved = PathParts::resolved(folder);
    if (!resolved)
        return std::nullopt;
    const auto overlaps = [&](const QString& other) {
        const auto within = [](const QString& inner, const QString& outer) {
            return inner == outer || outer == QStringLiteral("/") || inner.startsWith(outer + u'/');
        };
        return within(*resolved, other) || within(other, *resolved);
    };
    if (std::any_of(taken.cbegin(), taken.cend(), overlaps))
        return std::nullopt;
    taken.push_back(*resolved);
    return resolved;
}

ModelEntry wholeFolder(const QString& id, const QString& name, const QString& folder,
                       const FS::Totals& totals, const QString& detail)
{
    ModelEntry entry(id, name, ModelSource::huggingFace, totals.bytes, totals.bytes, folder,
                     {folder}, totals.newest, DeleteRisk::safe, std::nullopt, detail);
    entry.lastUsed = totals.newestAccess;
    return entry;
}

} // namespace

namespace HuggingFaceCaches {

QList<ModelEntry> entries(const QString& xetCache, const QString& datasetsCache, QStringList taken)
{
    QList<ModelEntry> models;
    for (QString& path : taken)
        path = PathParts::resolved(path).value_or(path);
    if (untaken(xetCache, taken)) {
        const FS::Totals totals = FS::totals(xetCache, false);
        if (totals.files > 0)
            models.push_back(wholeFolder(
                QStringLiteral("hf-xet"), QStringLiteral("Hugging Face xet cache"), xetCache,
                totals, QStringLiteral("Download cache — safe to delete, refilled when needed")));
    }
    if (!untaken(datasetsCache, taken))
        return models;
    for (const QString& folder : FS::subdirectories(datasetsCache)) {
        const QString name = folder.mid(folder.lastIndexOf(u'/') + 1);
        const FS::Totals totals = FS::totals(folder, false);
        if (totals.bytes < kMinimumDatasetBytes)
            continue;
        if (name == QStringLiteral("downloads"))
            models.push_back(wholeFolder(
                QStringLiteral("hf-datasets-cache-downloads"),
                QStringLiteral("Downloaded dataset files"), folder, totals,
                QStringLiteral(
                    "Dataset downloads — safe to delete, downloaded again when needed")));
        else
            models.push_back(wholeFolder(
                QStringLiteral("hf-datasets-cache-") + name, name, folder, totals,
                QStringLiteral("Prepared dataset — safe to delete, rebuilt when needed")));
    }
    return models;
}

} // namespace HuggingFaceCaches

#include "scanners/DockerModelsScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/JSONStore.h"
#include "fs/PosixIO.h"
#include "model/Sizes.h"
#include "scanners/StoreEntries.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <sys/stat.h>

namespace {

constexpr qint64 kMaxIndexBytes = qint64(16) << 20;
// A download changed this recently may still be running; a blob no model names but changed
// this recently may belong to a pull that has not yet written its model.
constexpr qint64 kDownloadQuietSeconds = 10 * 60;
constexpr qint64 kOrphanQuietSeconds = 60 * 60;

struct Model
{
    QStringList tags;
    QStringList blobs; // file names under blobs/sha256
};

// "sha256:{hex}" -> "{hex}", or nothing when it could leave the blobs folder.
std::optional<QString> blobName(const QString& digest)
{
    if (!digest.startsWith(QStringLiteral("sha256:")))
        return std::nullopt;
    const QString hex = digest.mid(7);
    const bool valid = !hex.isEmpty() && std::all_of(hex.cbegin(), hex.cend(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    });
    return valid ? std::optional(hex) : std::nullopt;
}

// The models of the index, or nothing when it is not the expected document.
std::optional<QList<Model>> readIndex(const QByteArray& bytes)
{
    const std::optional<QJsonObject> index = JSONStore::objectOf(bytes);
    if (!index || !index->value(QLatin1String("models")).isArray())
        return std::nullopt;
    QList<Model> models;
    for (const QJsonValue value : index->value(QLatin1String("models")).toArray()) {
        const QJsonObject object = value.toObject();
        Model model;
        for (const QJsonValue tag : object.value(QLatin1String("tags")).toArray()) {
            if (tag.isString() && !tag.toString().isEmpty())
                model.tags.push_back(tag.toString());
        }
        for (const QJsonValue file : object.value(QLatin1String("files")).toArray()) {
            const std::optional<QString> name = blobName(file.toString());
            if (!name)
                return std::nullopt;
            if (!model.blobs.contains(*name))
                model.blobs.push_back(*name);
        }
        models.push_back(std::move(model));
    }
    return models;
}

// A blob's size and date; links followed (a blob moved away and linked still counts).
std::optional<FileInfo> blobInfo(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileInfo{path, st.st_size, FS::dateFrom(st.st_mtim.tv_sec, qint32(st.st_mtim.tv_nsec)),
                    FS::dateFrom(st.st_atim.tv_sec, qint32(st.st_atim.tv_nsec))};
}

QString shortName(const QString& name)
{
    return name.size() <= 16 ? name : name.left(8) + u'…' + name.right(8);
}

ModelEntry tagEntry(const QString& tag, const Model& model, const QString& blobsDir,
                    const QHash<QString, int>& references)
{
    qint64 size = 0;
    qint64 reclaimable = 0;
    int shared = 0;
    QStringList paths;
    QStringList dataFiles;
    std::optional<QDateTime> newest;
    std::optional<QDateTime> lastUsed; // of the blobs holding model data
    for (const QString& blob : model.blobs) {
        const QString path = blobsDir + u'/' + blob;
        const std::optional<FileInfo> info = blobInfo(path);
        if (!info)
            continue;
        size = saturatingAdd(size, info->size);
        if (info->modified && (!newest || *info->modified > *newest))
            newest = info->modified;
        if (info->size >= StoreEntries::kMinimumModelSize) {
            dataFiles.push_back(path);
            if (info->accessed && (!lastUsed || *info->accessed > *lastUsed))
                lastUsed = info->accessed;
        }
        if (references.value(blob) >= 2) {
            ++shared;
            continue;
        }
        reclaimable = saturatingAdd(reclaimable, info->size);
        paths.push_back(path);
    }
    std::optional<QString> detail;
    if (shared == 1)
        detail = QStringLiteral("Shares 1 layer with other Docker models — shared data is kept");
    else if (shared > 1)
        detail = QStringLiteral("Shares %1 layers with other Docker models — shared data is kept")
                     .arg(shared);
    QString id = tag;
    id.replace(u':', u'-');
    const QString primary = !paths.isEmpty()         ? paths.first()
                            : !model.blobs.isEmpty() ? blobsDir + u'/' + model.blobs.first()
                                                     : blobsDir;
    ModelEntry entry(QStringLiteral("dockermodels-") + id, tag, ModelSource::dockerModels, size,
                     reclaimable, primary, paths, newest, DeleteRisk::safe, std::nullopt, detail);
    entry.dataFiles = dataFiles;
    entry.lastUsed = lastUsed;
    return entry;
}

} // namespace

namespace DockerModelsScanner {

QString storeDir()
{
    const QString value = AppPaths::fromEnvironment("MODELS_PATH");
    return value.isEmpty() ? AppPaths::home() + QStringLiteral("/.docker/models") : value;
}

SourceScan scan(const QDateTime& now)
{
    SourceScan result;
    const QString store = storeDir();
    const QString indexPath = store + QStringLiteral("/models.json");
    if (!PosixIO::exists(indexPath))
        return result;
    const QString blobsDir = store + QStringLiteral("/blobs/sha256");
    const std::optional<QByteArray> bytes = PosixIO::readRegularFile(indexPath, kMaxIndexBytes);
    const std::optional<QList<Model>> models = bytes ? readIndex(*bytes) : std::nullopt;
    if (!models)
        result.errors.push_back(QStringLiteral("Cannot read Docker model index ") + indexPath);

    QHash<QString, int> references; // tags naming each blob
    for (const Model& model : models.value_or(QList<Model>{})) {
        for (const QString& blob : model.blobs)
            references[blob] += int(model.tags.size());
    }
    for (const Model& model : models.value_or(QList<Model>{})) {
        for (const QString& tag : model.tags)
            result.models.push_back(tagEntry(tag, model, blobsDir, references));
    }

    QList<FileInfo> downloads;
    QList<FileInfo> orphans;
    for (FileInfo& file : FS::files(store + QStringLiteral("/blobs"), false)) {
        const QString name = file.fileName();
        if (name.endsWith(QStringLiteral(".incomplete")))
            downloads.push_back(std::move(file));
        else if (models && file.path == blobsDir + u'/' + name && references.value(name) == 0)
            orphans.push_back(std::move(file));
    }
    bool pulling = false;
    for (const FileInfo& file : downloads) {
        const QString blob = file.fileName().chopped(11);
        pulling = pulling || !file.modified || *file.modified > now.addSecs(-kDownloadQuietSeconds);
        if (auto entry = StoreEntries::partialEntry(ModelSource::dockerModels,
                                                    QStringLiteral("dockermodels-partial-") + blob,
                                                    shortName(blob), file, now))
            result.models.push_back(std::move(*entry));
    }
    for (const FileInfo& file : orphans) {
        if (pulling || !file.modified || *file.modified > now.addSecs(-kOrphanQuietSeconds))
            continue;
        const QString name = file.fileName();
        result.models.push_back(ModelEntry(
            QStringLiteral("dockermodels-orphan-") + name,
            QStringLiteral("Orphaned blob (") + shortName(name) + u')', ModelSource::dockerModels,
            file.size, file.size, file.path, {file.path}, file.modified, DeleteRisk::safe,
            std::nullopt, QStringLiteral("Not referenced by any Docker model — safe to remove")));
        result.models.back().lastUsed = file.accessed;
    }
    return result;
}

} // namespace DockerModelsScanner

#include "scanners/LlamaCppScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/JSONStore.h"
#include "fs/PosixIO.h"
#include "model/Sizes.h"
#include "scanners/HuggingFaceScanner.h"
#include "scanners/ModelFileRules.h"
#include "scanners/StoreEntries.h"

#include <QHash>
#include <QJsonObject>

namespace {

constexpr qint64 kMaxManifestBytes = qint64(1) << 20;
constexpr QLatin1String kInProgress(".downloadInProgress");

bool isWanted(const WalkedFile& file)
{
    return !ModelFileRules::isHidden(file.name) &&
           (file.name.ends_with(".downloadInProgress") || file.name.ends_with(".etag") ||
            file.name.starts_with("manifest=") ||
            ModelFileRules::hasExtension(file.name, {".gguf"}));
}

// "manifest={owner}={repo}={tag}.json" names its files by their names in the repository; the
// cache keeps each as "{owner}_{repo}_{file}".
void readManifest(const FileInfo& manifest, QHash<QString, QString>& names)
{
    const QStringList parts = ModelFileRules::stem(manifest.fileName()).split(u'=');
    if (parts.size() != 4)
        return;
    const std::optional<QByteArray> bytes =
        PosixIO::readRegularFile(manifest.path, kMaxManifestBytes);
    const std::optional<QJsonObject> object = bytes ? JSONStore::objectOf(*bytes) : std::nullopt;
    if (!object)
        return;
    const QString repository = parts[1] + u'/' + parts[2];
    for (const QLatin1String key : {QLatin1String("ggufFile"), QLatin1String("mmprojFile")}) {
        const QString file =
            object->value(key).toObject().value(QLatin1String("rfilename")).toString();
        if (file.isEmpty() || file.contains(u'/'))
            continue;
        names.insert(parts[1] + u'_' + parts[2] + u'_' + file, repository + u'/' + file);
    }
}

void scanFlat(const QString& dir, const QDateTime& now, QList<ModelEntry>& models)
{
    const QList<FileInfo> files = FS::files(dir, false, DepthRange{1, 1}, isWanted);
    QHash<QString, QString> names;
    QHash<QString, const FileInfo*> etags;
    for (const FileInfo& file : files) {
        const QString name = file.fileName();
        if (name.startsWith(QStringLiteral("manifest=")) && name.endsWith(QStringLiteral(".json")))
            readManifest(file, names);
        else if (name.endsWith(QStringLiteral(".etag")))
            etags.insert(name.chopped(5), &file);
    }
    for (const FileInfo& file : files) {
        const QString name = file.fileName();
        if (name.endsWith(kInProgress)) {
            const QString model = name.chopped(kInProgress.size());
            if (auto entry = StoreEntries::partialEntry(ModelSource::llamaCpp,
                                                        QStringLiteral("llamacpp-partial-") +
                                                            StoreEntries::fileIdPart(model),
                                                        names.value(model, model), file, now))
                models.push_back(std::move(*entry));
            continue;
        }
        if (!name.endsWith(QStringLiteral(".gguf"), Qt::CaseInsensitive))
            continue;
        ModelEntry entry = StoreEntries::fileEntry(
            ModelSource::llamaCpp, QStringLiteral("llamacpp-") + StoreEntries::fileIdPart(name),
            names.value(name, name), file);
        if (const FileInfo* etag = etags.value(name)) {
            entry.sizeBytes = entry.reclaimableBytes = saturatingAdd(entry.sizeBytes, etag->size);
            entry.allPaths.push_back(etag->path);
        }
        models.push_back(std::move(entry));
    }
}

} // namespace

namespace LlamaCppScanner {

QString cacheDir()
{
    const QString value = AppPaths::fromEnvironment("LLAMA_CACHE");
    return value.isEmpty() ? AppPaths::xdgCacheHome() + QStringLiteral("/llama.cpp") : value;
}

SourceScan scan(const QDateTime& now)
{
    SourceScan result;
    const QString dir = cacheDir();
    scanFlat(dir, now, result.models);
    for (ModelEntry& entry : HuggingFaceScanner::scanHub(dir, now).models) {
        entry.source = ModelSource::llamaCpp;
        entry.id.prepend(QStringLiteral("llamacpp-"));
        result.models.push_back(std::move(entry));
    }
    return result;
}

} // namespace LlamaCppScanner

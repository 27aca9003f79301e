#include "scanners/HuggingFaceScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "model/Sizes.h"
#include "scanners/DuplicateFinder.h"

#include <QFile>
#include <algorithm>
#include <mutex>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr QLatin1String repositoryPrefix("models--");
// A download file changed this recently may still be written to.
constexpr qint64 downloadQuietSeconds = 10 * 60;

// "models--owner--name" -> "owner/name": only the first "--" after the prefix becomes a slash.
QString displayName(const QString& folderName)
{
    QString name = folderName.mid(repositoryPrefix.size());
    const qsizetype separator = name.indexOf(QStringLiteral("--"));
    if (separator >= 0)
        name.replace(separator, 2, u'/');
    return name;
}

// The hub downloads a blob into "blobs/<name>.incomplete" and renames it when done.
bool isUnfinishedDownload(const WalkedFile& file)
{
    return file.level == 1 && file.name.ends_with(".incomplete");
}

// A folder of the repository that is itself a link frees nothing when the repository goes, so
// it holds nothing.
bool isRealFolder(const QString& folder)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Contents
{
    FS::Totals totals;
    QStringList dataFiles;     // large enough to be looked at for copies
    QList<FileInfo> downloads; // unfinished downloads, when looked for
};

// The regular files of a folder of the repository, in one walk: their totals, the large ones,
// and, when asked, the unfinished downloads apart (not counted in the totals).
Contents contentsOf(const QString& folder, bool downloadsApart)
{
    if (!isRealFolder(folder))
        return {};
    Contents contents;
    std::mutex mutex; // the filter runs on several threads at once
    contents.totals = FS::totals(folder, false, std::nullopt, [&](const WalkedFile& file) {
        const bool download = downloadsApart && isUnfinishedDownload(file);
        if (!download && file.size < DuplicateFinder::kMinimumSize)
            return true;
        const std::optional<QString> path = file.pathText();
        if (!path)
            return !download;
        const std::lock_guard lock(mutex);
        if (download)
            contents.downloads.push_back(
                {*path, file.size, FS::dateFrom(file.modifiedSeconds, file.modifiedNanoseconds),
                 FS::dateFrom(file.accessedSeconds, file.accessedNanoseconds)});
        else
            contents.dataFiles.push_back(*path);
        return !download;
    });
    contents.dataFiles.sort();
    std::sort(
        contents.downloads.begin(), contents.downloads.end(),
        [](const FileInfo& a, const FileInfo& b) { return FS::preOrderLess(a.path, b.path); });
    return contents;
}

// One entry per unfinished download of the repository's blobs that has not changed lately.
void addDownloads(const QList<FileInfo>& downloads, const QString& folderName, const QDateTime& now,
                  QList<ModelEntry>& models)
{
    const QDateTime quietSince = now.addSecs(-downloadQuietSeconds);
    const QString name = displayName(folderName) + QStringLiteral(" (unfinished download)");
    for (const FileInfo& file : downloads) {
        if (file.modified && *file.modified > quietSince)
            continue;
        models.push_back(ModelEntry(
            QStringLiteral("hf-partial-") + folderName + u'-' + file.fileName().left(12), name,
            ModelSource::huggingFace, file.size, file.size, file.path, {file.path}, file.modified,
            DeleteRisk::safe, std::nullopt,
            QStringLiteral("Unfinished download — safe to remove unless it is still downloading")));
        models.back().lastUsed = file.accessed;
    }
}

} // namespace

namespace HuggingFaceScanner {

QString cacheDir()
{
    const QString hfHome = AppPaths::fromEnvironment("HF_HOME");
    if (PosixIO::exists(hfHome))
        return hfHome;
    // Without $XDG_CACHE_HOME this is the default below.
    const QString inCache = AppPaths::xdgCacheHome() + QStringLiteral("/huggingface");
    if (PosixIO::isFolder(inCache))
        return inCache;
    return AppPaths::home() + QStringLiteral("/.cache/huggingface");
}

SourceScan scan(const QDateTime& now)
{
    SourceScan result;
    QString hub = AppPaths::fromEnvironment("HF_HUB_CACHE");
    if (hub.isEmpty())
        hub = cacheDir() + QStringLiteral("/hub");
    if (!PosixIO::exists(hub))
        return result;
    for (const QString& repository : FS::subdirectories(hub)) {
        const QString folderName = repository.mid(repository.lastIndexOf(u'/') + 1);
        if (!folderName.startsWith(repositoryPrefix))
            continue;
        // Symbolic links never count, so snapshots that link into blobs are not counted twice,
        // and a cache whose snapshots hold the files themselves is sized by them.
        const Contents blobs = contentsOf(repository + QStringLiteral("/blobs"), true);
        const Contents snapshots = contentsOf(repository + QStringLiteral("/snapshots"), false);
        const qint64 size = saturatingAdd(blobs.totals.bytes, snapshots.totals.bytes);
        std::optional<QDateTime> newest = blobs.totals.newest;
        if (snapshots.totals.newest && (!newest || *snapshots.totals.newest > *newest))
            newest = snapshots.totals.newest;
        ModelEntry entry(QStringLiteral("hf-") + folderName, displayName(folderName),
                         ModelSource::huggingFace, size, size, repository, {repository}, newest,
                         DeleteRisk::safe, std::nullopt, std::nullopt);
        entry.dataFiles = blobs.dataFiles + snapshots.dataFiles;
        entry.dataFiles.sort();
        // The blobs hold the data; a cache without them keeps its files in the snapshots.
        entry.lastUsed =
            blobs.totals.files > 0 ? blobs.totals.newestAccess : snapshots.totals.newestAccess;
        result.models.push_back(std::move(entry));
        addDownloads(blobs.downloads, folderName, now, result.models);
    }
    return result;
}

} // namespace HuggingFaceScanner

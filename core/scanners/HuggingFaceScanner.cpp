#include "scanners/HuggingFaceScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "model/Sizes.h"

#include <QFile>
#include <sys/stat.h>

namespace {

constexpr QLatin1String repositoryPrefix("models--");

// "models--owner--name" -> "owner/name": only the first "--" after the prefix becomes a slash.
QString displayName(const QString& folderName)
{
    QString name = folderName.mid(repositoryPrefix.size());
    const qsizetype separator = name.indexOf(QStringLiteral("--"));
    if (separator >= 0)
        name.replace(separator, 2, u'/');
    return name;
}

// The regular files of a folder of the repository; a folder that is itself a link frees nothing
// when the repository goes, so it counts nothing.
FS::Totals regularFilesIn(const QString& folder)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return FS::totals(folder, false);
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

SourceScan scan()
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
        const FS::Totals blobs = regularFilesIn(repository + QStringLiteral("/blobs"));
        const FS::Totals snapshots = regularFilesIn(repository + QStringLiteral("/snapshots"));
        const qint64 size = saturatingAdd(blobs.bytes, snapshots.bytes);
        std::optional<QDateTime> newest = blobs.newest;
        if (snapshots.newest && (!newest || *snapshots.newest > *newest))
            newest = snapshots.newest;
        result.models.push_back(ModelEntry(QStringLiteral("hf-") + folderName,
                                           displayName(folderName), ModelSource::huggingFace, size,
                                           size, repository, {repository}, newest, DeleteRisk::safe,
                                           std::nullopt, std::nullopt));
    }
    return result;
}

} // namespace HuggingFaceScanner

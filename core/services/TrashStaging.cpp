#include "services/TrashStaging.h"

#include "fs/Mounts.h"
#include "fs/PathParts.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "fs/XdgTrash.h"
#include "services/TreeRemover.h"

#include <QFile>
#include <QSet>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

const QByteArray kPrefix(XdgTrash::kStagingPrefix);

using PathParts::nameOf;
using PathParts::parentOf;
using PathParts::resolved;

// An item path with its folder resolved, so paths written in different ways compare equal.
std::optional<QByteArray> canonicalItem(const QByteArray& item)
{
    const std::optional<QByteArray> folder = resolved(parentOf(item));
    if (!folder)
        return std::nullopt;
    return PathParts::join(*folder, nameOf(item));
}

QList<QByteArray> stagedNames(const QByteArray& folder)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith(kPrefix) && name.size() > kPrefix.size())
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

void settle(const QByteArray& folder, const QByteArray& stagedName,
            const QSet<QByteArray>& recordItems)
{
    const QString staged = QFile::decodeName(PathParts::join(folder, stagedName));
    const QByteArray original = PathParts::join(folder, stagedName.mid(kPrefix.size()));
    if (recordItems.contains(original)) {
        (void)PosixIO::renameNoReplace(staged, QFile::decodeName(original));
        return;
    }
    const UniqueFd folderFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.isValid() || TreeRemover::remove(folderFd.get(), stagedName) != 0)
        return;
    if (!PosixIO::lexists(QFile::decodeName(original)))
        ::unlink(QFile::encodeName(XdgTrash::infoPathOf(QFile::decodeName(original))).constData());
}

} // namespace

namespace TrashStaging {

QString stagedPathOf(const QString& itemPath)
{
    const QByteArray item = QFile::encodeName(itemPath);
    return QFile::decodeName(parentOf(item) + '/' + kPrefix + nameOf(item));
}

void sweep(const QList<TrashEntry>& log)
{
    QList<QByteArray> candidates{QFile::encodeName(XdgTrash::homeFilesFolder())};
    QSet<QByteArray> recordItems;
    for (const TrashEntry& entry : log) {
        for (const QString& path : entry.trashedPaths) {
            if (path.isEmpty())
                continue;
            const QByteArray item = QFile::encodeName(path);
            candidates.push_back(parentOf(item));
            if (const std::optional<QByteArray> canonical = canonicalItem(item))
                recordItems.insert(*canonical);
        }
    }
    for (const QByteArray& mountPoint : Mounts::localMountPoints())
        candidates += XdgTrash::topDirectoryFilesFolders(mountPoint);

    QSet<QByteArray> seen;
    for (const QByteArray& candidate : candidates) {
        const std::optional<QByteArray> folder = resolved(candidate);
        if (!folder || seen.contains(*folder))
            continue;
        seen.insert(*folder);
        if (!XdgTrash::isTrashFilesFolder(QFile::decodeName(*folder)))
            continue;
        for (const QByteArray& name : stagedNames(*folder))
            settle(*folder, name, recordItems);
    }
}

} // namespace TrashStaging

#include "services/TrashStaging.h"

#include "fs/Mounts.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "fs/XdgTrash.h"
#include "model/PathParts.h"
#include "services/TreeRemover.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <algorithm>
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

// A record naming an item: its id, the item's old path and the record's time.
struct Claim
{
    QString id;
    QString originalPath;
    qint64 trashedAt = 0;
};

// The records' items (folders resolved), each with the records that name it.
using RecordItems = QHash<QByteArray, QList<Claim>>;

void settle(const QByteArray& folder, const QByteArray& stagedName, const RecordItems& recordItems)
{
    const QString staged = QFile::decodeName(PathParts::join(folder, stagedName));
    const QByteArray original = PathParts::join(folder, stagedName.mid(kPrefix.size()));
    const QString item = QFile::decodeName(original);
    for (const Claim& claim : recordItems.value(original)) {
        // Only a record the item belongs to gets it back, not an older one of the same name.
        if (XdgTrash::isItemOf(item, claim.originalPath, claim.id, claim.trashedAt)) {
            (void)PosixIO::renameNoReplace(staged, item);
            return;
        }
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
    RecordItems recordItems;
    for (const TrashEntry& entry : log) {
        const qsizetype count = std::min(entry.originalPaths.size(), entry.trashedPaths.size());
        for (qsizetype i = 0; i < count; ++i) {
            const QString& path = entry.trashedPaths[i];
            if (path.isEmpty() || PathParts::holdsNul(path))
                continue;
            const QByteArray item = QFile::encodeName(path);
            candidates.push_back(parentOf(item));
            if (const std::optional<QByteArray> canonical = canonicalItem(item))
                recordItems[*canonical].push_back(
                    {entry.id, entry.originalPaths[i], entry.trashedAt});
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

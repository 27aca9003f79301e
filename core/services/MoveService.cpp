#include "services/MoveService.h"

#include "model/BrimvaleError.h"
#include "services/ItemMover.h"

#include <QFile>
#include <QSet>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace MoveService {

namespace {

QString lastComponent(const QString& path)
{
    if (path == QStringLiteral("/"))
        return path;
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// Every symlink resolved and "." and ".." removed; nothing when the path cannot be resolved.
std::optional<QString> resolved(const QString& path)
{
    char buffer[PATH_MAX];
    if (::realpath(QFile::encodeName(path).constData(), buffer) == nullptr)
        return std::nullopt;
    return QFile::decodeName(buffer);
}

bool isFolder(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool lexists(const QString& path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

QStringList validatePlan(const QStringList& paths, const QString& destination)
{
    const BrimvaleError noFolder(QStringLiteral("Destination must be an existing folder"));
    if (!isFolder(destination))
        throw noFolder;
    const std::optional<QString> resolvedDestination = resolved(destination);
    if (!resolvedDestination)
        throw noFolder;
    const QString folderName = lastComponent(*resolvedDestination);
    const QString destinationPrefix = resolvedDestination->endsWith(u'/')
                                          ? *resolvedDestination
                                          : QString(*resolvedDestination + u'/');

    QStringList result;
    QSet<QString> seenPaths;
    QSet<QString> seenNames;
    for (const QString& path : paths) {
        struct stat st
        {
        };
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue; // gone since the scan
        const QString name = lastComponent(path);
        if (S_ISLNK(st.st_mode))
            throw BrimvaleError(
                name + QStringLiteral(" is already a symlink — it may have been moved before."));
        const std::optional<QString> itemPath = resolved(path);
        if (!itemPath || seenPaths.contains(*itemPath))
            continue;
        seenPaths.insert(*itemPath);
        if (seenNames.contains(name))
            throw BrimvaleError(
                QStringLiteral("The destination would contain multiple items named ") + name);
        seenNames.insert(name);
        if (lexists(destinationPrefix + name))
            throw BrimvaleError(name + QStringLiteral(" already exists in ") + folderName);
        if (*itemPath == *resolvedDestination)
            throw BrimvaleError(QStringLiteral("Source and destination cannot be the same folder"));
        if (isFolder(*itemPath) && destinationPrefix.startsWith(*itemPath + u'/'))
            throw BrimvaleError(QStringLiteral("The destination cannot be inside ") +
                                lastComponent(*itemPath));
        result.push_back(path);
    }
    if (result.isEmpty())
        throw BrimvaleError(QStringLiteral("No model files were found to move"));
    return result;
}

MoveOutcome move(const QList<ModelEntry>& entries, const QString& to, bool createSymlinks,
                 const MoveProgress& progress)
{
    QStringList paths;
    for (const ModelEntry& entry : entries)
        paths += entry.allPaths;

    MoveOutcome outcome;
    QStringList items;
    try {
        items = validatePlan(paths, to);
    } catch (const BrimvaleError& error) {
        outcome.error = error.message();
        return outcome;
    }

    qint64 copiedBefore = 0;
    qint64 copiedInItem = 0;
    const TreeCopier::Progress copied = [&](qint64 bytes) {
        copiedInItem = bytes;
        if (progress.copied)
            progress.copied(copiedBefore + bytes);
    };
    for (const QString& item : items) {
        copiedInItem = 0;
        const ItemMover::Result result =
            ItemMover::move(item, to, createSymlinks, progress.stage, copied);
        copiedBefore += copiedInItem;
        const QString name = lastComponent(item);
        if (result.moved)
            outcome.movedTo.push_back(to.endsWith(u'/') ? QString(to + name)
                                                        : QString(to + u'/' + name));
        if (result.linked)
            outcome.symlinksCreated.push_back(item);
        if (result.error && !outcome.error)
            outcome.error = result.error;
    }
    return outcome;
}

} // namespace MoveService

#include "services/MoveService.h"

#include "fs/PathParts.h"
#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"
#include "services/ItemMover.h"
#include "services/ItemReturner.h"
#include "services/MovedTargets.h"

#include <QFile>
#include <QSet>
#include <algorithm>
#include <sys/stat.h>

namespace MoveService {

namespace {

QString lastComponent(const QString& path)
{
    if (path == QStringLiteral("/"))
        return path;
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

QStringList validatePlan(const QStringList& paths, const QString& destination)
{
    // The system would read a path only up to its NUL and act on another item.
    if (PathParts::holdsNul(destination) ||
        std::any_of(paths.begin(), paths.end(), PathParts::holdsNul))
        throw BrimvaleError(QStringLiteral("Invalid path"), BrimvaleError::Kind::invalidPath);
    const BrimvaleError noFolder(QStringLiteral("Destination must be an existing folder"));
    if (!PosixIO::isFolder(destination))
        throw noFolder;
    const std::optional<QString> resolvedDestination = PathParts::resolved(destination);
    if (!resolvedDestination)
        throw noFolder;
    const QString folderName = lastComponent(*resolvedDestination);
    // The destination with one trailing slash, to tell the items inside it.
    const QString destinationPrefix = PathParts::join(*resolvedDestination, QString());

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
        const std::optional<QString> itemPath = PathParts::resolved(path);
        if (!itemPath || seenPaths.contains(*itemPath))
            continue;
        seenPaths.insert(*itemPath);
        if (seenNames.contains(name))
            throw BrimvaleError(
                QStringLiteral("The destination would contain multiple items named ") + name);
        seenNames.insert(name);
        if (PosixIO::lexists(PathParts::join(*resolvedDestination, name)))
            throw BrimvaleError(name + QStringLiteral(" already exists in ") + folderName);
        if (*itemPath == *resolvedDestination)
            throw BrimvaleError(QStringLiteral("Source and destination cannot be the same folder"));
        if (PosixIO::isFolder(*itemPath) && destinationPrefix.startsWith(*itemPath + u'/'))
            throw BrimvaleError(QStringLiteral("The destination cannot be inside ") +
                                lastComponent(*itemPath));
        result.push_back(path);
    }
    if (result.isEmpty())
        throw BrimvaleError(QStringLiteral("No model files were found to move"));
    return result;
}

MoveOutcome move(const QList<ModelEntry>& entries, const QString& to, bool createSymlinks,
                 const MoveProgress& progress, const StopToken* stop, LockWait lockWait)
{
    MoveOutcome outcome;
    QStringList paths;
    for (const ModelEntry& entry : entries) {
        if (const std::optional<QString> unreachable = MovedTargets::unreachable(entry)) {
            outcome.error = *unreachable;
            outcome.errorKind = BrimvaleError::Kind::unreachable;
            return outcome;
        }
        paths += entry.allPaths;
    }

    QStringList items;
    try {
        items = validatePlan(paths, to);
    } catch (const BrimvaleError& error) {
        outcome.error = error.message();
        outcome.errorKind = error.kind();
        return outcome;
    }
    const auto record = [&](const QString& message, BrimvaleError::Kind kind) {
        if (outcome.error)
            return;
        outcome.error = message;
        outcome.errorKind = kind;
    };
    const QString stoppedText = QStringLiteral("Stopped — the remaining items were not moved");

    qint64 copiedBefore = 0;
    qint64 copiedInItem = 0;
    const TreeCopier::Progress copied = [&](qint64 bytes) {
        copiedInItem = bytes;
        if (progress.copied)
            progress.copied(copiedBefore + bytes);
    };
    const ItemMover::Options options{createSymlinks, progress.stage, copied, stop, lockWait};
    for (const QString& item : items) {
        if (StopToken::requested(stop)) {
            record(stoppedText, BrimvaleError::Kind::stopped);
            break;
        }
        copiedInItem = 0;
        const ItemMover::Result result = ItemMover::move(item, to, options);
        copiedBefore += copiedInItem;
        const QString name = lastComponent(item);
        if (result.moved) {
            const QString target = PathParts::join(to, name);
            outcome.movedTo.push_back(target);
            outcome.items.push_back({item, target, result.linked});
        }
        if (result.linked)
            outcome.symlinksCreated.push_back(item);
        if (result.errorKind == BrimvaleError::Kind::stopped) {
            record(stoppedText, BrimvaleError::Kind::stopped);
            break;
        }
        if (result.error)
            record(*result.error, result.errorKind);
        if (result.errorKind == BrimvaleError::Kind::busy)
            break;
    }
    return outcome;
}

MoveOutcome moveBack(const QList<ModelEntry>& entries, const MoveProgress& progress,
                     const StopToken* stop, LockWait lockWait)
{
    MoveOutcome outcome;
    const auto record = [&](const QString& message, BrimvaleError::Kind kind) {
        if (outcome.error)
            return;
        outcome.error = message;
        outcome.errorKind = kind;
    };
    QList<MovedPath> items;
    QSet<QString> links;
    for (const ModelEntry& entry : entries) {
        std::optional<QString> problem = MovedTargets::unreachable(entry);
        if (!entry.isMoved())
            problem = entry.name + QStringLiteral(" was not moved — there is nothing to move back");
        for (qsizetype i = 0; i < entry.moved.size() && !problem; ++i) {
            const MovedPath& path = entry.moved[i];
            if (PathParts::holdsNul(path.link) || PathParts::holdsNul(path.target))
                problem = QStringLiteral("Invalid path");
            else
                problem = ItemReturner::check(path);
            if (!links.contains(path.link)) {
                links.insert(path.link);
                items.push_back(path);
            }
        }
        if (problem) {
            record(*problem, BrimvaleError::Kind::general);
            return outcome;
        }
    }

    qint64 copiedBefore = 0;
    qint64 copiedInItem = 0;
    const TreeCopier::Progress copied = [&](qint64 bytes) {
        copiedInItem = bytes;
        if (progress.copied)
            progress.copied(copiedBefore + bytes);
    };
    const ItemMover::Options options{false, progress.stage, copied, stop, lockWait};
    for (const MovedPath& item : std::as_const(items)) {
        if (StopToken::requested(stop)) {
            record(QStringLiteral("Stopped — the remaining items were not moved back"),
                   BrimvaleError::Kind::stopped);
            break;
        }
        copiedInItem = 0;
        const ItemMover::Result result = ItemReturner::moveBack(item, options);
        copiedBefore += copiedInItem;
        if (result.moved) {
            outcome.movedTo.push_back(item.link);
            outcome.items.push_back({item.target, item.link, false});
        }
        if (result.error)
            record(*result.error, result.errorKind);
        if (result.errorKind == BrimvaleError::Kind::stopped ||
            result.errorKind == BrimvaleError::Kind::busy)
            break;
    }
    return outcome;
}

} // namespace MoveService

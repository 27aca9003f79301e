#include "services/MoveService.h"

#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"
#include "model/PathParts.h"
#include "services/ItemMover.h"
#include "services/ItemReturner.h"
#include "services/MovedTargets.h"

#include <QFile>
#include <QSet>
#include <algorithm>
#include <sys/stat.h>

namespace MoveService {

namespace {

// One item of a move: where it goes (below the destination) and the link, if any, to re-point
// at its new place instead of leaving one at its old path.
struct Planned
{
    QString path;
    QString place; // the folder below the destination, "" for the destination itself
    QString relink;
};

// The folder below the destination that keeps an Ollama path in its store's layout
// ("ollama/manifests/{host}/{namespace}/{model}" or "ollama/blobs"), or "" for any other path.
QString ollamaPlace(const QString& path)
{
    const QStringList parts = path.split(u'/');
    const qsizetype n = parts.size();
    if (n >= 6 && parts[n - 5] == u"manifests")
        return QStringLiteral("ollama/") + parts.mid(n - 5, 4).join(u'/');
    if (n >= 2 && parts[n - 2] == u"blobs")
        return QStringLiteral("ollama/blobs");
    return {};
}

QList<Planned> checkedPlan(const QList<Planned>& items, const QString& destination)
{
    // The system would read a path only up to its NUL and act on another item.
    if (PathParts::holdsNul(destination) ||
        std::any_of(items.begin(), items.end(),
                    [](const Planned& item) { return PathParts::holdsNul(item.path); }))
        throw BrimvaleError(QStringLiteral("Invalid path"), BrimvaleError::Kind::invalidPath);
    const BrimvaleError noFolder(QStringLiteral("Destination must be an existing folder"));
    if (!PosixIO::isFolder(destination))
        throw noFolder;
    const std::optional<QString> resolvedDestination = PathParts::resolved(destination);
    if (!resolvedDestination)
        throw noFolder;
    const QString folderName = PathParts::folderName(*resolvedDestination);
    // The destination with one trailing slash, to tell the items inside it.
    const QString destinationPrefix = PathParts::join(*resolvedDestination, QString());

    QList<Planned> result;
    QSet<QString> seenPaths;
    QSet<QString> seenFinal;
    for (const Planned& item : items) {
        const QString& path = item.path;
        struct stat st
        {
        };
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue; // gone since the scan
        const QString name = PathParts::folderName(path);
        if (S_ISLNK(st.st_mode))
            throw BrimvaleError(
                name + QStringLiteral(" is already a symlink — it may have been moved before."));
        const std::optional<QString> itemPath = PathParts::resolved(path);
        if (!itemPath || seenPaths.contains(*itemPath))
            continue;
        seenPaths.insert(*itemPath);
        const QString folder = item.place.isEmpty()
                                   ? *resolvedDestination
                                   : PathParts::join(*resolvedDestination, item.place);
        const QString final = PathParts::join(folder, name);
        if (seenFinal.contains(final))
            throw BrimvaleError(
                QStringLiteral("The destination would contain multiple items named ") + name);
        seenFinal.insert(final);
        if (PosixIO::lexists(final))
            throw BrimvaleError(name + QStringLiteral(" already exists in ") +
                                (item.place.isEmpty() ? folderName : PathParts::folderName(folder)));
        if (*itemPath == *resolvedDestination)
            throw BrimvaleError(QStringLiteral("Source and destination cannot be the same folder"));
        if (PosixIO::isFolder(*itemPath) && destinationPrefix.startsWith(*itemPath + u'/'))
            throw BrimvaleError(QStringLiteral("The destination cannot be inside ") +
                                PathParts::folderName(*itemPath));
        result.push_back(item);
    }
    if (result.isEmpty())
        throw BrimvaleError(QStringLiteral("No model files were found to move"));
    return result;
}

// The items of the entries: each path, an Ollama one in its store's layout; a moved path's target
// in its link's place, the link re-pointed. A moved path already at its place is left alone.
QList<Planned> itemsOf(const QList<ModelEntry>& entries, const QString& destination)
{
    QList<Planned> items;
    for (const ModelEntry& entry : entries) {
        QSet<QString> targets;
        for (const MovedPath& moved : entry.moved)
            targets.insert(moved.target);
        for (const QString& path : entry.allPaths) {
            if (targets.contains(path))
                continue; // moved with its link
            const QString place =
                entry.source == ModelSource::ollama ? ollamaPlace(path) : QString();
            const auto moved = std::find_if(entry.moved.begin(), entry.moved.end(),
                                            [&](const MovedPath& m) { return m.link == path; });
            if (moved == entry.moved.end()) {
                items.push_back({path, place, {}});
                continue;
            }
            const QString folder =
                place.isEmpty() ? destination : PathParts::join(destination, place);
            const std::optional<QString> there =
                PathParts::resolved(PathParts::join(folder, PathParts::folderName(moved->target)));
            if (there && there == PathParts::resolved(moved->target))
                continue; // already moved there, by another entry sharing it
            items.push_back({moved->target, place, path});
        }
    }
    return items;
}

} // namespace

QStringList validatePlan(const QStringList& paths, const QString& destination)
{
    QList<Planned> items;
    for (const QString& path : paths)
        items.push_back({path, {}, {}});
    QStringList result;
    for (const Planned& item : checkedPlan(items, destination))
        result.push_back(item.path);
    return result;
}

namespace {

// Keeps the first problem met.
void record(MoveOutcome& outcome, const QString& message, BrimvaleError::Kind kind)
{
    if (outcome.error)
        return;
    outcome.error = message;
    outcome.errorKind = kind;
}

// Runs the items one after the other through `step`, which is given the progress of its copy and
// returns what the item's move did (nothing: it recorded why the run ends). A stop, between items
// or within one, and a busy lock end the run; the first error is the outcome's.
template <typename Item, typename Step>
void runItems(const QList<Item>& items, const MoveProgress& progress, const StopToken* stop,
              const QString& stoppedText, MoveOutcome& outcome, Step step)
{
    qint64 copiedBefore = 0;
    qint64 copiedInItem = 0;
    const TreeCopier::Progress copied = [&](qint64 bytes) {
        copiedInItem = bytes;
        if (progress.copied)
            progress.copied(copiedBefore + bytes);
    };
    for (const Item& item : items) {
        if (StopToken::requested(stop)) {
            record(outcome, stoppedText, BrimvaleError::Kind::stopped);
            break;
        }
        copiedInItem = 0;
        const std::optional<ItemMover::Result> result = step(item, copied);
        copiedBefore += copiedInItem;
        if (!result)
            break;
        if (result->errorKind == BrimvaleError::Kind::stopped) {
            record(outcome, stoppedText, BrimvaleError::Kind::stopped);
            break;
        }
        if (result->error)
            record(outcome, *result->error, result->errorKind);
        if (result->errorKind == BrimvaleError::Kind::busy)
            break;
    }
}

} // namespace

MoveOutcome move(const QList<ModelEntry>& entries, const QString& to, bool createSymlinks,
                 const MoveProgress& progress, const StopToken* stop, LockWait lockWait)
{
    MoveOutcome outcome;
    for (const ModelEntry& entry : entries) {
        if (const std::optional<QString> unreachable = MovedTargets::unreachable(entry)) {
            record(outcome, *unreachable, BrimvaleError::Kind::unreachable);
            return outcome;
        }
    }
    QList<Planned> items;
    try {
        items = checkedPlan(itemsOf(entries, to), to);
    } catch (const BrimvaleError& error) {
        record(outcome, error.message(), error.kind());
        return outcome;
    }
    runItems(items, progress, stop, QStringLiteral("Stopped — the remaining items were not moved"),
             outcome,
             [&](const Planned& item,
                 const TreeCopier::Progress& copied) -> std::optional<ItemMover::Result> {
                 const QString folder = item.place.isEmpty() ? to : PathParts::join(to, item.place);
                 try {
                     PosixIO::makePath(folder);
                 } catch (const BrimvaleError& error) {
                     record(outcome, error.message(), error.kind());
                     return std::nullopt;
                 }
                 const ItemMover::Options options{createSymlinks && item.relink.isEmpty(),
                                                  progress.stage,
                                                  copied,
                                                  stop,
                                                  lockWait,
                                                  item.relink};
                 const ItemMover::Result result = ItemMover::move(item.path, folder, options);
                 if (result.moved) {
                     const QString target = PathParts::join(folder, PathParts::folderName(item.path));
                     outcome.movedTo.push_back(target);
                     outcome.items.push_back({item.path, target, result.linked});
                 }
                 if (result.linked)
                     outcome.symlinksCreated.push_back(item.relink.isEmpty() ? item.path
                                                                             : item.relink);
                 return result;
             });
    return outcome;
}

MoveOutcome moveBack(const QList<ModelEntry>& entries, const MoveProgress& progress,
                     const StopToken* stop, LockWait lockWait)
{
    MoveOutcome outcome;
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
            record(outcome, *problem, BrimvaleError::Kind::general);
            return outcome;
        }
    }
    runItems(items, progress, stop,
             QStringLiteral("Stopped — the remaining items were not moved back"), outcome,
             [&](const MovedPath& item,
                 const TreeCopier::Progress& copied) -> std::optional<ItemMover::Result> {
                 const ItemMover::Options options{false, progress.stage, copied,
                                                  stop,  lockWait,       {}};
                 const ItemMover::Result result = ItemReturner::moveBack(item, options);
                 if (result.moved) {
                     outcome.movedTo.push_back(item.link);
                     outcome.items.push_back({item.target, item.link, false});
                 }
                 return result;
             });
    return outcome;
}

} // namespace MoveService

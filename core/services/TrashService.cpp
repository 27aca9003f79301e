#include "services/TrashService.h"

#include "fs/FileLock.h"
#include "fs/PathParts.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "fs/XdgTrash.h"
#include "model/BrimvaleError.h"
#include "services/TrashLog.h"
#include "services/TrashStaging.h"
#include "services/TreeRemover.h"

#include <QDateTime>
#include <QFile>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The service's serial queue: one change of the restore log at a time within the process.
std::mutex& logMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Held for every change of the restore log: the process's queue, then the lock file that keeps
// other processes (the app and the CLI) out.
class LogLock
{
public:
    LogLock() : m_queue(logMutex()), m_file(FileLock::inDataDir(TrashLog::fileName)) {}

private:
    std::lock_guard<std::mutex> m_queue;
    FileLock m_file;
};

// Existence as the desktop's file manager tests it outside the Trash: links are followed.
bool exists(const QString& path)
{
    struct stat st
    {
    };
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

QString newId(const QString& modelId)
{
    return modelId + u'-' + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
}

const TrashEntry& recordWithId(const QList<TrashEntry>& log, const QString& id)
{
    const auto found = std::find_if(log.cbegin(), log.cend(),
                                    [&](const TrashEntry& entry) { return entry.id == id; });
    if (found == log.cend())
        throw BrimvaleError(QStringLiteral("Trash entry not found"));
    return *found;
}

// Whether the trashed item is there to act on. Empty and missing items are skipped; an item
// that is there must lie in a Trash's files/ folder, and a missing one on a drive that is not
// connected stops the call.
bool checkedPresent(const QString& item)
{
    if (item.isEmpty())
        return false;
    if (PosixIO::lexists(item)) {
        if (!XdgTrash::isInTrash(item))
            throw BrimvaleError(QStringLiteral("Refusing to touch ") + item +
                                QStringLiteral(": it is not in the Trash"));
        return true;
    }
    if (XdgTrash::isUnreachable(item))
        throw BrimvaleError(QStringLiteral("Cannot reach ") + item +
                            QStringLiteral(": its drive is not connected"));
    return false;
}

[[noreturn]] void throwOccupied(const QString& target)
{
    throw BrimvaleError(QStringLiteral("Something already exists at ") + target +
                        QStringLiteral(". Move it away and try again."));
}

void removeInfoFile(const QString& item, bool mustSucceed)
{
    const QString info = XdgTrash::infoPathOf(item);
    if (::unlink(QFile::encodeName(info).constData()) != 0 && errno != ENOENT && mustSucceed)
        throw BrimvaleError(QStringLiteral("Cannot delete ") + info + QStringLiteral(": ") +
                            BrimvaleError::describe(errno));
}

// Deletes the staged item for good; failures name the item as it lay in the Trash.
void removeStaged(const QString& staged, const QString& item)
{
    const QByteArray bytes = QFile::encodeName(staged);
    const UniqueFd folder(
        ::open(PathParts::parentOf(bytes).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int error =
        folder.isValid() ? TreeRemover::remove(folder.get(), PathParts::nameOf(bytes)) : errno;
    if (error != 0)
        throw BrimvaleError(QStringLiteral("Cannot delete ") + item + QStringLiteral(": ") +
                            BrimvaleError::describe(error));
}

struct Pair
{
    QString target;
    QString item;
};

} // namespace

namespace TrashService {

TrashOutcome moveToTrash(const ModelEntry& model)
{
    QStringList moved;
    QStringList trashed;
    std::optional<QString> error;
    for (const QString& path : model.allPaths) {
        if (!exists(path))
            continue;
        try {
            trashed.push_back(XdgTrash::trashItem(path));
            moved.push_back(path);
        } catch (const BrimvaleError& failure) {
            if (!error)
                error = QStringLiteral("Could not trash ") + path + QStringLiteral(": ") +
                        failure.message();
        }
    }
    if (moved.isEmpty())
        return {std::nullopt,
                error.value_or(QStringLiteral("Nothing left to trash — files are already gone."))};

    TrashEntry entry{newId(model.id),
                     model.name,
                     moved,
                     trashed,
                     QDateTime::currentMSecsSinceEpoch() / 1000, // truncated toward zero
                     model.reclaimableBytes,
                     model.source.rawValue()};
    try {
        const LogLock lock;
        const TrashLog::Contents before = TrashLog::read();
        QList<TrashEntry> log = before.entries;
        log.push_back(entry);
        TrashLog::write(log, before);
    } catch (const BrimvaleError& failure) {
        if (!error)
            error =
                QStringLiteral("Trashed, but could not save the restore log: ") + failure.message();
    } catch (const std::exception& failure) {
        if (!error)
            error = QStringLiteral("Trashed, but could not save the restore log: ") +
                    QString::fromUtf8(failure.what());
    }
    return {std::move(entry), error};
}

QList<TrashEntry> entries()
{
    QList<TrashEntry> listed = TrashLog::read().entries;
    listed.removeIf([](const TrashEntry& entry) {
        return std::none_of(
            entry.trashedPaths.cbegin(), entry.trashedPaths.cend(),
            [](const QString& path) { return !path.isEmpty() && PosixIO::lexists(path); });
    });
    std::stable_sort(listed.begin(), listed.end(), [](const TrashEntry& a, const TrashEntry& b) {
        return a.trashedAt > b.trashedAt;
    });
    return listed;
}

QStringList restore(const QString& id)
{
    const LogLock lock;
    const TrashLog::Contents before = TrashLog::read();
    TrashStaging::sweep(before.entries);
    const TrashEntry& record = recordWithId(before.entries, id);

    QList<Pair> pairs;
    const qsizetype count = std::min(record.originalPaths.size(), record.trashedPaths.size());
    for (qsizetype i = 0; i < count; ++i) {
        if (checkedPresent(record.trashedPaths[i]))
            pairs.push_back({record.originalPaths[i], record.trashedPaths[i]});
    }
    for (const Pair& pair : pairs) {
        if (!pair.target.startsWith(u'/'))
            throw BrimvaleError(QStringLiteral("Cannot restore ") + pair.target +
                                QStringLiteral(": ") + BrimvaleError::describe(EINVAL));
        if (PosixIO::lexists(pair.target))
            throwOccupied(pair.target);
    }

    QStringList restored;
    for (const Pair& pair : pairs) {
        PosixIO::makePath(QFile::decodeName(PathParts::parentOf(QFile::encodeName(pair.target))));
        const int error = PosixIO::renameNoReplace(pair.item, pair.target);
        if (error == EEXIST)
            throwOccupied(pair.target);
        if (error != 0)
            throw BrimvaleError(QStringLiteral("Cannot restore ") + pair.target +
                                QStringLiteral(": ") + BrimvaleError::describe(error));
        // The item is back; a .trashinfo left over would only show a broken entry.
        removeInfoFile(pair.item, false);
        restored.push_back(pair.target);
    }
    TrashLog::write(TrashLog::without(before.entries, id), before);
    return restored;
}

void deletePermanently(const QString& id)
{
    const LogLock lock;
    const TrashLog::Contents before = TrashLog::read();
    TrashStaging::sweep(before.entries);
    const TrashEntry& record = recordWithId(before.entries, id);

    QList<Pair> staged; // target: the staging path
    for (const QString& item : record.trashedPaths) {
        if (checkedPresent(item))
            staged.push_back({TrashStaging::stagedPathOf(item), item});
    }
    const auto unstage = [&](qsizetype count) {
        for (qsizetype i = 0; i < count; ++i)
            (void)PosixIO::renameNoReplace(staged[i].target, staged[i].item);
    };
    for (qsizetype i = 0; i < staged.size(); ++i) {
        const int error = PosixIO::renameNoReplace(staged[i].item, staged[i].target);
        if (error != 0) {
            unstage(i);
            throw BrimvaleError(QStringLiteral("Cannot delete ") + staged[i].item +
                                QStringLiteral(": ") + BrimvaleError::describe(error));
        }
    }
    try {
        TrashLog::write(TrashLog::without(before.entries, id), before);
    } catch (...) {
        unstage(staged.size());
        throw;
    }
    for (const Pair& pair : staged) {
        removeStaged(pair.target, pair.item);
        removeInfoFile(pair.item, true);
    }
}

} // namespace TrashService

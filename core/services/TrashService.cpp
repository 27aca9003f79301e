#include "services/TrashService.h"

#include "fs/FileLock.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "fs/XdgTrash.h"
#include "model/BrimvaleError.h"
#include "model/PathParts.h"
#include "services/MovedTargets.h"
#include "services/TrashLog.h"
#include "services/TrashStaging.h"
#include "services/TreeRemover.h"

#include <QDateTime>
#include <QFile>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

using Kind = BrimvaleError::Kind;

const QString kBusy =
    QStringLiteral("Another Brimvale is working on the Trash — try again in a moment");

// The service's serial queue: one change of the restore log at a time within the process.
std::timed_mutex& logMutex()
{
    static std::timed_mutex mutex;
    return mutex;
}

// Held for every change of the restore log: the process's queue, then the lock file that keeps
// other processes (the app and the CLI) out. A limited wait covers both; running out of it
// throws BrimvaleError of kind busy.
class LogLock
{
public:
    explicit LogLock(LockWait wait)
        : m_deadline(std::chrono::steady_clock::now() + wait.value_or(LockWait::value_type{})),
          m_queue(lockQueue(wait.has_value())),
          m_file(FileLock::inDataDir(TrashLog::fileName, remaining(wait.has_value()), kBusy))
    {}

private:
    std::unique_lock<std::timed_mutex> lockQueue(bool limited) const
    {
        std::unique_lock<std::timed_mutex> lock(logMutex(), std::defer_lock);
        if (!limited)
            lock.lock();
        else if (!lock.try_lock_until(m_deadline))
            throw BrimvaleError(kBusy, Kind::busy);
        return lock;
    }
    LockWait remaining(bool limited) const
    {
        if (!limited)
            return std::nullopt;
        return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                            m_deadline - std::chrono::steady_clock::now()),
                        std::chrono::milliseconds{0});
    }

    std::chrono::steady_clock::time_point m_deadline;
    std::unique_lock<std::timed_mutex> m_queue;
    FileLock m_file;
};

QString newId(const QString& modelId)
{
    return modelId + u'-' + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
}

// The first record with the id, checked to hold no path that cannot name a file.
const TrashEntry& recordWithId(const QList<TrashEntry>& log, const QString& id)
{
    const auto found = std::find_if(log.cbegin(), log.cend(),
                                    [&](const TrashEntry& entry) { return entry.id == id; });
    if (found == log.cend())
        throw BrimvaleError(QStringLiteral("Trash entry not found"), Kind::notFound);
    if (std::any_of(found->originalPaths.cbegin(), found->originalPaths.cend(),
                    PathParts::holdsNul) ||
        std::any_of(found->trashedPaths.cbegin(), found->trashedPaths.cend(), PathParts::holdsNul))
        throw BrimvaleError(QStringLiteral("Invalid path"), Kind::invalidPath);
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
                                    QStringLiteral(": it is not in the Trash"),
                                Kind::notInTrash);
        return true;
    }
    if (XdgTrash::isUnreachable(item))
        throw BrimvaleError(QStringLiteral("Cannot reach ") + item +
                                QStringLiteral(": its drive is not connected"),
                            Kind::unreachable);
    return false;
}

struct Pair
{
    QString target; // the old path, or the staging path of an item being deleted
    QString item;
};

// The record's items that are its own and still in the Trash, paired with their old paths.
// Every item is checked (in a Trash, on a connected drive) before the first is paired, so a
// refusal touches nothing.
QList<Pair> ownItems(const TrashEntry& record)
{
    QList<Pair> pairs;
    const qsizetype count = std::min(record.originalPaths.size(), record.trashedPaths.size());
    for (qsizetype i = 0; i < count; ++i) {
        if (checkedPresent(record.trashedPaths[i]))
            pairs.push_back({record.originalPaths[i], record.trashedPaths[i]});
    }
    pairs.removeIf([&](const Pair& pair) {
        return !XdgTrash::isItemOf(pair.item, pair.target, record.id, record.trashedAt);
    });
    return pairs;
}

[[noreturn]] void throwOccupied(const QString& target)
{
    throw BrimvaleError(QStringLiteral("Something already exists at ") + target +
                            QStringLiteral(". Move it away and try again."),
                        Kind::occupied);
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

// Runs the step and keeps its first error, with its kind, in the outcome.
template <typename Outcome, typename Step> void recordFailure(Outcome& outcome, Step step)
{
    try {
        step();
    } catch (const BrimvaleError& failure) {
        outcome.error = failure.message();
        outcome.errorKind = failure.kind();
    } catch (const std::exception& failure) {
        outcome.error = QString::fromUtf8(failure.what());
        outcome.errorKind = Kind::general;
    }
}

// Runs the step under the log lock on the log as read (leftovers of an interrupted deletion swept
// first) and on the own items of the record with the id; the first error goes into the outcome.
template <typename Outcome, typename Step>
Outcome onRecord(const QString& id, LockWait wait, Step step)
{
    Outcome outcome;
    recordFailure(outcome, [&] {
        const LogLock lock(wait);
        const TrashLog::Contents before = TrashLog::read();
        TrashStaging::sweep(before.entries);
        step(outcome, before, ownItems(recordWithId(before.entries, id)));
    });
    return outcome;
}

// Trashes the model's items and appends its record to the journal, never reading the log, so
// the work is the same whatever the log holds.
TrashOutcome trashOne(const ModelEntry& model, LockWait wait)
{
    TrashOutcome outcome;
    const auto fail = [&](const QString& path, const QString& description, Kind kind) {
        if (!outcome.error) {
            outcome.error =
                QStringLiteral("Could not trash ") + path + QStringLiteral(": ") + description;
            outcome.errorKind = kind;
        }
    };
    if (const std::optional<QString> unreachable = MovedTargets::unreachable(model)) {
        outcome.error = *unreachable;
        outcome.errorKind = Kind::unreachable;
        return outcome;
    }
    QStringList present;
    for (const QString& path : model.allPaths) {
        if (PathParts::holdsNul(path))
            fail(path, QStringLiteral("Invalid path"), Kind::invalidPath);
        else if (PosixIO::exists(path))
            present.push_back(path);
    }
    if (present.isEmpty()) {
        if (!outcome.error) {
            outcome.error = QStringLiteral("Nothing left to trash — files are already gone.");
            outcome.errorKind = Kind::nothingLeft;
        }
        return outcome;
    }

    // The log's lock is had before anything moves, so a busy log leaves everything in place.
    // Another failure to lock is met again, and reported, when the record is appended.
    std::optional<LogLock> lock;
    try {
        lock.emplace(wait);
    } catch (const BrimvaleError& failure) {
        if (failure.kind() == Kind::busy)
            return {std::nullopt, failure.message(), Kind::busy};
    }

    // The id is in each item's .trashinfo, which ties the item to this record alone.
    const QString id = newId(model.id);
    QStringList moved;
    QStringList trashed;
    for (const QString& path : present) {
        try {
            trashed.push_back(XdgTrash::trashItem(path, id));
            moved.push_back(path);
        } catch (const BrimvaleError& failure) {
            fail(path, failure.message(), failure.kind());
        }
    }
    if (moved.isEmpty())
        return outcome;

    TrashEntry entry{id,
                     model.name,
                     moved,
                     trashed,
                     QDateTime::currentMSecsSinceEpoch() / 1000, // truncated toward zero
                     model.reclaimableBytes,
                     model.source.rawValue()};
    TrashOutcome saving;
    recordFailure(saving, [&] {
        if (!lock)
            lock.emplace(std::nullopt); // items are in the Trash: wait as long as it takes
        TrashLog::append(entry);
    });
    if (saving.error && !outcome.error) {
        outcome.error =
            QStringLiteral("Trashed, but could not save the restore log: ") + *saving.error;
        outcome.errorKind = saving.errorKind;
    }
    outcome.entry = std::move(entry);
    return outcome;
}

// Writes the log with the journal folded in, once per call that trashed something. The records
// are safe in the journal already, so a busy log or a failure leaves the fold to the next write.
void foldJournal(LockWait wait)
{
    try {
        const LogLock lock(wait);
        TrashLog::fold();
    } catch (const std::exception&) {
    }
}

} // namespace

namespace TrashService {

TrashOutcome moveToTrash(const ModelEntry& model, LockWait wait)
{
    TrashOutcome outcome = trashOne(model, wait);
    if (outcome.entry)
        foldJournal(wait);
    return outcome;
}

QList<TrashOutcome> moveToTrash(const QList<ModelEntry>& models, const StopToken* stop,
                                LockWait wait)
{
    QList<TrashOutcome> outcomes;
    bool recorded = false;
    for (const ModelEntry& model : models) {
        if (StopToken::requested(stop))
            break;
        outcomes.push_back(trashOne(model, wait));
        recorded = recorded || outcomes.back().entry;
        if (outcomes.back().errorKind == Kind::busy)
            break;
    }
    if (recorded)
        foldJournal(wait);
    return outcomes;
}

QList<TrashEntry> entries()
{
    QList<TrashEntry> listed = TrashLog::read().entries;
    listed.removeIf([](const TrashEntry& entry) {
        const qsizetype count = std::min(entry.originalPaths.size(), entry.trashedPaths.size());
        for (qsizetype i = 0; i < count; ++i) {
            const QString& item = entry.trashedPaths[i];
            if (!item.isEmpty() && PosixIO::lexists(item) &&
                XdgTrash::isItemOf(item, entry.originalPaths[i], entry.id, entry.trashedAt))
                return false;
        }
        return true;
    });
    std::stable_sort(listed.begin(), listed.end(), [](const TrashEntry& a, const TrashEntry& b) {
        return a.trashedAt > b.trashedAt;
    });
    return listed;
}

RestoreOutcome restore(const QString& id, LockWait wait)
{
    return onRecord<RestoreOutcome>(
        id, wait,
        [&](RestoreOutcome& outcome, const TrashLog::Contents& before, const QList<Pair>& pairs) {
            if (pairs.isEmpty()) {
                TrashLog::write(TrashLog::without(before.entries, id), before);
                throw BrimvaleError(
                    QStringLiteral(
                        "Nothing left to restore — the items are no longer in the Trash"),
                    Kind::nothingLeft);
            }
            for (const Pair& pair : pairs) {
                if (!pair.target.startsWith(u'/'))
                    throw BrimvaleError(QStringLiteral("Cannot restore ") + pair.target +
                                            QStringLiteral(": ") + BrimvaleError::describe(EINVAL),
                                        Kind::invalidPath);
                if (PosixIO::lexists(pair.target))
                    throwOccupied(pair.target);
            }
            for (const Pair& pair : pairs) {
                PosixIO::makePath(
                    QFile::decodeName(PathParts::parentOf(QFile::encodeName(pair.target))));
                const int error = PosixIO::renameNoReplace(pair.item, pair.target);
                if (error == EEXIST)
                    throwOccupied(pair.target);
                if (error != 0)
                    throw BrimvaleError(QStringLiteral("Cannot restore ") + pair.target +
                                        QStringLiteral(": ") + BrimvaleError::describe(error));
                // The item is back; a .trashinfo left over would only show a broken entry.
                removeInfoFile(pair.item, false);
                outcome.restored.push_back(pair.target);
            }
            TrashLog::write(TrashLog::without(before.entries, id), before);
        });
}

DeleteOutcome deletePermanently(const QString& id, LockWait wait)
{
    return onRecord<DeleteOutcome>(
        id, wait,
        [&](DeleteOutcome& outcome, const TrashLog::Contents& before, QList<Pair> staged) {
            // Each item is first renamed to its staging path, then removed for good.
            for (Pair& pair : staged)
                pair.target = TrashStaging::stagedPathOf(pair.item);
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
                outcome.deleted.push_back(pair.item);
            }
        });
}

} // namespace TrashService

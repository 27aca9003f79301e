#include "services/DedupeService.h"

#include "fs/BlockLayout.h"
#include "fs/BlockSharing.h"
#include "fs/ExtendedAttributes.h"
#include "fs/Mounts.h"
#include "fs/ReadLease.h"
#include "fs/UniqueFd.h"
#include "fs/VolumeInfo.h"
#include "model/BrimvaleError.h"
#include "model/PathParts.h"
#include "scanners/ContentHash.h"
#include "services/HardLinkSwap.h"

#include <QFile>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace DedupeService {

namespace {

using Kind = BrimvaleError::Kind;

const QString kInvalidPath = QStringLiteral("Invalid path");
const QString kOtherFilesystem = QStringLiteral("On another filesystem than the copy that stays");
const QString kChanged = QStringLiteral("Changed since the scan — scan again");
const QString kKeepPrefix = QStringLiteral("The copy that stays: ");
const QString kSameFile = QStringLiteral("Already the same file as the copy that stays");
const QString kDiffers = QStringLiteral("Content differs from the copy that stays");
const QString kPartly = QStringLiteral("The filesystem shared only part of the file");
const QString kCannotShare = QStringLiteral(
    "This filesystem cannot share blocks — use --hard-link to replace the copy by a hard link");
const QString kOwner = QStringLiteral("Different permissions or owner than the copy that stays");
const QString kAttributes =
    QStringLiteral("Different ACLs or extended attributes than the copy that stays");
const QString kOtherName = QStringLiteral("Another name still holds this file");
const QString kWriter = QStringLiteral("A program has this file open for writing");
const QString kNoLease = QStringLiteral("Cannot tell whether a program writes to this file: ");
const QString kStoredOnce = QStringLiteral("Already stored once");
const QString kStopped = QStringLiteral("Stopped — the remaining files were not freed");
const QString kBusy =
    QStringLiteral("Another Brimvale is freeing duplicates — try again in a moment");

// Free bytes an unprivileged user can still write on the filesystem holding the folder.
qint64 freeBytes(const QByteArray& folder)
{
    const std::optional<VolumeInfo::Capacity> capacity =
        VolumeInfo::capacity(QFile::decodeName(folder));
    return capacity ? capacity->available : 0;
}

// Why the file's read lease could not be taken, for the user.
QString leaseProblem(int error)
{
    return error == EAGAIN ? kWriter : kNoLease + BrimvaleError::describe(error);
}

// Opens a regular file for reading; the reason is set when it cannot be.
UniqueFd openFile(const QString& path, struct stat& st, QString& reason)
{
    errno = 0;
    FileIdentity ignored;
    UniqueFd fd = ContentHash::openRegular(path, ignored);
    if (!fd.isValid())
        reason = errno != 0 ? BrimvaleError::describe(errno) : kChanged; // no longer a file
    else if (::fstat(fd.get(), &st) != 0)
        reason = BrimvaleError::describe(errno);
    return reason.isEmpty() ? std::move(fd) : UniqueFd();
}

// The file at the path opened for writing, when it is still the file `expected` names (some
// kernels share blocks only into a file open for writing). Never truncates.
UniqueFd openWritable(const QString& path, const FileIdentity& expected)
{
    UniqueFd fd(::open(QFile::encodeName(path).constData(),
                       O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st
    {
    };
    if (!fd.isValid() || ::fstat(fd.get(), &st) != 0 || !FileIdentity::of(st).sameFile(expected))
        return UniqueFd();
    return fd;
}

// The changes the run itself makes to the copies that stay: a link made or removed changes a
// file's link count and so its status-change time, which must not read as a change since the
// scan.
class OwnChanges
{
public:
    void record(const FileIdentity& before, const FileIdentity& after)
    {
        if (before == after || !before.sameFile(after) || before.size != after.size ||
            before.modifiedNs != after.modifiedNs)
            return;
        m_origin.insert(after, m_origin.value(before, before));
    }

    // Whether the file is as scanned, or became what it is only through the run's own links.
    [[nodiscard]] bool asScanned(const FileIdentity& now, const FileIdentity& scanned) const
    {
        return now == scanned || m_origin.value(now, now) == scanned;
    }

private:
    QHash<FileIdentity, FileIdentity> m_origin; // identity now -> identity before the run
};

// The two files of an item, open, as they were when opened.
struct Pair
{
    UniqueFd keep;
    UniqueFd duplicate;
    UniqueFd writable; // the duplicate open for writing, when the kernel wants that to share
    struct stat keepStat
    {
    };
    struct stat stat
    {
    };

    [[nodiscard]] FileIdentity keepNow() const { return FileIdentity::of(keepStat); }
    [[nodiscard]] FileIdentity now() const { return FileIdentity::of(stat); }
    // The descriptor blocks are shared into.
    [[nodiscard]] int target() const
    {
        return writable.isValid() ? writable.get() : duplicate.get();
    }
};

struct Volume
{
    quint64 device = 0;
    QByteArray folder; // where statvfs is asked
    FreedSpace space;
};

class Run
{
public:
    Run(const DedupePlan::Plan& plan, const Options& options) : m_plan(plan), m_options(options) {}

    DedupeOutcome run()
    {
        m_outcome.files = m_plan.skipped;
        std::optional<FileLock> lock;
        if (!m_options.dryRun) {
            try {
                lock.emplace(
                    FileLock::inDataDir(QStringLiteral("dedupe"), m_options.lockWait, kBusy));
            } catch (const BrimvaleError& error) {
                record(error.message(), error.kind());
                for (const DedupeItem& item : m_plan.items)
                    m_outcome.files.push_back(fileOf(item, error.message()));
                return m_outcome;
            }
        }
        measureBefore();
        if (!m_options.dryRun)
            removeLeftovers();
        for (const DedupeItem& item : m_plan.items) {
            DedupedFile file = fileOf(item);
            if (!m_stopped && StopToken::requested(m_options.stop))
                stop(file);
            else if (m_stopped)
                file.reason = kStopped;
            else
                freeOne(item, file);
            m_outcome.files.push_back(file);
        }
        creditVolumes();
        for (Volume& volume : m_volumes) {
            if (!m_options.dryRun)
                VolumeInfo::writeBack(QFile::decodeName(volume.folder));
            volume.space.freeAfter =
                m_options.dryRun ? volume.space.freeBefore : freeBytes(volume.folder);
            m_outcome.filesystems.push_back(volume.space);
        }
        return m_outcome;
    }

private:
    static DedupedFile fileOf(const DedupeItem& item, std::optional<QString> reason = {})
    {
        return {item.entryId, item.path, item.keepPath, 0, false, std::move(reason)};
    }

    void record(const QString& message, Kind kind)
    {
        if (m_outcome.error)
            return;
        m_outcome.error = message;
        m_outcome.errorKind = kind;
    }

    void refuse(DedupedFile& file, const QString& reason, Kind kind = Kind::general)
    {
        file.reason = reason;
        record(kind == Kind::general
                   ? QStringLiteral("Could not free ") + file.path + QStringLiteral(": ") + reason
                   : reason,
               kind);
    }

    void stop(DedupedFile& file)
    {
        m_stopped = true;
        refuse(file, kStopped, Kind::stopped);
    }

    // The folders holding the duplicates, each once, in plan order.
    QList<QByteArray> duplicateFolders() const
    {
        QList<QByteArray> folders;
        for (const DedupeItem& item : m_plan.items) {
            const QByteArray folder = PathParts::parentOf(QFile::encodeName(item.path));
            if (!PathParts::holdsNul(item.path) && !folders.contains(folder))
                folders.push_back(folder);
        }
        return folders;
    }

    void measureBefore()
    {
        for (const QByteArray& folder : duplicateFolders()) {
            struct stat st
            {
            };
            if (::stat(folder.constData(), &st) != 0 ||
                std::any_of(m_volumes.begin(), m_volumes.end(),
                            [&](const Volume& v) { return v.device == quint64(st.st_dev); }))
                continue;
            const QByteArray mount =
                Mounts::topDirectoryOf(PathParts::resolved(folder).value_or(folder));
            m_volumes.push_back(
                {quint64(st.st_dev), folder, {QFile::decodeName(mount), freeBytes(folder), 0, 0}});
        }
    }

    // Adds the bytes of each file freed to the filesystem holding it.
    void creditVolumes()
    {
        for (const DedupedFile& file : m_outcome.files) {
            struct stat st
            {
            };
            if (!file.freed() || PathParts::holdsNul(file.path) ||
                ::stat(PathParts::parentOf(QFile::encodeName(file.path)).constData(), &st) != 0)
                continue;
            for (Volume& volume : m_volumes)
                if (volume.device == quint64(st.st_dev))
                    volume.space.bytesShared += file.bytesShared;
        }
    }

    void removeLeftovers()
    {
        for (const QByteArray& folder : duplicateFolders()) {
            const HardLinkSwap::Sweep sweep =
                HardLinkSwap::removeLeftovers(QFile::decodeName(folder));
            for (const HardLinkSwap::Relinked& file : sweep.relinked)
                m_own.record(file.before, file.after);
            m_outcome.notes += sweep.left;
        }
    }

    void freeOne(const DedupeItem& item, DedupedFile& file)
    {
        if (PathParts::holdsNul(item.path) || PathParts::holdsNul(item.keepPath))
            return refuse(file, kInvalidPath, Kind::invalidPath);
        Pair pair;
        QString reason;
        pair.keep = openFile(item.keepPath, pair.keepStat, reason);
        if (!reason.isEmpty())
            return refuse(file, reason == kChanged ? reason : kKeepPrefix + reason);
        pair.duplicate = openFile(item.path, pair.stat, reason);
        if (!reason.isEmpty())
            return refuse(file, reason);
        if (pair.keepNow().device != pair.now().device)
            return refuse(file, kOtherFilesystem);
        if (!m_own.asScanned(pair.now(), item.identity) ||
            !m_own.asScanned(pair.keepNow(), item.keepIdentity))
            return refuse(file, kChanged);
        if (pair.now().sameFile(pair.keepNow()))
            return refuse(file, kSameFile);
        if (storedOnce(pair))
            return refuse(file, kStoredOnce);

        if (const int error = sharingError(item, pair); error == 0) {
            if (m_options.dryRun) {
                file.bytesShared = pair.now().size;
                return;
            }
            if (shareBlocks(pair, file))
                return;
        } else if (!BlockSharing::unsupported(error)) {
            return refuse(file, BrimvaleError::describe(error));
        }
        linkInstead(item, pair, file);
    }

    // Whether every data extent of the duplicate is the copy's own, in the same place: sharing
    // would free nothing.
    static bool storedOnce(const Pair& pair)
    {
        const std::optional<QByteArray> keep = BlockLayout::of(pair.keep.get());
        return keep && keep == BlockLayout::of(pair.duplicate.get());
    }

    // 0 when the kernel will share blocks between the two files, else an errno value. Opens
    // the duplicate for writing too when the kernel asks for that.
    static int sharingError(const DedupeItem& item, Pair& pair)
    {
        int error = BlockSharing::probe(pair.keep.get(), pair.duplicate.get());
        if (error != 0 && BlockSharing::wantsWritable(error)) {
            pair.writable = openWritable(item.path, pair.now());
            if (pair.writable.isValid())
                error = BlockSharing::probe(pair.keep.get(), pair.writable.get());
        }
        if (error == 0 && !BlockSharing::featureEnabled(pair.keep.get()))
            error = EOPNOTSUPP;
        return error;
    }

    // Shares the duplicate's blocks with the copy that stays; false when the filesystem turns
    // out to have the call but not the feature, so nothing was done.
    bool shareBlocks(Pair& pair, DedupedFile& file)
    {
        const qint64 size = pair.now().size;
        BlockSharing::Result shared =
            BlockSharing::share(pair.keep.get(), pair.target(), 0, size, m_options.stop);
        if (shared.end == BlockSharing::Result::End::failed &&
            BlockSharing::wantsWritable(shared.error) && !pair.writable.isValid()) {
            pair.writable = openWritable(file.path, pair.now());
            if (pair.writable.isValid()) {
                const qint64 done = shared.bytesShared;
                shared = BlockSharing::share(pair.keep.get(), pair.writable.get(), done, size,
                                             m_options.stop);
                shared.bytesShared += done;
            }
        }
        file.bytesShared = shared.bytesShared;
        using End = BlockSharing::Result::End;
        switch (shared.end) {
        case End::done:
            noteOwnChange(pair);
            return true;
        case End::differs:
            refuse(file, kDiffers);
            return true;
        case End::stopped:
            stop(file);
            return true;
        case End::incomplete:
            refuse(file, kPartly);
            return true;
        case End::failed:
            if (shared.bytesShared == 0 && BlockSharing::unsupported(shared.error))
                return false;
            refuse(file, BrimvaleError::describe(shared.error));
            return true;
        }
        return true;
    }

    // Replaces the duplicate by a hard link to the copy that stays, once both are verified,
    // holding a read lease on the duplicate from before the check of its content until the
    // link took its place: a program writing to it would go on writing to the replaced file.
    void linkInstead(const DedupeItem& item, Pair& pair, DedupedFile& file)
    {
        if (!m_options.hardLink)
            return refuse(file, kCannotShare);
        if (pair.keepStat.st_mode != pair.stat.st_mode ||
            pair.keepStat.st_uid != pair.stat.st_uid || pair.keepStat.st_gid != pair.stat.st_gid)
            return refuse(file, kOwner);
        if (const std::optional<QString> problem = attributesProblem(pair))
            return refuse(file, *problem);
        if (pair.stat.st_nlink > 1)
            return refuse(file, kOtherName);
        pair.writable = UniqueFd(); // the run's own, which would keep the lease from being taken
        const ReadLease lease(pair.duplicate.get());
        if (lease.error() != 0)
            return refuse(file, leaseProblem(lease.error()));
        if (!m_options.dryRun) {
            if (const std::optional<QString> problem = verify(pair, item.hash))
                return *problem == kStopped ? stop(file) : refuse(file, *problem);
            const HardLinkSwap::Outcome swapped =
                HardLinkSwap::swap(item.keepPath, pair.keepNow(), item.path, pair.now(), lease);
            if (swapped.end == HardLinkSwap::Outcome::End::changed)
                return refuse(file, kChanged);
            if (swapped.end == HardLinkSwap::Outcome::End::written)
                return refuse(file, kWriter);
            if (swapped.end == HardLinkSwap::Outcome::End::failed)
                return refuse(file, BrimvaleError::describe(swapped.error));
            noteOwnChange(pair);
        }
        file.bytesShared = pair.now().size;
        file.hardLinked = true;
    }

    // Why the duplicate's extended attributes (ACLs among them) keep it from being replaced by
    // the copy that stays, if they do: they would be lost.
    static std::optional<QString> attributesProblem(const Pair& pair)
    {
        ExtendedAttributes::List keep;
        ExtendedAttributes::List duplicate;
        int error = ExtendedAttributes::read(pair.keep.get(), keep);
        if (error == 0)
            error = ExtendedAttributes::read(pair.duplicate.get(), duplicate);
        if (error != 0)
            return BrimvaleError::describe(error);
        if (!ExtendedAttributes::same(std::move(keep), std::move(duplicate)))
            return kAttributes;
        return std::nullopt;
    }

    // Hashes both open files again: both must still hold the scanned content and be unchanged
    // while they were read. Returns what is wrong, if anything.
    std::optional<QString> verify(const Pair& pair, const QString& hash) const
    {
        const std::optional<QString> keepHash =
            ContentHash::fullHash(pair.keep.get(), pair.keepNow().size, nullptr, m_options.stop);
        const std::optional<QString> duplicateHash =
            keepHash ? ContentHash::fullHash(pair.duplicate.get(), pair.now().size, nullptr,
                                             m_options.stop)
                     : std::nullopt;
        if (StopToken::requested(m_options.stop))
            return kStopped;
        struct stat keepAfter
        {
        };
        struct stat after
        {
        };
        if (::fstat(pair.keep.get(), &keepAfter) != 0 || ::fstat(pair.duplicate.get(), &after) != 0)
            return BrimvaleError::describe(errno);
        if (FileIdentity::of(keepAfter) != pair.keepNow() || FileIdentity::of(after) != pair.now())
            return kChanged;
        if (!keepHash || !duplicateHash)
            return BrimvaleError::describe(EIO);
        if (*keepHash != hash || *duplicateHash != hash)
            return kChanged;
        return std::nullopt;
    }

    // The copy that stays may have a new status-change time from the run's own work.
    void noteOwnChange(const Pair& pair)
    {
        struct stat st
        {
        };
        if (::fstat(pair.keep.get(), &st) == 0)
            m_own.record(pair.keepNow(), FileIdentity::of(st));
    }

    const DedupePlan::Plan& m_plan;
    const Options& m_options;
    DedupeOutcome m_outcome;
    OwnChanges m_own;
    QList<Volume> m_volumes;
    bool m_stopped = false;
};

} // namespace

bool canShareBlocks(const QString& path)
{
    if (PathParts::holdsNul(path))
        return false;
    FileIdentity identity;
    const UniqueFd fd = ContentHash::openRegular(path, identity);
    if (!fd.isValid())
        return false;
    int error = BlockSharing::probe(fd.get(), fd.get());
    if (error != 0 && BlockSharing::wantsWritable(error))
        if (const UniqueFd writable = openWritable(path, identity); writable.isValid())
            error = BlockSharing::probe(fd.get(), writable.get());
    return error == 0 && BlockSharing::featureEnabled(fd.get());
}

DedupeOutcome run(const DedupePlan::Plan& plan, const Options& options)
{
    return Run(plan, options).run();
}

} // namespace DedupeService

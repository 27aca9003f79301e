#include "services/HardLinkSwap.h"

#include "fs/ReadLease.h"
#include "fs/UniqueFd.h"
#include "model/BrimvaleError.h"
#include "model/PathParts.h"
#include "services/ItemMover.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace HardLinkSwap {

namespace {

UniqueFd openFolder(const QByteArray& folder)
{
    return UniqueFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Whether the entry is the file `expected` names with its content unchanged (the link count and
// status-change time may differ).
bool isFile(int folder, const QByteArray& name, const FileIdentity& expected)
{
    struct stat st
    {
    };
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    const FileIdentity now = FileIdentity::of(st);
    return now.sameFile(expected) && now.size == expected.size &&
           now.modifiedNs == expected.modifiedNs;
}

// The names in the folder, those with the prefix apart from the others.
struct Names
{
    QList<QByteArray> leftovers;
    QList<QByteArray> others;
};

Names namesIn(int folder)
{
    Names names;
    // fdopendir takes over the descriptor it is given; the folder's own stays for the calls.
    DIR* listing = ::fdopendir(::dup(folder));
    if (listing == nullptr)
        return names;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith(kPrefix))
            names.leftovers.push_back(name);
        else if (name != "." && name != "..")
            names.others.push_back(name);
    }
    ::closedir(listing);
    return names;
}

// The name among `names` whose temporary name `leftover` is, if any.
std::optional<QByteArray> ownerOf(const QByteArray& leftover, const QList<QByteArray>& names)
{
    for (const QByteArray& name : names) {
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            if (temporaryName(name, attempt) == leftover)
                return name;
        }
    }
    return std::nullopt;
}

// Reads exactly `size` bytes at the offset; false (errno set) when it cannot.
bool readFully(int fd, char* into, qsizetype size, off_t offset)
{
    for (qsizetype done = 0; done < size;) {
        const ssize_t n = ::pread(fd, into + done, size_t(size - done), offset + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO; // shorter than it said
            return false;
        }
        done += n;
    }
    return true;
}

// Whether both open files hold the same bytes; nothing (errno set) when one cannot be read.
std::optional<bool> sameContent(int one, int two)
{
    struct stat a
    {
    };
    struct stat b
    {
    };
    if (::fstat(one, &a) != 0 || ::fstat(two, &b) != 0)
        return std::nullopt;
    if (!S_ISREG(b.st_mode) || a.st_size != b.st_size)
        return false;
    constexpr qsizetype kChunk = qsizetype(1) << 20;
    QByteArray first(kChunk, Qt::Uninitialized);
    QByteArray second(kChunk, Qt::Uninitialized);
    for (off_t offset = 0; offset < a.st_size; offset += kChunk) {
        const qsizetype size = qsizetype(std::min<off_t>(kChunk, a.st_size - offset));
        if (!readFully(one, first.data(), size, offset) ||
            !readFully(two, second.data(), size, offset))
            return std::nullopt;
        if (QByteArrayView(first.constData(), size) != QByteArrayView(second.constData(), size))
            return false;
    }
    return true;
}

QString displayed(const QString& folder, const QByteArray& name)
{
    return PathParts::join(folder, QFile::decodeName(name));
}

// Removes a leftover with one link when the file it was made for holds the same bytes; else
// tells why it stays.
std::optional<QString> removeLonely(int dir, const QString& folder, const QByteArray& leftover,
                                    const QList<QByteArray>& others)
{
    const QString path = displayed(folder, leftover);
    const std::optional<QByteArray> owner = ownerOf(leftover, others);
    if (!owner)
        return QStringLiteral("Left %1: an interrupted dedupe made it, and the file it was made "
                              "for is gone")
            .arg(path);
    const UniqueFd left(
        ::openat(dir, leftover.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const UniqueFd file(
        ::openat(dir, owner->constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const std::optional<bool> same =
        left.isValid() && file.isValid() ? sameContent(left.get(), file.get()) : std::nullopt;
    if (!same)
        return QStringLiteral("Left %1: %2").arg(path, BrimvaleError::describe(errno));
    if (!*same)
        return QStringLiteral("Left %1: an interrupted dedupe made it, and its content differs "
                              "from %2")
            .arg(path, displayed(folder, *owner));
    struct stat opened
    {
    };
    struct stat now
    {
    };
    if (::fstat(left.get(), &opened) != 0 ||
        ::fstatat(dir, leftover.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        FileIdentity::of(now) != FileIdentity::of(opened) || now.st_nlink != 1 ||
        ::unlinkat(dir, leftover.constData(), 0) != 0)
        return QStringLiteral("Left %1: it changed while it was compared").arg(path);
    return std::nullopt;
}

} // namespace

QByteArray temporaryName(const QByteArray& name, int attempt)
{
    const QByteArray prefix =
        attempt == 0 ? QByteArray(kPrefix) : kPrefix + QByteArray::number(attempt) + '-';
    return ItemMover::temporaryName(prefix, name);
}

Sweep removeLeftovers(const QString& folder)
{
    Sweep sweep;
    const UniqueFd dir = openFolder(QFile::encodeName(folder));
    if (!dir.isValid())
        return sweep;
    const Names names = namesIn(dir.get());
    bool changed = false;
    for (const QByteArray& name : names.leftovers) {
        const UniqueFd file(::openat(dir.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat before
        {
        };
        if (!file.isValid() || ::fstat(file.get(), &before) != 0 || !S_ISREG(before.st_mode))
            continue;
        if (before.st_nlink < 2) {
            const std::optional<QString> left = removeLonely(dir.get(), folder, name, names.others);
            if (left)
                sweep.left.push_back(*left);
            changed = changed || !left;
            continue;
        }
        if (::unlinkat(dir.get(), name.constData(), 0) != 0)
            continue;
        changed = true;
        struct stat after
        {
        };
        if (::fstat(file.get(), &after) == 0)
            sweep.relinked.push_back({FileIdentity::of(before), FileIdentity::of(after)});
    }
    if (changed)
        (void)::fsync(dir.get());
    return sweep;
}

Outcome swap(const QString& keepPath, const FileIdentity& keep, const QString& path,
             const FileIdentity& duplicate, const ReadLease& lease)
{
    const QByteArray pathBytes = QFile::encodeName(path);
    const UniqueFd dir = openFolder(PathParts::parentOf(pathBytes));
    if (!dir.isValid())
        return {Outcome::End::failed, errno};
    const QByteArray name = PathParts::nameOf(pathBytes);
    const QByteArray keepBytes = QFile::encodeName(keepPath);
    QByteArray temporary;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kNameAttempts)
            return {Outcome::End::failed, EEXIST};
        temporary = temporaryName(name, attempt);
        if (::linkat(AT_FDCWD, keepBytes.constData(), dir.get(), temporary.constData(),
                     AT_SYMLINK_FOLLOW) == 0)
            break;
        if (errno != EEXIST) // else taken, such as by a leftover the sweep kept: try the next
            return {Outcome::End::failed, errno};
    }
    const auto withdraw = [&](Outcome outcome) {
        (void)::unlinkat(dir.get(), temporary.constData(), 0);
        (void)::fsync(dir.get());
        return outcome;
    };
    if (!isFile(dir.get(), temporary, keep))
        return withdraw({Outcome::End::changed, 0});
    struct stat st
    {
    };
    if (::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return withdraw({Outcome::End::failed, errno});
    if (!S_ISREG(st.st_mode) || FileIdentity::of(st) != duplicate)
        return withdraw({Outcome::End::changed, 0});
    if (!lease.held())
        return withdraw({Outcome::End::written, 0});
    if (::renameat(dir.get(), temporary.constData(), dir.get(), name.constData()) != 0)
        return withdraw({Outcome::End::failed, errno});
    (void)::fsync(dir.get());
    return {Outcome::End::done, 0};
}

} // namespace HardLinkSwap

#include "services/HardLinkSwap.h"

#include "fs/PathParts.h"
#include "fs/UniqueFd.h"
#include "services/ItemMover.h"

#include <QFile>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
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

} // namespace

QByteArray temporaryName(const QByteArray& name)
{
    return ItemMover::temporaryName(QByteArray(kPrefix), name);
}

QList<Relinked> removeLeftovers(const QString& folder)
{
    QList<Relinked> removed;
    const UniqueFd dir = openFolder(QFile::encodeName(folder));
    if (!dir.isValid())
        return removed;
    // fdopendir takes over the descriptor it is given; the folder's own stays for the calls.
    DIR* listing = ::fdopendir(::dup(dir.get()));
    if (listing == nullptr)
        return removed;
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith(kPrefix))
            names.push_back(name);
    }
    ::closedir(listing);
    for (const QByteArray& name : names) {
        const UniqueFd file(::openat(dir.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat before
        {
        };
        if (!file.isValid() || ::fstat(file.get(), &before) != 0 || !S_ISREG(before.st_mode) ||
            before.st_nlink < 2 || ::unlinkat(dir.get(), name.constData(), 0) != 0)
            continue;
        struct stat after
        {
        };
        if (::fstat(file.get(), &after) == 0)
            removed.push_back({FileIdentity::of(before), FileIdentity::of(after)});
    }
    if (!removed.isEmpty())
        (void)::fsync(dir.get());
    return removed;
}

Outcome swap(const QString& keepPath, const FileIdentity& keep, const QString& path,
             const FileIdentity& duplicate)
{
    const QByteArray pathBytes = QFile::encodeName(path);
    const UniqueFd dir = openFolder(PathParts::parentOf(pathBytes));
    if (!dir.isValid())
        return {Outcome::End::failed, errno};
    const QByteArray name = PathParts::nameOf(pathBytes);
    const QByteArray temporary = temporaryName(name);
    if (::linkat(AT_FDCWD, QFile::encodeName(keepPath).constData(), dir.get(),
                 temporary.constData(), AT_SYMLINK_FOLLOW) != 0)
        return {Outcome::End::failed, errno};
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
    if (::renameat(dir.get(), temporary.constData(), dir.get(), name.constData()) != 0)
        return withdraw({Outcome::End::failed, errno});
    (void)::fsync(dir.get());
    return {Outcome::End::done, 0};
}

} // namespace HardLinkSwap

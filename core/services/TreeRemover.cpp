#include "services/TreeRemover.h"

#include "fs/Mounts.h"
#include "fs/UniqueFd.h"
#include "services/TreeSnapshot.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace TreeRemover {

namespace {

constexpr mode_t kOwnerAll = S_IRWXU;

// Opens a folder for listing and removing entries, giving the owner full rights on it when it
// lacks them (a read-only folder inside a tree being deleted).
UniqueFd openFolder(int dir, const char* name, const struct stat& st)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    UniqueFd folder(::openat(dir, name, flags));
    const bool own = st.st_uid == ::geteuid();
    if (!folder.isValid() && errno == EACCES && own) {
        // Change the mode through an O_PATH descriptor so no symlink is ever followed.
        const UniqueFd path(::openat(dir, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!path.isValid())
            return UniqueFd();
        const std::string proc = "/proc/self/fd/" + std::to_string(path.get());
        if (::chmod(proc.c_str(), (st.st_mode & 07777) | kOwnerAll) != 0)
            return UniqueFd();
        folder = UniqueFd(::openat(dir, name, flags));
    }
    if (folder.isValid() && own && (st.st_mode & kOwnerAll) != kOwnerAll)
        (void)::fchmod(folder.get(), (st.st_mode & 07777) | kOwnerAll);
    return folder;
}

int removeEntry(int dir, const QByteArray& name, dev_t device, bool isRoot)
{
    struct stat st
    {
    };
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT && isRoot ? 0 : errno;
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(dir, name.constData(), 0) == 0 ? 0 : errno;
    // A bind mount keeps the device number; the kernel's mount-root flag still shows it.
    if (!isRoot && (st.st_dev != device || Mounts::isMountRoot(dir, name.constData())))
        return EXDEV;
    const UniqueFd folder = openFolder(dir, name.constData(), st);
    if (!folder.isValid())
        return errno;
    struct stat opened
    {
    };
    if (::fstat(folder.get(), &opened) != 0)
        return errno;
    if (opened.st_ino != st.st_ino || opened.st_dev != st.st_dev)
        return ESTALE; // replaced while we looked
    std::vector<QByteArray> children;
    if (const int error = TreeSnapshot::names(folder.get(), children))
        return error;
    for (const QByteArray& child : children) {
        if (const int error = removeEntry(folder.get(), child, st.st_dev, false))
            return error;
    }
    return ::unlinkat(dir, name.constData(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

} // namespace

int remove(int dir, const QByteArray& name)
{
    if (name.contains('\0'))
        return EINVAL; // no file has such a name; a shortened one would name another
    return removeEntry(dir, name, 0, true);
}

} // namespace TreeRemover

#include "TreeRemoval.h"

#include "BrimvaleError.h"
#include "Mounts.h"

#include <QFile>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void fail(const QByteArray& path, int error)
{
    throw BrimvaleError(QStringLiteral("Cannot delete ") + QFile::decodeName(path) +
                        QStringLiteral(": ") + BrimvaleError::describe(error));
}

class Directory
{
public:
    explicit Directory(int fd) : m_dir(::fdopendir(fd))
    {
        if (m_dir == nullptr) {
            m_error = errno;
            ::close(fd);
        }
    }
    ~Directory()
    {
        if (m_dir != nullptr)
            ::closedir(m_dir);
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    [[nodiscard]] bool isOpen() const { return m_dir != nullptr; }
    [[nodiscard]] int error() const { return m_error; }
    [[nodiscard]] int fd() const { return ::dirfd(m_dir); }

    // Every name but "." and ".."; false when reading failed.
    [[nodiscard]] bool names(std::vector<QByteArray>& out)
    {
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(m_dir);
            if (entry == nullptr)
                return errno == 0;
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                out.push_back(name);
        }
    }

private:
    DIR* m_dir;
    int m_error = 0;
};

// Removes `name` inside the open folder `parentFd`, which lies on device `device`.
void removeAt(int parentFd, const QByteArray& name, dev_t device, const QByteArray& path)
{
    struct stat st
    {
    };
    if (::fstatat(parentFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return;
        fail(path, errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parentFd, name.constData(), 0) != 0 && errno != ENOENT)
            fail(path, errno);
        return;
    }
    if (st.st_dev != device || Mounts::isMountRoot(parentFd, name.constData()))
        fail(path, EXDEV);
    const int fd =
        ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        fail(path, errno);
    {
        Directory directory(fd);
        if (!directory.isOpen())
            fail(path, directory.error());
        struct stat opened
        {
        };
        // The folder must still be the one examined above (not swapped for another meanwhile).
        if (::fstat(directory.fd(), &opened) != 0 || opened.st_dev != st.st_dev ||
            opened.st_ino != st.st_ino)
            fail(path, EAGAIN);
        std::vector<QByteArray> children;
        if (!directory.names(children))
            fail(path, errno);
        for (const QByteArray& child : children)
            removeAt(directory.fd(), child, device, path + '/' + child);
    }
    if (::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT)
        fail(path, errno);
}

} // namespace

namespace TreeRemoval {

void remove(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray parent = slash <= 0 ? QByteArray(slash == 0 ? "/" : ".") : bytes.left(slash);
    const QByteArray name = bytes.mid(slash + 1);
    if (name.isEmpty() || name == "." || name == "..")
        fail(bytes, EINVAL);
    const int parentFd = ::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) {
        if (errno == ENOENT)
            return;
        fail(bytes, errno);
    }
    struct stat st
    {
    };
    if (::fstat(parentFd, &st) != 0) {
        const int error = errno;
        ::close(parentFd);
        fail(bytes, error);
    }
    try {
        removeAt(parentFd, name, st.st_dev, bytes);
    } catch (...) {
        ::close(parentFd);
        throw;
    }
    ::close(parentFd);
}

} // namespace TreeRemoval

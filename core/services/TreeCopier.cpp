#include "services/TreeCopier.h"

#include "fs/ExtendedAttributes.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "model/BrimvaleError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace TreeCopier {

namespace {

using TreeSnapshot::Entry;
using TreeSnapshot::Kind;

constexpr size_t kBlock = 1 << 20;

[[noreturn]] void failWith(int error)
{
    throw BrimvaleError::fromErrno(error);
}

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

class Copier
{
public:
    Copier(const QByteArray& item, const Progress& progress, const StopToken* stop)
        : m_item(item), m_progress(progress), m_stop(stop), m_buffer(kBlock)
    {}

    void copyEntry(int sourceDir, const QByteArray& name, int targetDir,
                   const QByteArray& targetName, const QByteArray& path)
    {
        stopIfAsked();
        struct stat st
        {
        };
        if (::fstatat(sourceDir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            failWith(errno);
        if (path.isEmpty())
            m_device = st.st_dev;
        if (S_ISREG(st.st_mode))
            copyFile(sourceDir, name, targetDir, targetName, path);
        else if (S_ISDIR(st.st_mode))
            copyFolder(sourceDir, name, targetDir, targetName, path);
        else if (S_ISLNK(st.st_mode))
            copyLink(sourceDir, name, targetDir, targetName, path, st);
        else
            throw BrimvaleError(QStringLiteral("Not a file, folder or symlink: ") +
                                TreeSnapshot::display(m_item, path));
    }

    Copied take() { return {std::move(m_entries), m_attributesLeftOut}; }

private:
    void stopIfAsked() const
    {
        if (StopToken::requested(m_stop))
            throw BrimvaleError(QStringLiteral("Stopped"), BrimvaleError::Kind::stopped);
    }

    [[noreturn]] void changed(const QByteArray& path) const
    {
        throw BrimvaleError(QStringLiteral("Changed while being copied: ") +
                            TreeSnapshot::display(m_item, path));
    }

    static ExtendedAttributes::List attributesOf(int fd)
    {
        ExtendedAttributes::List attributes;
        if (const int error = ExtendedAttributes::read(fd, attributes))
            failWith(error);
        return attributes;
    }

    // Owner (where allowed), permission bits, extended attributes and times of a finished file
    // or folder. The attributes come after the bits: setting an ACL sets the bits it governs,
    // and a chmod after it would rewrite its mask.
    void finish(int fd, const struct stat& source, const ExtendedAttributes::List& attributes)
    {
        if (source.st_uid != ::geteuid() || source.st_gid != ::getegid())
            (void)::fchown(fd, source.st_uid, source.st_gid); // only root may; not required
        if (::fchmod(fd, source.st_mode & 07777) != 0)
            failWith(errno);
        const ExtendedAttributes::Written written = ExtendedAttributes::write(fd, attributes);
        if (written.error != 0)
            failWith(written.error);
        m_attributesLeftOut = m_attributesLeftOut || !written.allHeld;
        const timespec times[2] = {source.st_atim, source.st_mtim};
        if (::futimens(fd, times) != 0)
            failWith(errno);
        if (::fsync(fd) != 0)
            failWith(errno);
    }

    void copyRange(int in, int out, off_t from, off_t to, const QByteArray& path)
    {
        while (from < to) {
            stopIfAsked();
            const size_t want = static_cast<size_t>(std::min<off_t>(to - from, kBlock));
            const ssize_t n = ::pread(in, m_buffer.data(), want, from);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                failWith(errno);
            }
            if (n == 0)
                changed(path); // the file shrank
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::pwrite(out, m_buffer.data() + done,
                                           static_cast<size_t>(n - done), from + done);
                if (w < 0) {
                    if (errno == EINTR)
                        continue;
                    failWith(errno);
                }
                done += w;
            }
            from += n;
            m_copied += n;
            if (m_progress)
                m_progress(m_copied);
        }
    }

    // Copies the data extents of the file; the holes between them are left unwritten.
    void copyData(int in, int out, off_t size, const QByteArray& path)
    {
        off_t position = 0;
        while (position < size) {
            off_t data = ::lseek(in, position, SEEK_DATA);
            off_t hole = size;
            if (data < 0) {
                if (errno == ENXIO)
                    break; // only a hole is left
                if (errno != EINVAL && errno != EOPNOTSUPP)
                    failWith(errno);
                data = position; // no extent information: copy everything
            } else {
                hole = ::lseek(in, data, SEEK_HOLE);
                if (hole < 0)
                    hole = size;
            }
            if (data >= size)
                break;
            hole = std::min(hole, size);
            copyRange(in, out, data, hole, path);
            position = hole;
        }
        if (::ftruncate(out, size) != 0)
            failWith(errno);
    }

    void copyFile(int sourceDir, const QByteArray& name, int targetDir,
                  const QByteArray& targetName, const QByteArray& path)
    {
        const UniqueFd in(
            PosixIO::openToRead(sourceDir, name.constData(), O_NOFOLLOW | O_NONBLOCK));
        if (!in.isValid())
            failWith(errno);
        struct stat before
        {
        };
        if (::fstat(in.get(), &before) != 0)
            failWith(errno);
        if (!S_ISREG(before.st_mode))
            changed(path);
        UniqueFd out(::openat(targetDir, targetName.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.isValid())
            failWith(errno);
        copyData(in.get(), out.get(), before.st_size, path);
        const ExtendedAttributes::List attributes = attributesOf(in.get());
        struct stat after
        {
        };
        if (::fstat(in.get(), &after) != 0)
            failWith(errno);
        // A write whose modification time was set back still moves the change time.
        if (after.st_size != before.st_size || !sameTime(after.st_mtim, before.st_mtim) ||
            !sameTime(after.st_ctim, before.st_ctim))
            changed(path);
        finish(out.get(), before, attributes);
        if (const int error = out.close())
            failWith(error);
        Entry entry;
        entry.path = path;
        entry.kind = Kind::file;
        entry.size = before.st_size;
        entry.modifiedSeconds = before.st_mtim.tv_sec;
        entry.modifiedNanoseconds = before.st_mtim.tv_nsec;
        entry.changedSeconds = before.st_ctim.tv_sec;
        entry.changedNanoseconds = before.st_ctim.tv_nsec;
        entry.inode = before.st_ino;
        m_entries.push_back(std::move(entry));
    }

    void copyFolder(int sourceDir, const QByteArray& name, int targetDir,
                    const QByteArray& targetName, const QByteArray& path)
    {
        const UniqueFd in(
            ::openat(sourceDir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!in.isValid()) {
            if (errno == ELOOP || errno == ENOTDIR)
                changed(path); // swapped for something else since it was looked at
            failWith(errno);
        }
        struct stat st
        {
        };
        if (::fstat(in.get(), &st) != 0)
            failWith(errno);
        if (st.st_dev != m_device)
            throw BrimvaleError(QStringLiteral("Another drive is mounted at ") +
                                TreeSnapshot::display(m_item, path));
        if (::mkdirat(targetDir, targetName.constData(), 0700) != 0)
            failWith(errno);
        const UniqueFd out(::openat(targetDir, targetName.constData(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!out.isValid())
            failWith(errno);
        Entry entry;
        entry.path = path;
        entry.kind = Kind::folder;
        entry.inode = st.st_ino;
        m_entries.push_back(std::move(entry));

        std::vector<QByteArray> children;
        if (const int error = TreeSnapshot::names(in.get(), children))
            failWith(error);
        for (const QByteArray& child : children)
            copyEntry(in.get(), child, out.get(), child,
                      path.isEmpty() ? child : path + '/' + child);
        finish(out.get(), st, attributesOf(in.get()));
    }

    void copyLink(int sourceDir, const QByteArray& name, int targetDir,
                  const QByteArray& targetName, const QByteArray& path, const struct stat& st)
    {
        Entry entry;
        if (const int error = TreeSnapshot::readLink(sourceDir, name.constData(), entry.target))
            failWith(error);
        if (::symlinkat(entry.target.constData(), targetDir, targetName.constData()) != 0)
            failWith(errno);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        (void)::utimensat(targetDir, targetName.constData(), times, AT_SYMLINK_NOFOLLOW);
        entry.path = path;
        entry.kind = Kind::symlink;
        entry.size = st.st_size;
        entry.inode = st.st_ino;
        m_entries.push_back(std::move(entry));
    }

    QByteArray m_item;
    const Progress& m_progress;
    const StopToken* m_stop;
    std::vector<char> m_buffer;
    dev_t m_device = 0;
    qint64 m_copied = 0;
    TreeSnapshot::Snapshot m_entries;
    bool m_attributesLeftOut = false;
};

} // namespace

Copied copy(int sourceDir, const QByteArray& name, int targetDir, const QByteArray& copyName,
            const Progress& progress, const StopToken* stop)
{
    Copier copier(name, progress, stop);
    copier.copyEntry(sourceDir, name, targetDir, copyName, QByteArray());
    return copier.take();
}

} // namespace TreeCopier

#include "fs/PosixIO.h"

#include "model/BrimvaleError.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what, const QString& path, int error)
{
    throw BrimvaleError(QString::fromUtf8(what) + u' ' + path + QStringLiteral(": ") +
                        BrimvaleError::describe(error));
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash <= 0)
        return QStringLiteral("/");
    return path.left(slash);
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

namespace PosixIO {

void makePath(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::stat(bytes.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            fail("Cannot create folder", path, ENOTDIR);
        return;
    }
    const QString parent = parentOf(path);
    if (parent != path && !parent.isEmpty())
        makePath(parent);
    if (::mkdir(bytes.constData(), 0777) != 0 && errno != EEXIST)
        fail("Cannot create folder", path, errno);
    if (::stat(bytes.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        fail("Cannot create folder", path, ENOTDIR);
}

void writeAtomically(const QString& path, const QByteArray& bytes)
{
    QByteArray temp = QFile::encodeName(path) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        fail("Cannot write", path, errno);
    int error = 0;
    if (!writeAll(fd, bytes.constData(), bytes.size()) || ::fsync(fd) != 0)
        error = errno;
    // Readers expect the permissions a new file gets, not mkostemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.constData());
        fail("Cannot write", path, error);
    }
    const int dir =
        ::open(QFile::encodeName(parentOf(path)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes)
{
    return readRegularFileBounded(QFile::encodeName(path), maxBytes).bytes;
}

BoundedRead readRegularFileBounded(const QByteArray& path, qint64 maxBytes)
{
    BoundedRead result;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return result;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        result.tooLarge = S_ISREG(st.st_mode) && st.st_size > maxBytes;
        ::close(fd);
        return result;
    }
    QByteArray content;
    content.reserve(static_cast<qsizetype>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return result;
        }
        if (n == 0)
            break;
        content.append(buffer, n);
        if (content.size() > maxBytes) { // grew while being read
            result.tooLarge = true;
            ::close(fd);
            return result;
        }
    }
    ::close(fd);
    result.bytes = std::move(content);
    return result;
}

int renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat st
    {
    };
    if (::lstat(target.constData(), &st) == 0)
        return EEXIST;
    if (::rename(source.constData(), target.constData()) != 0)
        return errno;
    return 0;
}

bool lexists(const QString& path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace PosixIO

#include "fs/PosixIO.h"

#include "fs/UniqueFd.h"
#include "model/BrimvaleError.h"
#include "model/PathParts.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what, const QString& path, int error)
{
    throw BrimvaleError(QString::fromUtf8(what) + u' ' + path + QStringLiteral(": ") +
                        BrimvaleError::describe(error));
}

// stat(2) or lstat(2) of a path given as text; false for a path holding NUL.
bool statOf(const QString& path, bool followLinks, struct stat* st)
{
    if (PathParts::holdsNul(path))
        return false;
    const QByteArray bytes = QFile::encodeName(path);
    return (followLinks ? ::stat(bytes.constData(), st) : ::lstat(bytes.constData(), st)) == 0;
}

// Six random letters and digits, as mkstemp(3) uses.
QByteArray randomSuffix()
{
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray suffix(6, '\0');
    for (char& c : suffix)
        c = kAlphabet[QRandomGenerator::system()->bounded(int(sizeof kAlphabet) - 1)];
    return suffix;
}

// A new file "<target>.tmp-XXXXXX" opened for writing. Created with 0666 so that the kernel
// applies the process umask, as it does to any file a program creates.
UniqueFd createTemporary(const QString& path, const QByteArray& target, QByteArray& temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target + ".tmp-" + randomSuffix();
        UniqueFd fd(::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.isValid())
            return fd;
        if (errno != EEXIST)
            fail("Cannot write", path, errno);
    }
    fail("Cannot write", path, EEXIST);
}

} // namespace

namespace PosixIO {

void makePath(const QString& path)
{
    if (PathParts::holdsNul(path))
        fail("Cannot create folder", path, EINVAL);
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::stat(bytes.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            fail("Cannot create folder", path, ENOTDIR);
        return;
    }
    const QString parent = PathParts::parentOf(path);
    if (parent != path && !parent.isEmpty())
        makePath(parent);
    if (::mkdir(bytes.constData(), 0777) != 0 && errno != EEXIST)
        fail("Cannot create folder", path, errno);
    if (::stat(bytes.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        fail("Cannot create folder", path, ENOTDIR);
}

void writeAtomically(const QString& path, const QByteArray& bytes)
{
    if (PathParts::holdsNul(path))
        fail("Cannot write", path, EINVAL);
    const QByteArray target = QFile::encodeName(path);
    struct stat replaced
    {
    };
    const bool replacing = ::stat(target.constData(), &replaced) == 0 && S_ISREG(replaced.st_mode);
    QByteArray temp;
    UniqueFd fd = createTemporary(path, target, temp);
    int error = writeAll(fd.get(), bytes);
    // A file system without modes refuses this; the file then keeps the mode it was created with.
    if (error == 0 && replacing)
        (void)::fchmod(fd.get(), replaced.st_mode & 07777);
    if (error == 0 && ::fsync(fd.get()) != 0)
        error = errno;
    if (const int closed = fd.close(); error == 0)
        error = closed;
    if (error == 0 && ::rename(temp.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.constData());
        fail("Cannot write", path, error);
    }
    const UniqueFd dir(::open(QFile::encodeName(PathParts::parentOf(path)).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.isValid())
        (void)::fsync(dir.get());
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes)
{
    if (PathParts::holdsNul(path))
        return std::nullopt;
    return readRegularFileBounded(QFile::encodeName(path), maxBytes).bytes;
}

BoundedRead readRegularFileBounded(const QByteArray& path, qint64 maxBytes)
{
    BoundedRead result;
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isValid())
        return result;
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        result.tooLarge = S_ISREG(st.st_mode) && st.st_size > maxBytes;
        return result;
    }
    QByteArray content;
    content.reserve(static_cast<qsizetype>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return result;
        }
        if (n == 0)
            break;
        content.append(buffer, n);
        if (content.size() > maxBytes) { // grew while being read
            result.tooLarge = true;
            return result;
        }
    }
    result.bytes = std::move(content);
    return result;
}

int openToRead(int dir, const char* name, int flags)
{
    const int fd = ::openat(dir, name, O_RDONLY | O_CLOEXEC | O_NOATIME | flags);
    if (fd >= 0 || errno != EPERM)
        return fd;
    return ::openat(dir, name, O_RDONLY | O_CLOEXEC | flags);
}

int writeAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        left -= n;
    }
    return 0;
}

int renameNoReplace(const QString& from, const QString& to)
{
    if (PathParts::holdsNul(from) || PathParts::holdsNul(to))
        return EINVAL;
    return renameNoReplaceAt(AT_FDCWD, QFile::encodeName(from), AT_FDCWD, QFile::encodeName(to));
}

int renameNoReplaceAt(int fromDir, const QByteArray& from, int toDir, const QByteArray& to)
{
    if (::renameat2(fromDir, from.constData(), toDir, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot rename without replacing: look first, then rename.
    struct stat st
    {
    };
    if (::fstatat(toDir, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromDir, from.constData(), toDir, to.constData()) == 0 ? 0 : errno;
}

int exchangeAt(int fromDir, const QByteArray& from, int toDir, const QByteArray& to)
{
    return ::renameat2(fromDir, from.constData(), toDir, to.constData(), RENAME_EXCHANGE) == 0
               ? 0
               : errno;
}

bool exists(const QString& path)
{
    struct stat st
    {
    };
    return statOf(path, true, &st);
}

bool isFolder(const QString& path)
{
    struct stat st
    {
    };
    return statOf(path, true, &st) && S_ISDIR(st.st_mode);
}

bool lexists(const QString& path)
{
    struct stat st
    {
    };
    return statOf(path, false, &st);
}

} // namespace PosixIO

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// Small file-system steps on POSIX calls, shared by the stores, scanners and file services.
// Failures are thrown as BrimvaleError "<what> <path>: <system description>" unless noted. A path
// holding NUL names nothing: the kernel would stop reading it at the NUL.
namespace PosixIO {

// Creates the folder and every missing folder above it; an existing folder is fine.
void makePath(const QString& path);

// Replaces the file atomically: a new temporary file of a random name in the same folder,
// written, flushed and fsynced, then renamed over the target; the folder is fsynced after. The
// file gets the mode of the regular file it replaces, else 0666 less the umask. On failure the
// previous file is untouched and the temporary file removed.
void writeAtomically(const QString& path, const QByteArray& bytes);

// The whole content of a regular file, read without blocking on FIFOs or devices
// (O_NONBLOCK, then fstat). Nothing when it is missing, not a regular file, unreadable, or
// larger than maxBytes. Never throws.
[[nodiscard]] std::optional<QByteArray> readRegularFile(const QString& path,
                                                        qint64 maxBytes = qint64(1) << 30);

// Opens a file to read its content without moving its access time: openat with O_RDONLY,
// O_CLOEXEC, the given flags and O_NOATIME, retried without O_NOATIME only where the kernel
// refuses it (EPERM: a file of another user, without CAP_FOWNER). Returns the descriptor or -1
// with errno set.
[[nodiscard]] int openToRead(int dir, const char* name, int flags);

// Writes every byte to the descriptor, going on after short writes and interruptions. Returns 0
// or an errno value.
[[nodiscard]] int writeAll(int fd, QByteArrayView bytes);

// What readRegularFileBounded found: the content, or nothing and whether that is because the
// file holds more than the limit (as opposed to being missing, not regular or unreadable).
struct BoundedRead
{
    std::optional<QByteArray> bytes;
    bool tooLarge = false;
};

// readRegularFile on a path given as file-name bytes (which need not be UTF-8), telling a file
// too large for the limit apart from one that cannot be read.
[[nodiscard]] BoundedRead readRegularFileBounded(const QByteArray& path, qint64 maxBytes);

// Renames without replacing anything at the target (renameat2 RENAME_NOREPLACE, or an lstat
// check and rename where the file system does not support it). Returns 0 or an errno value.
[[nodiscard]] int renameNoReplace(const QString& from, const QString& to);
// The same for names relative to folder descriptors (AT_FDCWD: the working folder).
[[nodiscard]] int renameNoReplaceAt(int fromDir, const QByteArray& from, int toDir,
                                    const QByteArray& to);

// Swaps the two names atomically (renameat2 RENAME_EXCHANGE); both must exist on one file system.
// Returns 0 or an errno value (EINVAL where the file system cannot swap).
[[nodiscard]] int exchangeAt(int fromDir, const QByteArray& from, int toDir, const QByteArray& to);

// Whether anything is at the path, links followed (a dangling symlink is nothing).
[[nodiscard]] bool exists(const QString& path);
// Whether a folder is at the path, links followed.
[[nodiscard]] bool isFolder(const QString& path);
// Whether anything (a dangling symlink included) is at the path.
[[nodiscard]] bool lexists(const QString& path);

} // namespace PosixIO

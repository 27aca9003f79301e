#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Small file-system steps on POSIX calls, shared by the stores, scanners and file services.
// Failures are thrown as BrimvaleError "<what> <path>: <system description>" unless noted.
namespace PosixIO {

// Creates the folder and every missing folder above it; an existing folder is fine.
void makePath(const QString& path);

// Replaces the file atomically: a uniquely named temporary file in the same folder, written,
// flushed and fsynced, then renamed over the target; the folder is fsynced after. On failure the
// previous file is untouched and the temporary file removed.
void writeAtomically(const QString& path, const QByteArray& bytes);

// The whole content of a regular file, read without blocking on FIFOs or devices
// (O_NONBLOCK, then fstat). Nothing when it is missing, not a regular file, unreadable, or
// larger than maxBytes. Never throws.
[[nodiscard]] std::optional<QByteArray> readRegularFile(const QString& path,
                                                        qint64 maxBytes = qint64(1) << 30);

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

// Whether anything (a dangling symlink included) is at the path.
[[nodiscard]] bool lexists(const QString& path);

} // namespace PosixIO

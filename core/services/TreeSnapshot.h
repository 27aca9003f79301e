#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>
#include <vector>

// What a file tree holds, read through directory descriptors and byte names, never following a
// symlink and never entering another mount. A move compares such listings to prove that a copy
// is complete and that the source did not change while it was copied.
namespace TreeSnapshot {

enum class Kind
{
    file,
    folder,
    symlink
};

struct Entry
{
    QByteArray path; // relative to the item, "" for the item itself, components joined by "/"
    Kind kind = Kind::file;
    qint64 size = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
    qint64 changedSeconds = 0; // the status-change time, which no program can set
    qint64 changedNanoseconds = 0;
    ino_t inode = 0;
    QByteArray target; // of a symlink
};

// Pre-order, siblings in byte order of their names.
using Snapshot = std::vector<Entry>;

// Everything at dir/name now. Throws BrimvaleError with a short description when something
// cannot be read, is not a file, folder or symlink, or lies on another mount; messages name
// the item `shownAs` when given.
[[nodiscard]] Snapshot list(int dir, const QByteArray& name, const QByteArray& shownAs = {});

// The target of the symlink dir/name. Returns 0 or an errno value.
[[nodiscard]] int readLink(int dir, const char* name, QByteArray& target);

// The sorted names in an open folder, "." and ".." left out. Returns 0 or an errno value.
[[nodiscard]] int names(int folder, std::vector<QByteArray>& out);

enum class Compare
{
    copy,       // another tree made from the same source: kinds, sizes and symlink targets
    sameSource, // the same tree read again: also inodes and files' modification and change times
    // sameSource after the item was renamed, which moves its own change time: that one is left
    // out, the change times of the files inside a folder are compared.
    renamedSource
};

// The path of the first entry that differs between the two listings (an entry missing on one
// side included), or nothing when they match.
[[nodiscard]] std::optional<QByteArray> firstDifference(const Snapshot& expected,
                                                        const Snapshot& actual, Compare how);

// A relative entry path below the item named `item`, for messages (bytes that are not UTF-8
// are shown as replacement characters).
[[nodiscard]] QString display(const QByteArray& item, const QByteArray& path);

} // namespace TreeSnapshot

#pragma once

#include "fs/WalkTypes.h"
#include "model/FileInfo.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The directory walks every scanner uses. Nothing met inside a walk is followed; Trash folders
// are neither returned nor entered; names that are not valid UTF-8 are never returned as paths.
// The walks stop and count as the thread's WalkScope says (a stopped walk gives what it found
// so far; subdirectories() then gives nothing).
namespace FS {

using FileFilter = std::function<bool(const WalkedFile&)>;

// Regular files under the root, in pre-order with siblings in byte order of their names.
// A missing or unreadable root gives an empty list.
[[nodiscard]] QList<FileInfo> files(const QString& under, bool skipHidden,
                                    std::optional<DepthRange> depth = std::nullopt);
// The same, keeping only the files the filter accepts while the walk streams, so a caller never
// holds every file it passed. The filter is called from several threads at once.
[[nodiscard]] QList<FileInfo> files(const QString& under, bool skipHidden,
                                    std::optional<DepthRange> depth, const FileFilter& keep);

// Turns a symbolic link a walk met into a file to list (its path the link's), or nothing. Called
// from several threads at once.
using LinkReader = std::function<std::optional<FileInfo>(const WalkedFile& link)>;
// The same, also listing what the reader makes of each symbolic link within the depth range.
[[nodiscard]] QList<FileInfo> files(const QString& under, bool skipHidden,
                                    std::optional<DepthRange> depth, const FileFilter& keep,
                                    const LinkReader& readLink);

struct Totals
{
    qint64 files = 0;
    qint64 bytes = 0; // stops at 2^63-1
    std::optional<QDateTime> newest;
    std::optional<QDateTime> newestAccess; // as the file system keeps it (see FileInfo)
};

// Count, size, newest modification and access dates of the regular files under the root, without
// holding a list. Files whose path is not valid UTF-8 are counted too.
[[nodiscard]] Totals totals(const QString& under, bool skipHidden,
                            std::optional<DepthRange> depth = std::nullopt,
                            const FileFilter& keep = {});

// The immediate subdirectories (not symlinks to them), hidden ones included, in byte order of
// their names. A root that is a symlink to a folder is listed.
[[nodiscard]] QStringList subdirectories(const QString& of);

// The walker's pre-order on path texts: component by component, each compared as UTF-8 bytes.
[[nodiscard]] bool preOrderLess(const QString& a, const QString& b);

// A modification time as a date (UTC).
[[nodiscard]] QDateTime dateFrom(qint64 seconds, qint32 nanoseconds);

} // namespace FS

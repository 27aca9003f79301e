#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// One regular file found by a walk. The path is absolute text; an absent modified date means
// the file system reported none. The access date is the file system's as it stands (last read or
// mapped, at most a day late under relatime; meaningless on a noatime mount).
struct FileInfo
{
    QString path;
    qint64 size = 0;
    std::optional<QDateTime> modified;
    std::optional<QDateTime> accessed;

    // The last path component.
    [[nodiscard]] QString fileName() const;

    friend bool operator==(const FileInfo&, const FileInfo&) = default;
};

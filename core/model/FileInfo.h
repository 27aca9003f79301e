#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// One regular file found by a walk. The path is absolute text; an absent modified date means
// the file system reported none.
struct FileInfo
{
    QString path;
    qint64 size = 0;
    std::optional<QDateTime> modified;

    // The last path component.
    [[nodiscard]] QString fileName() const;

    friend bool operator==(const FileInfo&, const FileInfo&) = default;
};

#pragma once

#include <QString>
#include <optional>

// What became of one duplicate file of a dedupe run.
struct DedupedFile
{
    QString entryId;
    QString path;
    QString keepPath;              // the copy it was freed against (empty when there is none)
    qint64 bytesShared = 0;        // bytes now stored once (with a dry run: that would be)
    bool hardLinked = false;       // replaced by a hard link rather than sharing blocks
    std::optional<QString> reason; // why it was refused, skipped or failed; none on success

    [[nodiscard]] bool freed() const { return !reason; }

    friend bool operator==(const DedupedFile&, const DedupedFile&) = default;
};

#pragma once

#include <QString>

// The free space of one filesystem a dedupe run touched, before and after it (statvfs, read
// after the filesystem wrote its changes back).
struct FreedSpace
{
    QString mountPoint;
    qint64 freeBefore = 0;
    qint64 freeAfter = 0;
    qint64 bytesShared = 0; // what the files freed on it add up to

    [[nodiscard]] qint64 freed() const { return freeAfter - freeBefore; }

    friend bool operator==(const FreedSpace&, const FreedSpace&) = default;
};

#pragma once

#include <QString>

// The free space of one filesystem a dedupe run touched, before and after it (statvfs).
struct FreedSpace
{
    QString mountPoint;
    qint64 freeBefore = 0;
    qint64 freeAfter = 0;

    [[nodiscard]] qint64 freed() const { return freeAfter - freeBefore; }

    friend bool operator==(const FreedSpace&, const FreedSpace&) = default;
};

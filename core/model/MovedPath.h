#pragma once

#include <QString>

// A path of an entry where a move left a symbolic link, and the item the link points to.
struct MovedPath
{
    QString link;          // where the item was, among the entry's paths
    QString target;        // absolute, as the link names it
    bool reachable = true; // false when nothing is at the target now (its drive unplugged)

    friend bool operator==(const MovedPath&, const MovedPath&) = default;
};

#pragma once

#include <QString>

// One item a move put at its new place.
struct MovedItem
{
    QString from;        // the path the item had
    QString to;          // the path it has now
    bool linked = false; // a symlink at `from` now points to `to`

    friend bool operator==(const MovedItem&, const MovedItem&) = default;
};

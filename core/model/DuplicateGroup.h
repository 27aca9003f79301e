#pragma once

#include "model/FileIdentity.h"

#include <QList>
#include <QString>
#include <QStringList>

// One stored copy of some content: a file, and the other paths that are that file (hard links)
// or already share all of its blocks on disk.
struct DuplicateCopy
{
    QString path;          // the file as it was read
    FileIdentity identity; // as it was when read
    QStringList alsoAt;    // other paths stored in the same blocks
    QStringList entryIds;  // the entries whose model data includes this copy, in entry order

    friend bool operator==(const DuplicateCopy&, const DuplicateCopy&) = default;
};

// Files confirmed to hold the same content, stored as at least two separate copies.
struct DuplicateGroup
{
    QString hash; // full-content hash of every copy
    qint64 size = 0;
    QList<DuplicateCopy> copies; // in the order of the entries that hold them

    friend bool operator==(const DuplicateGroup&, const DuplicateGroup&) = default;
};

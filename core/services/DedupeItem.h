#pragma once

#include "model/FileIdentity.h"

#include <QString>

// One duplicate file to free against the copy that stays, as the scan saw both.
struct DedupeItem
{
    QString entryId;           // the entry the duplicate belongs to
    QString path;              // the duplicate file
    FileIdentity identity;     // the duplicate as it was hashed
    QString keepPath;          // the copy that stays
    FileIdentity keepIdentity; // the copy as it was hashed
    QString hash;              // the full-content hash both had

    friend bool operator==(const DedupeItem&, const DedupeItem&) = default;
};

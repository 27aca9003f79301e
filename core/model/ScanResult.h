#pragma once

#include "model/DuplicateGroup.h"
#include "model/ModelEntry.h"

#include <QList>
#include <QStringList>

// What a full scan returns: entries with unique ids and duplicates marked.
struct ScanResult
{
    QList<ModelEntry> models;
    QStringList errors;
    bool ollamaRunning = false;
    QList<DuplicateGroup> duplicateGroups; // what the isDuplicate marks and details rest on

    // Sum of reclaimableBytes, so data shared between entries counts once.
    [[nodiscard]] qint64 totalBytes() const;
    [[nodiscard]] qint64 bytes(ModelSource source) const;
};

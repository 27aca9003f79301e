#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <QStringList>

// What a full scan returns: entries with unique ids and duplicates marked.
struct ScanResult
{
    QList<ModelEntry> models;
    QStringList errors;
    bool ollamaRunning = false;

    // Sum of reclaimableBytes, so data shared between entries counts once.
    [[nodiscard]] qint64 totalBytes() const;
    [[nodiscard]] qint64 bytes(ModelSource source) const;
};

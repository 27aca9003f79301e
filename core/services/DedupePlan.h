#pragma once

#include "model/ModelEntry.h"
#include "model/ScanResult.h"
#include "services/DedupeItem.h"
#include "services/DedupedFile.h"

#include <QList>

// Which files a dedupe of some entries frees, and against which copies.
namespace DedupePlan {

struct Plan
{
    QList<DedupeItem> items;    // each duplicate file once, in entry order
    QList<DedupedFile> skipped; // files or entries that cannot be freed, with the reason

    friend bool operator==(const Plan&, const Plan&) = default;
};

// For each data file of the entries (dataFiles, else the primary path) that is a copy in one of
// the scan's duplicate groups: the copy that stays is the first copy of the group held by no
// entry among the given ones on the file's own filesystem, else the first such copy anywhere
// (which then cannot be freed against). A file with no such copy, and an entry with no duplicate
// file at all, are skipped with a reason. A file already stored in the same blocks as another copy
// is not a duplicate. Each file is planned once, however many given entries hold it.
[[nodiscard]] Plan of(const ScanResult& scan, const QList<ModelEntry>& entries);

} // namespace DedupePlan

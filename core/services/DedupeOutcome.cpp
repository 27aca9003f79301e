#include "services/DedupeOutcome.h"

#include <algorithm>

qint64 DedupeOutcome::bytesShared() const
{
    qint64 sum = 0;
    for (const DedupedFile& file : files)
        sum += file.freed() ? file.bytesShared : 0;
    return sum;
}

bool DedupeOutcome::succeeded() const
{
    return !error && std::ranges::all_of(files, &DedupedFile::freed);
}

#pragma once

#include <QString>
#include <QStringList>

// The cost of freeing a duplicate by a hard link: the content check of both files right before
// the swap, against `cmp` of the same files (timed by bench/dedupe-verify.sh).
namespace DedupeVerify {

// Plans the copy against the file that stays as a scan would (identities and hash), evicts both
// from the page cache when `cold`, then times DedupeService::run in hard-link mode and prints
// one line: seconds, seconds per GB of the copy, and whether it was freed. HOME points to a
// temporary folder meanwhile, so the lock file is not left in the real home. Returns 0 when
// the copy was freed.
int run(const QString& keep, const QString& copy, bool cold);

// Writes the files' dirty pages and drops their pages from the page cache
// (POSIX_FADV_DONTNEED), so the next read comes from the disk. Returns 0 when every file was
// evicted.
int evict(const QStringList& files);

} // namespace DedupeVerify

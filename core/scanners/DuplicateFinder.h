#pragma once

#include "model/ModelEntry.h"
#include "scanners/ScanProgress.h"

#include <QList>
#include <QString>

class QThreadPool;

// Marks the entries whose model files hold the same content. An entry takes part only when its
// size is at least 50,000,000 bytes and its primary path is a regular file of exactly that size.
// Files whose size is shared get the quick fingerprint of their first 64 KiB (partialHash);
// files equal in size and fingerprint are compared by a hash of their whole content, kept in a
// cache between scans. Paths that are one file (same device and inode) count as one copy; an
// entry that cannot be read, or that changed while it was read, is never marked.
class DuplicateFinder
{
public:
    static constexpr qint64 kMinimumSize = 50'000'000;

    struct Stats
    {
        int candidates = 0;     // entries that qualify
        int headsRead = 0;      // files whose first 64 KiB were read
        int filesHashed = 0;    // files read in full
        int cacheHits = 0;      // files whose full hash came from the cache
        qint64 bytesHashed = 0; // bytes read for full hashes
    };

    // The cache file is read before and written after the comparison; groups are hashed in
    // parallel on the pool (a pool of the call's own when none is given).
    explicit DuplicateFinder(QString cachePath, QThreadPool* pool = nullptr,
                             ScanProgress* progress = nullptr);

    // Rewrites partialHash and isDuplicate of every entry.
    Stats run(QList<ModelEntry>& models);

private:
    QString m_cachePath;
    QThreadPool* m_pool;
    ScanProgress* m_progress;
};

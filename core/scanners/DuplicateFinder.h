#pragma once

#include "model/DuplicateGroup.h"
#include "model/ModelEntry.h"
#include "scanners/ScanProgress.h"

#include <QList>
#include <QString>
#include <optional>

class QThreadPool;
class StopToken;

// Marks the entries whose model files hold the same content as files elsewhere. An entry's files
// are its data files, each a regular file of at least 50,000,000 bytes, or else its primary path
// when the entry is that large and the path is a regular file of exactly its size. Files whose
// size is shared get the quick fingerprint of their first 64 KiB (partialHash); files equal in
// size and fingerprint are compared by a hash of their whole content, kept in a cache between
// scans. Paths that are one file (same device and inode), and files stored in the same blocks,
// are one copy. An entry is marked when every one of its files has a copy held by another entry;
// when only some have, its detail names such a copy. An entry that cannot be read, or that
// changed while it was read, is never marked.
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
        qint64 bytesHashed = 0; // bytes gone through by full hashes, holes included
    };

    // The cache file is read before and written after the comparison; groups are hashed in
    // parallel on the pool (a pool of the call's own when none is given). The bytes to hash and
    // hashed are added to the progress when given; the stop is looked at per file and per block.
    explicit DuplicateFinder(QString cachePath, QThreadPool* pool = nullptr,
                             ScanProgress* progress = nullptr, const StopToken* stop = nullptr);

    // Rewrites partialHash, isDuplicate and the "Same data as" detail of every entry. Nothing
    // when stopped: then no entry keeps a fingerprint or a mark, and the cache file stays as it
    // was.
    std::optional<Stats> run(QList<ModelEntry>& models);

    // The sets of copies the last run confirmed, in the order of the entries that hold them.
    [[nodiscard]] const QList<DuplicateGroup>& groups() const { return m_groups; }

    // The detail part that names a copy elsewhere: "Same data as {short path}".
    [[nodiscard]] static QString sameDataAs(const QString& path);

private:
    QString m_cachePath;
    QThreadPool* m_pool;
    ScanProgress* m_progress;
    const StopToken* m_stop;
    QList<DuplicateGroup> m_groups;
};

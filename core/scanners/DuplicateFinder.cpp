#include "scanners/DuplicateFinder.h"

#include "model/StopToken.h"
#include "scanners/ContentHash.h"
#include "scanners/HashCache.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QThreadPool>
#include <atomic>
#include <latch>
#include <memory>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

struct Candidate
{
    qsizetype index = 0; // in the model list
    FileIdentity identity;
};

// One file of a group to compare, reached through the first path met.
struct Member
{
    FileIdentity identity;
    QString path;
    std::optional<QString> hash;
};

using FileKey = std::pair<quint64, quint64>; // device, inode

FileKey fileKey(const FileIdentity& identity)
{
    return {identity.device, identity.inode};
}

// Whether the open file is still exactly the one seen before.
bool unchanged(int fd, const FileIdentity& expected)
{
    struct stat st
    {
    };
    return ::fstat(fd, &st) == 0 && FileIdentity::of(st) == expected;
}

// Runs `read` on the file at `path` when it is still the file `expected` names, before and after.
template <typename Read>
std::optional<QString> readUnchanged(const QString& path, const FileIdentity& expected, Read read)
{
    FileIdentity opened;
    const UniqueFd fd = ContentHash::openRegular(path, opened);
    if (!fd.isValid() || opened != expected)
        return std::nullopt;
    std::optional<QString> result = read(fd.get());
    if (!result || !unchanged(fd.get(), expected))
        return std::nullopt;
    return result;
}

qsizetype distinctFiles(const QList<Candidate>& members)
{
    QSet<FileKey> files;
    for (const Candidate& member : members)
        files.insert(fileKey(member.identity));
    return files.size();
}

// Entries of one size and fingerprint, and the distinct files among them to hash in full.
struct Comparison
{
    QList<Candidate> entries;
    std::vector<Member> files;
};

using Groups = QMap<std::pair<qint64, QString>, QList<Candidate>>;
using Stats = DuplicateFinder::Stats;

void clearMarks(QList<ModelEntry>& models)
{
    for (ModelEntry& entry : models) {
        entry.partialHash.reset();
        entry.isDuplicate = false;
    }
}

// The entries that take part: large enough, and a regular file of exactly their size.
QList<Candidate> qualifying(const QList<ModelEntry>& models)
{
    QList<Candidate> candidates;
    for (qsizetype i = 0; i < models.size(); ++i) {
        const ModelEntry& entry = models[i];
        if (entry.sizeBytes < DuplicateFinder::kMinimumSize || entry.primaryPath.isEmpty())
            continue;
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(entry.primaryPath).constData(), &st) != 0 ||
            !S_ISREG(st.st_mode) || st.st_size != entry.sizeBytes)
            continue;
        candidates.push_back({i, FileIdentity::of(st)});
    }
    return candidates;
}

// Sets the quick fingerprint of every candidate whose size is shared (one read per file) and
// groups those read by size and fingerprint. Nothing when stopped.
std::optional<Groups> fingerprint(QList<ModelEntry>& models, const QList<Candidate>& candidates,
                                  Stats& stats, const StopToken* stop)
{
    QHash<qint64, int> sizeCount;
    for (const Candidate& candidate : candidates)
        ++sizeCount[models[candidate.index].sizeBytes];
    QHash<FileIdentity, std::optional<QString>> heads;
    Groups groups;
    for (const Candidate& candidate : candidates) {
        ModelEntry& entry = models[candidate.index];
        if (sizeCount.value(entry.sizeBytes) < 2)
            continue;
        auto head = heads.find(candidate.identity);
        if (head == heads.end()) {
            if (StopToken::requested(stop))
                return std::nullopt;
            ++stats.headsRead;
            head = heads.insert(candidate.identity,
                                readUnchanged(entry.primaryPath, candidate.identity,
                                              [](int fd) { return ContentHash::headHash(fd); }));
        }
        if (!head.value())
            continue;
        entry.partialHash = *head.value();
        groups[{entry.sizeBytes, *head.value()}].push_back(candidate);
    }
    return groups;
}

// The groups holding at least two distinct files, each file once (through the first path met).
std::vector<Comparison> comparisons(const Groups& groups, const QList<ModelEntry>& models)
{
    std::vector<Comparison> result;
    for (const QList<Candidate>& group : groups) {
        if (distinctFiles(group) < 2)
            continue;
        Comparison comparison{group, {}};
        QSet<FileKey> seen;
        for (const Candidate& candidate : group) {
            if (seen.contains(fileKey(candidate.identity)))
                continue;
            seen.insert(fileKey(candidate.identity));
            comparison.files.push_back(
                {candidate.identity, models[candidate.index].primaryPath, std::nullopt});
        }
        result.push_back(std::move(comparison));
    }
    return result;
}

// Takes every hash the cache knows; returns the comparisons with files still to hash.
std::vector<Comparison*> takeCached(std::vector<Comparison>& compared, const HashCache& cache,
                                    Stats& stats)
{
    std::vector<Comparison*> pending;
    for (Comparison& comparison : compared) {
        bool missing = false;
        for (Member& member : comparison.files) {
            member.hash = cache.find(member.identity);
            if (member.hash)
                ++stats.cacheHits;
            else
                missing = true;
        }
        if (missing)
            pending.push_back(&comparison);
    }
    return pending;
}

// Hashes the files still without a hash in full, one comparison per pool job. Stops starting
// files once the stop is requested.
void hashInFull(const std::vector<Comparison*>& pending, QThreadPool* pool, ScanProgress* progress,
                const StopToken* stop, Stats& stats)
{
    if (pending.empty())
        return;
    std::atomic<qint64> localBytes{0};
    std::atomic<qint64>& bytesDone = progress != nullptr ? progress->bytesHashed : localBytes;
    const qint64 bytesBefore = bytesDone.load();
    if (progress != nullptr) {
        qint64 toHash = 0;
        for (const Comparison* comparison : pending) {
            for (const Member& member : comparison->files)
                toHash += member.hash ? 0 : member.identity.size;
        }
        progress->bytesToHash.fetch_add(toHash);
    }
    std::unique_ptr<QThreadPool> ownPool;
    if (pool == nullptr) {
        ownPool = std::make_unique<QThreadPool>();
        pool = ownPool.get();
    }
    std::atomic<int> hashed{0};
    std::latch done(static_cast<std::ptrdiff_t>(pending.size()));
    for (Comparison* comparison : pending) {
        pool->start([comparison, stop, &bytesDone, &hashed, &done] {
            for (Member& member : comparison->files) {
                if (member.hash || StopToken::requested(stop))
                    continue;
                hashed.fetch_add(1);
                member.hash = readUnchanged(member.path, member.identity, [&](int fd) {
                    return ContentHash::fullHash(fd, member.identity.size, &bytesDone, stop);
                });
            }
            done.count_down();
        });
    }
    done.wait();
    stats.filesHashed = hashed.load();
    stats.bytesHashed = bytesDone.load() - bytesBefore;
}

// Marks the entries of every set of at least two distinct files with one content, and keeps
// the hashes of this scan in the cache.
void markSameContent(QList<ModelEntry>& models, const std::vector<Comparison>& compared,
                     HashCache& cache)
{
    for (const Comparison& comparison : compared) {
        QHash<FileKey, QString> hashOf;
        for (const Member& member : comparison.files) {
            if (member.hash) {
                hashOf.insert(fileKey(member.identity), *member.hash);
                cache.keep(member.identity, *member.hash);
            }
        }
        QHash<QString, QList<Candidate>> byContent;
        for (const Candidate& candidate : comparison.entries) {
            const auto hash = hashOf.constFind(fileKey(candidate.identity));
            if (hash != hashOf.constEnd())
                byContent[*hash].push_back(candidate);
        }
        for (const QList<Candidate>& same : std::as_const(byContent)) {
            if (distinctFiles(same) < 2)
                continue;
            for (const Candidate& candidate : same)
                models[candidate.index].isDuplicate = true;
        }
    }
}

} // namespace

DuplicateFinder::DuplicateFinder(QString cachePath, QThreadPool* pool, ScanProgress* progress,
                                 const StopToken* stop)
    : m_cachePath(std::move(cachePath)), m_pool(pool), m_progress(progress), m_stop(stop)
{}

std::optional<DuplicateFinder::Stats> DuplicateFinder::run(QList<ModelEntry>& models)
{
    Stats stats;
    clearMarks(models);
    const QList<Candidate> candidates = qualifying(models);
    stats.candidates = static_cast<int>(candidates.size());
    const std::optional<Groups> groups = fingerprint(models, candidates, stats, m_stop);
    if (groups) {
        HashCache cache = HashCache::load(m_cachePath);
        std::vector<Comparison> compared = comparisons(*groups, models);
        hashInFull(takeCached(compared, cache, stats), m_pool, m_progress, m_stop, stats);
        if (!StopToken::requested(m_stop)) {
            markSameContent(models, compared, cache);
            cache.save(m_cachePath);
            return stats;
        }
    }
    clearMarks(models);
    return std::nullopt;
}

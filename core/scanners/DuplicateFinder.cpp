#include "scanners/DuplicateFinder.h"

#include "fs/BlockLayout.h"
#include "model/StopToken.h"
#include "scanners/ContentHash.h"
#include "scanners/HashCache.h"
#include "text/Format.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <latch>
#include <memory>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

// One file of one entry that takes part.
struct Candidate
{
    qsizetype index = 0; // of the entry in the model list
    QString path;
    FileIdentity identity;
};

using FileKey = std::pair<quint64, quint64>; // device, inode

FileKey fileKey(const FileIdentity& identity)
{
    return {identity.device, identity.inode};
}

// One stored copy among files of one size and fingerprint: a file, and the other files that
// are it or share all of its blocks. Hashed through its first file.
struct Copy
{
    FileIdentity identity;
    QString path;
    QList<FileKey> files;
    std::optional<QString> hash;
};

// Entries of one size and fingerprint, and the distinct copies among their files.
struct Comparison
{
    QList<Candidate> candidates;
    std::vector<Copy> copies;
    QHash<FileKey, size_t> copyOf;
};

using Groups = QMap<std::pair<qint64, QString>, QList<Candidate>>;
using Stats = DuplicateFinder::Stats;

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
auto readUnchanged(const QString& path, const FileIdentity& expected, Read read)
    -> decltype(read(0))
{
    FileIdentity opened;
    const UniqueFd fd = ContentHash::openRegular(path, opened);
    if (!fd.isValid() || opened != expected)
        return std::nullopt;
    auto result = read(fd.get());
    if (!result || !unchanged(fd.get(), expected))
        return std::nullopt;
    return result;
}

const QString kSameDataPrefix = QStringLiteral("Same data as ");
const QString kDetailSeparator = QStringLiteral(" · ");

// The entry's detail without the part an earlier run added.
std::optional<QString> ownDetail(const std::optional<QString>& detail)
{
    if (!detail)
        return detail;
    if (detail->startsWith(kSameDataPrefix))
        return std::nullopt;
    const qsizetype added = detail->lastIndexOf(kDetailSeparator + kSameDataPrefix);
    return added < 0 ? detail : std::optional(detail->left(added));
}

void clearMarks(QList<ModelEntry>& models)
{
    for (ModelEntry& entry : models) {
        entry.partialHash.reset();
        entry.isDuplicate = false;
        entry.detail = ownDetail(entry.detail);
    }
}

std::optional<struct stat> regularFile(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return st;
}

// The files that take part: data files large enough, or a primary path of exactly the entry's
// size when the entry is large enough.
QList<Candidate> qualifying(const QList<ModelEntry>& models)
{
    QList<Candidate> candidates;
    for (qsizetype i = 0; i < models.size(); ++i) {
        const ModelEntry& entry = models[i];
        const bool byEntry = entry.dataFiles.isEmpty();
        if (byEntry && entry.sizeBytes < DuplicateFinder::kMinimumSize)
            continue;
        for (const QString& path : entry.comparedFiles()) {
            const std::optional<struct stat> st = regularFile(path);
            if (!st || (byEntry ? st->st_size != entry.sizeBytes
                                : st->st_size < DuplicateFinder::kMinimumSize))
                continue;
            candidates.push_back({i, path, FileIdentity::of(*st)});
        }
    }
    return candidates;
}

// Sets the quick fingerprint of every file whose size is shared (one read per file; an entry
// keeps its first file's) and groups those read by size and fingerprint. Nothing when stopped.
std::optional<Groups> fingerprint(QList<ModelEntry>& models, const QList<Candidate>& candidates,
                                  Stats& stats, const StopToken* stop)
{
    QHash<qint64, int> sizeCount;
    for (const Candidate& candidate : candidates)
        ++sizeCount[candidate.identity.size];
    QHash<FileIdentity, std::optional<QString>> heads;
    Groups groups;
    for (const Candidate& candidate : candidates) {
        if (sizeCount.value(candidate.identity.size) < 2)
            continue;
        auto head = heads.find(candidate.identity);
        if (head == heads.end()) {
            if (StopToken::requested(stop))
                return std::nullopt;
            ++stats.headsRead;
            head = heads.insert(candidate.identity,
                                readUnchanged(candidate.path, candidate.identity,
                                              [](int fd) { return ContentHash::headHash(fd); }));
        }
        if (!head.value())
            continue;
        ModelEntry& entry = models[candidate.index];
        if (!entry.partialHash)
            entry.partialHash = *head.value();
        groups[{candidate.identity.size, *head.value()}].push_back(candidate);
    }
    return groups;
}

// The distinct copies among the candidates: files that are one (same inode) or whose data lies
// in the same blocks (a pair sharing its blocks frees nothing more) are one copy.
Comparison copiesAmong(const QList<Candidate>& candidates)
{
    Comparison comparison{candidates, {}, {}};
    QHash<std::pair<quint64, QByteArray>, size_t> byLayout;
    for (const Candidate& candidate : candidates) {
        const FileKey key = fileKey(candidate.identity);
        if (comparison.copyOf.contains(key))
            continue;
        const std::optional<QByteArray> layout =
            readUnchanged(candidate.path, candidate.identity, &BlockLayout::of);
        const auto shared =
            layout ? byLayout.constFind({candidate.identity.device, *layout}) : byLayout.constEnd();
        if (shared != byLayout.constEnd()) {
            comparison.copies[*shared].files.push_back(key);
            comparison.copyOf.insert(key, *shared);
            continue;
        }
        const size_t index = comparison.copies.size();
        comparison.copies.push_back({candidate.identity, candidate.path, {key}, std::nullopt});
        comparison.copyOf.insert(key, index);
        if (layout)
            byLayout.insert({candidate.identity.device, *layout}, index);
    }
    return comparison;
}

// The groups holding at least two distinct copies.
std::vector<Comparison> comparisons(const Groups& groups)
{
    std::vector<Comparison> result;
    for (const QList<Candidate>& group : groups) {
        QSet<FileKey> files;
        for (const Candidate& candidate : group)
            files.insert(fileKey(candidate.identity));
        if (files.size() < 2)
            continue;
        Comparison comparison = copiesAmong(group);
        if (comparison.copies.size() >= 2)
            result.push_back(std::move(comparison));
    }
    return result;
}

// Takes every hash the cache knows; returns the comparisons with copies still to hash.
std::vector<Comparison*> takeCached(std::vector<Comparison>& compared, const HashCache& cache,
                                    Stats& stats)
{
    std::vector<Comparison*> pending;
    for (Comparison& comparison : compared) {
        bool missing = false;
        for (Copy& copy : comparison.copies) {
            copy.hash = cache.find(copy.identity);
            if (copy.hash)
                ++stats.cacheHits;
            else
                missing = true;
        }
        if (missing)
            pending.push_back(&comparison);
    }
    return pending;
}

// Hashes the copies still without a hash in full, one comparison per pool job. Stops starting
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
            for (const Copy& copy : comparison->copies)
                toHash += copy.hash ? 0 : copy.identity.size;
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
            for (Copy& copy : comparison->copies) {
                if (copy.hash || StopToken::requested(stop))
                    continue;
                hashed.fetch_add(1);
                copy.hash = readUnchanged(copy.path, copy.identity, [&](int fd) {
                    return ContentHash::fullHash(fd, copy.identity.size, &bytesDone, stop);
                });
            }
            done.count_down();
        });
    }
    done.wait();
    stats.filesHashed = hashed.load();
    stats.bytesHashed = bytesDone.load() - bytesBefore;
}

// What the comparisons say of each entry's files.
struct Findings
{
    QList<DuplicateGroup> groups;
    QHash<qsizetype, QSet<QString>> confirmed; // per entry: its files with a copy elsewhere
    QHash<qsizetype, QString> copyElsewhere;   // per entry: the first such copy
};

// Adds one set of at least two copies with one content to the findings.
void addGroup(const QList<ModelEntry>& models, const Comparison& comparison,
              const std::vector<size_t>& same, const QString& hash, Findings& findings)
{
    DuplicateGroup group{hash, comparison.copies[same.front()].identity.size, {}};
    std::vector<QList<qsizetype>> holders(same.size());
    for (size_t n = 0; n < same.size(); ++n) {
        const Copy& copy = comparison.copies[same[n]];
        DuplicateCopy out{copy.path, copy.identity, {}, {}};
        for (const Candidate& candidate : comparison.candidates) {
            if (comparison.copyOf.value(fileKey(candidate.identity)) != same[n])
                continue;
            if (candidate.path != copy.path && !out.alsoAt.contains(candidate.path))
                out.alsoAt.push_back(candidate.path);
            if (!holders[n].contains(candidate.index))
                holders[n].push_back(candidate.index);
        }
        std::sort(holders[n].begin(), holders[n].end());
        for (const qsizetype index : holders[n])
            out.entryIds.push_back(models[index].id);
        group.copies.push_back(std::move(out));
    }
    for (const Candidate& candidate : comparison.candidates) {
        const auto own = std::find(same.begin(), same.end(),
                                   comparison.copyOf.value(fileKey(candidate.identity)));
        if (own == same.end())
            continue;
        for (size_t n = 0; n < same.size(); ++n) {
            const bool otherEntry = std::any_of(holders[n].begin(), holders[n].end(),
                                                [&](qsizetype i) { return i != candidate.index; });
            if (same.begin() + static_cast<std::ptrdiff_t>(n) == own || !otherEntry)
                continue;
            findings.confirmed[candidate.index].insert(candidate.path);
            if (!findings.copyElsewhere.contains(candidate.index))
                findings.copyElsewhere.insert(candidate.index, group.copies[qsizetype(n)].path);
            break;
        }
    }
    findings.groups.push_back(std::move(group));
}

// The sets of copies with one content, and the hashes of this scan kept in the cache.
Findings sameContent(const QList<ModelEntry>& models, const std::vector<Comparison>& compared,
                     HashCache& cache)
{
    Findings findings;
    for (const Comparison& comparison : compared) {
        QMap<QString, std::vector<size_t>> byContent;
        for (size_t n = 0; n < comparison.copies.size(); ++n) {
            const Copy& copy = comparison.copies[n];
            if (!copy.hash)
                continue;
            cache.keep(copy.identity, *copy.hash);
            byContent[*copy.hash].push_back(n);
        }
        for (auto same = byContent.cbegin(); same != byContent.cend(); ++same) {
            if (same.value().size() >= 2)
                addGroup(models, comparison, same.value(), same.key(), findings);
        }
    }
    return findings;
}

// Marks each entry every one of whose files has a copy elsewhere; names such a copy in the
// detail of an entry where only some have.
void mark(QList<ModelEntry>& models, const Findings& findings)
{
    for (auto found = findings.confirmed.cbegin(); found != findings.confirmed.cend(); ++found) {
        ModelEntry& entry = models[found.key()];
        const QStringList files = entry.comparedFiles();
        if (std::all_of(files.begin(), files.end(),
                        [&](const QString& path) { return found.value().contains(path); })) {
            entry.isDuplicate = true;
            continue;
        }
        const QString same = DuplicateFinder::sameDataAs(findings.copyElsewhere.value(found.key()));
        entry.detail = entry.detail ? *entry.detail + kDetailSeparator + same : same;
    }
}

} // namespace

DuplicateFinder::DuplicateFinder(QString cachePath, QThreadPool* pool, ScanProgress* progress,
                                 const StopToken* stop)
    : m_cachePath(std::move(cachePath)), m_pool(pool), m_progress(progress), m_stop(stop)
{}

QString DuplicateFinder::sameDataAs(const QString& path)
{
    return kSameDataPrefix + Format::shortPath(path);
}

std::optional<DuplicateFinder::Stats> DuplicateFinder::run(QList<ModelEntry>& models)
{
    Stats stats;
    m_groups.clear();
    clearMarks(models);
    const QList<Candidate> candidates = qualifying(models);
    stats.candidates = static_cast<int>(candidates.size());
    const std::optional<Groups> groups = fingerprint(models, candidates, stats, m_stop);
    if (groups) {
        HashCache cache = HashCache::load(m_cachePath);
        std::vector<Comparison> compared = comparisons(*groups);
        hashInFull(takeCached(compared, cache, stats), m_pool, m_progress, m_stop, stats);
        if (!StopToken::requested(m_stop)) {
            Findings findings = sameContent(models, compared, cache);
            mark(models, findings);
            m_groups = std::move(findings.groups);
            cache.save(m_cachePath);
            return stats;
        }
    }
    clearMarks(models);
    return std::nullopt;
}

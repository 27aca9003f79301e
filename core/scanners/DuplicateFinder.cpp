#include "scanners/DuplicateFinder.h"

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
#include <unistd.h>
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

// A descriptor closed when it goes away.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const { return m_fd; }

private:
    int m_fd;
};

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
    const Descriptor fd(ContentHash::openRegular(path, opened));
    if (fd.get() < 0 || opened != expected)
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

} // namespace

DuplicateFinder::DuplicateFinder(QString cachePath, QThreadPool* pool, ScanProgress* progress)
    : m_cachePath(std::move(cachePath)), m_pool(pool), m_progress(progress)
{}

DuplicateFinder::Stats DuplicateFinder::run(QList<ModelEntry>& models)
{
    Stats stats;
    for (ModelEntry& entry : models) {
        entry.partialHash.reset();
        entry.isDuplicate = false;
    }

    // Qualifying entries and the census of their sizes.
    QList<Candidate> candidates;
    QHash<qint64, int> sizeCount;
    for (qsizetype i = 0; i < models.size(); ++i) {
        const ModelEntry& entry = models[i];
        if (entry.sizeBytes < kMinimumSize || entry.primaryPath.isEmpty())
            continue;
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(entry.primaryPath).constData(), &st) != 0 ||
            !S_ISREG(st.st_mode) || st.st_size != entry.sizeBytes)
            continue;
        candidates.push_back({i, FileIdentity::of(st)});
        ++sizeCount[entry.sizeBytes];
    }
    stats.candidates = static_cast<int>(candidates.size());

    // Quick fingerprints of the entries whose size is shared, one read per file.
    QHash<FileIdentity, std::optional<QString>> heads;
    QMap<std::pair<qint64, QString>, QList<Candidate>> groups;
    for (const Candidate& candidate : std::as_const(candidates)) {
        ModelEntry& entry = models[candidate.index];
        if (sizeCount.value(entry.sizeBytes) < 2)
            continue;
        auto head = heads.find(candidate.identity);
        if (head == heads.end()) {
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

    // Files to compare in full, group by group, taking what the cache already knows.
    HashCache cache = HashCache::load(m_cachePath);
    std::vector<std::vector<Member>> work;
    QList<QList<Candidate>> compared;
    for (const QList<Candidate>& group : std::as_const(groups)) {
        if (distinctFiles(group) < 2)
            continue;
        std::vector<Member> members;
        QSet<FileKey> seen;
        for (const Candidate& candidate : group) {
            if (seen.contains(fileKey(candidate.identity)))
                continue;
            seen.insert(fileKey(candidate.identity));
            members.push_back(
                {candidate.identity, models[candidate.index].primaryPath, std::nullopt});
        }
        work.push_back(std::move(members));
        compared.push_back(group);
    }

    std::atomic<qint64> localBytes{0};
    std::atomic<qint64>& bytesRead = m_progress != nullptr ? m_progress->bytesHashed : localBytes;
    const qint64 bytesBefore = bytesRead.load();
    std::vector<std::vector<Member>*> pending;
    for (std::vector<Member>& members : work) {
        bool missing = false;
        for (Member& member : members) {
            member.hash = cache.find(member.identity);
            if (member.hash)
                ++stats.cacheHits;
            else
                missing = true;
        }
        if (missing)
            pending.push_back(&members);
    }
    if (!pending.empty()) {
        if (m_progress != nullptr)
            m_progress->confirmingDuplicates.store(true);
        std::unique_ptr<QThreadPool> ownPool;
        QThreadPool* pool = m_pool;
        if (pool == nullptr) {
            ownPool = std::make_unique<QThreadPool>();
            pool = ownPool.get();
        }
        std::atomic<int> hashed{0};
        std::latch done(static_cast<std::ptrdiff_t>(pending.size()));
        for (std::vector<Member>* members : pending) {
            pool->start([members, &bytesRead, &hashed, &done] {
                for (Member& member : *members) {
                    if (member.hash)
                        continue;
                    hashed.fetch_add(1);
                    member.hash = readUnchanged(member.path, member.identity, [&](int fd) {
                        return ContentHash::fullHash(fd, member.identity.size, &bytesRead);
                    });
                }
                done.count_down();
            });
        }
        done.wait();
        stats.filesHashed = hashed.load();
        if (m_progress != nullptr)
            m_progress->confirmingDuplicates.store(false);
    }
    stats.bytesHashed = bytesRead.load() - bytesBefore;

    // Mark the entries of every set of at least two distinct files with one content.
    for (qsizetype g = 0; g < compared.size(); ++g) {
        QHash<FileKey, QString> hashOf;
        for (const Member& member : work[static_cast<size_t>(g)]) {
            if (member.hash) {
                hashOf.insert(fileKey(member.identity), *member.hash);
                cache.keep(member.identity, *member.hash);
            }
        }
        QHash<QString, QList<Candidate>> byContent;
        for (const Candidate& candidate : compared[g]) {
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
    cache.save(m_cachePath);
    return stats;
}

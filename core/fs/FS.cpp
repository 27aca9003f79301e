#include "fs/FS.h"

#include "fs/DirectoryListing.h"
#include "fs/DirectoryWalker.h"
#include "fs/PathBytes.h"
#include "fs/UniqueFd.h"
#include "fs/WalkScope.h"
#include "model/PathParts.h"
#include "model/Sizes.h"
#include "model/StopToken.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A modification time in milliseconds since 1970. Seconds beyond +-2^52, far beyond any date a
// file system keeps and within what QDateTime shows, count as that bound.
qint64 millisecondsFrom(qint64 seconds, qint32 nanoseconds)
{
    constexpr qint64 kLimit = qint64(1) << 52;
    return std::clamp(seconds, -kLimit, kLimit) * 1000 + nanoseconds / 1'000'000;
}

struct Found
{
    std::string path;
    qint64 size;
    qint64 seconds;
    qint32 nanoseconds;
    qint64 accessedSeconds;
    qint32 accessedNanoseconds;
    std::optional<FileInfo> linked; // for a link the reader turned into a file: that file
};

class CollectingVisitor : public WalkVisitor
{
public:
    CollectingVisitor(const FS::FileFilter& keep, const FS::LinkReader& readLink = {})
        : m_keep(keep), m_readLink(readLink)
    {}

    void visit(const WalkedFile& file) override
    {
        if (!file.pathIsUtf8 || (m_keep && !m_keep(file)))
            return;
        Found found{std::string(file.path),
                    file.size,
                    file.modifiedSeconds,
                    file.modifiedNanoseconds,
                    file.accessedSeconds,
                    file.accessedNanoseconds,
                    std::nullopt};
        std::lock_guard lock(m_mutex);
        m_found.push_back(std::move(found));
    }

    void visitSymlink(const WalkedFile& link) override
    {
        if (!link.pathIsUtf8 || !m_readLink)
            return;
        std::optional<FileInfo> file = m_readLink(link);
        if (!file)
            return;
        Found found{std::string(link.path), file->size, 0, 0, 0, 0, std::move(file)};
        std::lock_guard lock(m_mutex);
        m_found.push_back(std::move(found));
    }

    std::vector<Found> take() { return std::move(m_found); }

private:
    const FS::FileFilter& m_keep;
    const FS::LinkReader& m_readLink;
    std::mutex m_mutex;
    std::vector<Found> m_found;
};

class TotalsVisitor : public WalkVisitor
{
public:
    explicit TotalsVisitor(const FS::FileFilter& keep) : m_keep(keep) {}

    void visit(const WalkedFile& file) override
    {
        if (m_keep && !m_keep(file))
            return;
        m_files.fetch_add(1, std::memory_order_relaxed);
        qint64 bytes = m_bytes.load(std::memory_order_relaxed);
        while (!m_bytes.compare_exchange_weak(bytes, saturatingAdd(bytes, file.size),
                                              std::memory_order_relaxed)) {
        }
        const qint64 stamp = millisecondsFrom(file.modifiedSeconds, file.modifiedNanoseconds);
        m_hasNewest.store(true, std::memory_order_relaxed);
        raise(m_newest, stamp);
        raise(m_newestAccess, millisecondsFrom(file.accessedSeconds, file.accessedNanoseconds));
    }

    FS::Totals totals() const
    {
        FS::Totals totals;
        totals.files = m_files.load();
        totals.bytes = m_bytes.load();
        if (m_hasNewest.load())
            totals.newest = QDateTime::fromMSecsSinceEpoch(m_newest.load(), Qt::UTC);
        if (m_hasNewest.load())
            totals.newestAccess = QDateTime::fromMSecsSinceEpoch(m_newestAccess.load(), Qt::UTC);
        return totals;
    }

private:
    static void raise(std::atomic<qint64>& newest, qint64 stamp)
    {
        qint64 seen = newest.load(std::memory_order_relaxed);
        while (stamp > seen &&
               !newest.compare_exchange_weak(seen, stamp, std::memory_order_relaxed)) {
        }
    }

    const FS::FileFilter& m_keep;
    std::atomic<qint64> m_files{0};
    std::atomic<qint64> m_bytes{0};
    std::atomic<bool> m_hasNewest{false};
    std::atomic<qint64> m_newest{std::numeric_limits<qint64>::min()};
    std::atomic<qint64> m_newestAccess{std::numeric_limits<qint64>::min()};
};

void walkWith(const QString& under, bool skipHidden, std::optional<DepthRange> depth,
              WalkVisitor& visitor, bool reportSymlinks = false)
{
    WalkOptions options;
    options.skipHidden = skipHidden;
    options.depth = depth;
    options.reportSymlinks = reportSymlinks;
    DirectoryWalker::walk(under, options, visitor);
}

} // namespace

namespace FS {

QList<FileInfo> files(const QString& under, bool skipHidden, std::optional<DepthRange> depth)
{
    return files(under, skipHidden, depth, FileFilter());
}

QList<FileInfo> files(const QString& under, bool skipHidden, std::optional<DepthRange> depth,
                      const FileFilter& keep)
{
    return files(under, skipHidden, depth, keep, LinkReader());
}

QList<FileInfo> files(const QString& under, bool skipHidden, std::optional<DepthRange> depth,
                      const FileFilter& keep, const LinkReader& readLink)
{
    CollectingVisitor visitor(keep, readLink);
    walkWith(under, skipHidden, depth, visitor, bool(readLink));
    std::vector<Found> found = visitor.take();
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return PathBytes::preOrderLess(a.path, b.path);
    });
    QList<FileInfo> result;
    result.reserve(static_cast<qsizetype>(found.size()));
    for (const Found& f : found) {
        if (f.linked) {
            result.push_back(*f.linked);
            continue;
        }
        result.push_back(
            FileInfo{QString::fromUtf8(f.path.data(), static_cast<qsizetype>(f.path.size())),
                     f.size, dateFrom(f.seconds, f.nanoseconds),
                     dateFrom(f.accessedSeconds, f.accessedNanoseconds)});
    }
    return result;
}

Totals totals(const QString& under, bool skipHidden, std::optional<DepthRange> depth,
              const FileFilter& keep)
{
    TotalsVisitor visitor(keep);
    walkWith(under, skipHidden, depth, visitor);
    return visitor.totals();
}

QStringList subdirectories(const QString& of)
{
    if (StopToken::requested(WalkScope::stop()))
        return {};
    const QByteArray root = PathParts::withoutTrailingSlashes(QFile::encodeName(of));
    const UniqueFd folder(::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid())
        return {};
    const int fd = folder.get();
    const bool rootIsUtf8 =
        PathBytes::isValidUtf8(std::string_view(root.constData(), size_t(root.size())));
    std::vector<std::string> names;
    DirectoryListing listing;
    listing.read(fd, [&](std::string_view name, unsigned char type) {
        if (type == DT_UNKNOWN) {
            struct stat st
            {
            };
            if (::fstatat(fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            type = S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_DIR && !PathBytes::isTrashName(name) && PathBytes::isValidUtf8(name))
            names.emplace_back(name);
    });
    if (!rootIsUtf8)
        return {};
    std::sort(names.begin(), names.end());
    const QString prefix = root == "/" ? QString() : QString::fromUtf8(root);
    QStringList result;
    result.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        result.push_back(prefix + u'/' +
                         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    return result;
}

bool preOrderLess(const QString& a, const QString& b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    return PathBytes::preOrderLess(std::string_view(x.constData(), size_t(x.size())),
                                   std::string_view(y.constData(), size_t(y.size())));
}

QDateTime dateFrom(qint64 seconds, qint32 nanoseconds)
{
    return QDateTime::fromMSecsSinceEpoch(millisecondsFrom(seconds, nanoseconds), Qt::UTC);
}

} // namespace FS

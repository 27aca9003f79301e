#include "scanners/MovedLink.h"

#include "fs/AppPaths.h"
#include "model/DeleteRisk.h"
#include "model/PathParts.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/HuggingFaceScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/OllamaScanner.h"
#include "scanners/WhisperScanner.h"
#include "text/Format.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <limits>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folders the scanners read as stores of their tools, resolved: a link into one of them is
// that tool's file reached another way, not a move.
QStringList storeRoots()
{
    QStringList roots = OllamaScanner::storeDirs();
    roots.push_back(HuggingFaceScanner::cacheDir());
    roots.push_back(AppPaths::fromEnvironment("HF_HUB_CACHE"));
    roots += LMStudioScanner::modelsDirs();
    const QStringList comfyRoots = ComfyUIScanner::roots();
    for (const QString& root : comfyRoots) {
        roots.push_back(root);
        roots += ComfyUIScanner::extraModelPaths(root + QStringLiteral("/extra_model_paths.yaml"));
    }
    roots += WhisperScanner::folders();
    QStringList resolved;
    for (const QString& root : std::as_const(roots)) {
        if (root.isEmpty())
            continue;
        if (const std::optional<QString> real = PathParts::resolved(root))
            resolved.push_back(*real);
    }
    return resolved;
}

} // namespace

// Computed once per walk, on the first link met: most walks meet none.
class MovedLinkStores
{
public:
    bool contain(const QString& path)
    {
        std::call_once(m_once, [this] { m_roots = storeRoots(); });
        for (const QString& root : std::as_const(m_roots)) {
            if (path == root || path.startsWith(PathParts::join(root, QString())))
                return true;
        }
        return false;
    }

private:
    std::once_flag m_once;
    QStringList m_roots;
};

std::optional<MovedLink> MovedLink::read(const QString& path, std::optional<Kind> kind,
                                         MovedLinkStores& stores)
{
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::lstat(bytes.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return std::nullopt;
    QByteArray text(st.st_size > 0 ? st.st_size + 1 : 4096, Qt::Uninitialized);
    const ssize_t length = ::readlink(bytes.constData(), text.data(), size_t(text.size()));
    if (length <= 0 || length >= text.size())
        return std::nullopt;
    text.truncate(length);
    MovedLink link;
    link.m_path = path;
    link.m_target = QFile::decodeName(text);
    if (!link.m_target.startsWith(u'/'))
        link.m_target = PathParts::join(PathParts::parentOf(path), link.m_target);
    link.m_target = QDir::cleanPath(link.m_target);
    if (::stat(bytes.constData(), &st) != 0) {
        // A loop, or a folder on the way that cannot be searched: not a move.
        if (errno != ENOENT || stores.contain(link.m_target))
            return std::nullopt;
        return link;
    }
    const bool isFolder = S_ISDIR(st.st_mode);
    if ((!isFolder && !S_ISREG(st.st_mode)) || (kind && isFolder != (*kind == Kind::folder)))
        return std::nullopt;
    link.m_reachable = true;
    link.m_size = isFolder ? 0 : qint64(st.st_size);
    link.m_modified = FS::dateFrom(st.st_mtim.tv_sec, static_cast<qint32>(st.st_mtim.tv_nsec));
    link.m_accessed = FS::dateFrom(st.st_atim.tv_sec, static_cast<qint32>(st.st_atim.tv_nsec));
    if (stores.contain(PathParts::resolved(path).value_or(link.m_target)))
        return std::nullopt;
    return link;
}

std::optional<MovedLink> MovedLink::read(const QString& path, Kind kind)
{
    MovedLinkStores stores;
    return read(path, std::optional<Kind>(kind), stores);
}

FileInfo MovedLink::asFile() const
{
    return FileInfo{m_path, m_reachable ? m_size : 0, m_reachable ? m_modified : std::nullopt,
                    m_reachable ? m_accessed : std::nullopt};
}

QList<FileInfo> MovedLink::files(const QString& under, bool skipHidden,
                                 std::optional<DepthRange> depth, const FS::FileFilter& keep)
{
    const auto stores = std::make_shared<MovedLinkStores>();
    // A link to another file of the same tree is that file under a second name, not a move.
    const QString tree = PathParts::join(PathParts::resolved(under).value_or(under), QString());
    return FS::files(under, skipHidden, depth, keep,
                     [&keep, stores, tree](const WalkedFile& walked) -> std::optional<FileInfo> {
                         const std::optional<QString> path = walked.pathText();
                         if (!path)
                             return std::nullopt;
                         const std::optional<MovedLink> link = read(*path, Kind::file, *stores);
                         if (!link || link->m_target.startsWith(tree) ||
                             PathParts::resolved(*path).value_or(QString()).startsWith(tree))
                             return std::nullopt;
                         WalkedFile asTarget = walked;
                         asTarget.size =
                             link->m_reachable ? link->m_size : std::numeric_limits<qint64>::max();
                         if (link->m_modified) {
                             const qint64 ms = link->m_modified->toMSecsSinceEpoch();
                             asTarget.modifiedSeconds = ms / 1000;
                             asTarget.modifiedNanoseconds = qint32(ms % 1000) * 1'000'000;
                         }
                         if (keep && !keep(asTarget))
                             return std::nullopt;
                         return link->asFile();
                     });
}

QStringList MovedLink::folders(const QString& of)
{
    QStringList result = FS::subdirectories(of);
    const QDir dir(of);
    const QStringList links =
        dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    MovedLinkStores stores;
    bool added = false;
    for (const QString& name : links) {
        const QString path = PathParts::join(PathParts::withoutTrailingSlashes(of), name);
        if (read(path, Kind::folder, stores)) {
            result.push_back(path);
            added = true;
        }
    }
    if (added)
        std::sort(result.begin(), result.end(), FS::preOrderLess);
    return result;
}

void MovedLink::mark(ModelEntry& entry)
{
    MovedLinkStores stores;
    QStringList targets;
    for (const QString& path : std::as_const(entry.allPaths)) {
        const std::optional<MovedLink> link = read(path, std::nullopt, stores);
        if (!link)
            continue;
        entry.moved.push_back(MovedPath{link->m_path, link->m_target, link->m_reachable});
        if (!targets.contains(link->m_target))
            targets.push_back(link->m_target);
    }
    if (entry.moved.isEmpty())
        return;
    for (const QString& target : std::as_const(targets)) {
        if (!entry.allPaths.contains(target))
            entry.allPaths.push_back(target);
    }
    // The primary path's own target names the move when it is one of the links.
    QString shown = entry.moved.front().target;
    for (const MovedPath& moved : std::as_const(entry.moved)) {
        if (moved.link == entry.primaryPath)
            shown = moved.target;
    }
    QString detail = QStringLiteral("Moved to ") + shortPath(shown);
    if (entry.unreachableTarget()) {
        detail += QStringLiteral(" — not reachable now");
        entry.sizeBytes = 0;
        entry.reclaimableBytes = 0;
        entry.lastModified.reset();
        entry.lastUsed.reset();
        entry.deleteRisk = DeleteRisk::unknown;
    }
    if (entry.detail && !entry.detail->isEmpty())
        detail += QStringLiteral(" · ") + *entry.detail;
    entry.detail = detail;
}

QString MovedLink::shortPath(const QString& path)
{
    QString shown = Format::shortPath(path);
    const QStringList parts = shown.split(u'/');
    // "", "mnt", "big", …, name: more than two folders between the start and the name.
    if (parts.size() > 5)
        shown =
            QStringList{parts[0], parts[1], parts[2], QStringLiteral("…"), parts.last()}.join(u'/');
    return shown;
}

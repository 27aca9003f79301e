#include "scanners/HuggingFaceScanner.h"

#include "fs/AppPaths.h"
#include "fs/DirectoryWalker.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "fs/WalkScope.h"
#include "model/PathParts.h"
#include "scanners/CodingCacheScanner.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/HubRepository.h"
#include "scanners/HuggingFaceCaches.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/MovedLink.h"
#include "scanners/OllamaScanner.h"
#include "scanners/WhisperScanner.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// A repository's "blobs" that is a link to a folder: where it leads.
struct LinkedBlobs
{
    qsizetype repository = 0;
    QString target;
};

// Whether one of the paths is the other or lies inside it.
bool overlap(const QString& a, const QString& b)
{
    const auto within = [](const QString& inner, const QString& outer) {
        return inner == outer || outer == QStringLiteral("/") || inner.startsWith(outer + u'/');
    };
    return within(a, b) || within(b, a);
}

// The folders of every store Brimvale lists, links resolved: a linked blobs folder overlapping
// one holds another program's files (or is one of them) and never goes with a repository.
QStringList storeFolders(const QString& hub)
{
    QStringList candidates{hub, HuggingFaceScanner::xetDir(), HuggingFaceScanner::datasetsDir()};
    candidates += OllamaScanner::storeDirs();
    candidates += LMStudioScanner::modelsDirs();
    candidates += ComfyUIScanner::roots();
    candidates += WhisperScanner::folders();
    candidates += CodingCacheScanner::folders();
    QStringList stores;
    for (const QString& candidate : std::as_const(candidates)) {
        if (const std::optional<QString> resolved = PathParts::resolved(candidate))
            stores.push_back(*resolved);
    }
    return stores;
}

// Where each repository's blobs are read. A linked blobs folder goes with its repository only
// when no other repository's blobs is that folder, and it neither holds the home nor overlaps
// a store (the hub among them, so it never holds the repository).
QList<HubRepository::Folder> foldersOf(const QString& hub, const QStringList& repositories)
{
    QList<HubRepository::Folder> folders;
    QList<LinkedBlobs> linked;
    QHash<QPair<dev_t, ino_t>, int> blobsFolders; // how many repositories' blobs are each folder
    for (const QString& path : repositories) {
        HubRepository::Folder folder{path, {}, {}, false};
        const QString blobs = path + QStringLiteral("/blobs");
        const QByteArray bytes = QFile::encodeName(blobs);
        struct stat st
        {
        };
        if (::lstat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            folder.blobs = blobs;
        } else if (S_ISLNK(st.st_mode) && ::stat(bytes.constData(), &st) == 0 &&
                   S_ISDIR(st.st_mode)) {
            folder.blobsElsewhere = true;
            if (const std::optional<QString> target = PathParts::resolved(blobs))
                linked.push_back({folders.size(), *target});
        }
        if (!folder.blobs.isEmpty() || folder.blobsElsewhere)
            ++blobsFolders[qMakePair(st.st_dev, st.st_ino)];
        folders.push_back(std::move(folder));
    }
    if (linked.isEmpty())
        return folders;

    const QStringList stores = storeFolders(hub);
    const QString home = PathParts::resolved(AppPaths::home()).value_or(AppPaths::home());
    for (const LinkedBlobs& link : std::as_const(linked)) {
        HubRepository::Folder& folder = folders[link.repository];
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(link.target).constData(), &st) != 0 ||
            blobsFolders.value(qMakePair(st.st_dev, st.st_ino)) != 1)
            continue;
        const auto holds = [&](const QString& inner) {
            return inner == link.target || inner.startsWith(link.target + u'/') ||
                   link.target == QStringLiteral("/");
        };
        if (holds(home) || std::any_of(stores.cbegin(), stores.cend(), [&](const QString& store) {
                return overlap(store, link.target);
            }))
            continue;
        folder.blobs = link.target;
        folder.linkedBlobs = link.target;
        folder.blobsElsewhere = false;
    }
    return folders;
}

// The entries of every repository, in the folders' order. Repositories are read on a few
// threads at once: most are small, so one walk at a time would leave the machine idle.
QList<ModelEntry> entriesOf(const QList<HubRepository::Folder>& folders, const QDateTime& now)
{
    std::vector<QList<ModelEntry>> found(static_cast<size_t>(folders.size()));
    std::atomic<qsizetype> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    const StopToken* stop = WalkScope::stop();
    std::atomic<qint64>* entriesSeen = WalkScope::entriesSeen();
    const auto work = [&] {
        const WalkScope scope(stop, entriesSeen);
        for (qsizetype i = next++; i < folders.size(); i = next++) {
            try {
                found[static_cast<size_t>(i)] = HubRepository::entries(folders[i], now);
            } catch (...) {
                const std::lock_guard lock(failureLock);
                failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    const qsizetype wanted =
        std::min<qsizetype>(DirectoryWalker::defaultThreads(), folders.size()) - 1;
    for (qsizetype i = 0; i < wanted; ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the threads there are do the rest
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
    QList<ModelEntry> models;
    for (QList<ModelEntry>& entries : found)
        models += std::move(entries);
    return models;
}

} // namespace

namespace HuggingFaceScanner {

QString cacheDir()
{
    QString hfHome = AppPaths::expandedFromEnvironment("HF_HOME");
    if (PosixIO::exists(hfHome))
        return hfHome;
    // Without $XDG_CACHE_HOME this is the default below.
    QString inCache = AppPaths::xdgCacheHome() + QStringLiteral("/huggingface");
    if (PosixIO::isFolder(inCache))
        return inCache;
    return AppPaths::home() + QStringLiteral("/.cache/huggingface");
}

QString hubDir()
{
    for (const char* name : {"HF_HUB_CACHE", "HUGGINGFACE_HUB_CACHE"}) {
        QString set = AppPaths::expandedFromEnvironment(name);
        if (!set.isEmpty())
            return set;
    }
    return cacheDir() + QStringLiteral("/hub");
}

QString xetDir()
{
    const QString set = AppPaths::expandedFromEnvironment("HF_XET_CACHE");
    return set.isEmpty() ? cacheDir() + QStringLiteral("/xet") : set;
}

QString datasetsDir()
{
    const QString set = AppPaths::expandedFromEnvironment("HF_DATASETS_CACHE");
    return set.isEmpty() ? cacheDir() + QStringLiteral("/datasets") : set;
}

SourceScan scan(const QDateTime& now)
{
    const QString hub = hubDir();
    SourceScan result = scanHub(hub, now);
    result.models += HuggingFaceCaches::entries(xetDir(), datasetsDir(), {hub});
    return result;
}

SourceScan scanHub(const QString& hub, const QDateTime& now)
{
    SourceScan result;
    if (!PosixIO::exists(hub))
        return result;
    // A repository folder a move left as a link is listed as the moved repository.
    QStringList repositories = MovedLink::folders(hub);
    repositories.removeIf([](const QString& path) {
        return !HubRepository::isRepositoryName(path.mid(path.lastIndexOf(u'/') + 1));
    });
    result.models = entriesOf(foldersOf(hub, repositories), now);
    const QSet<QString> folders(repositories.cbegin(), repositories.cend());
    for (ModelEntry& entry : result.models) {
        if (folders.contains(entry.primaryPath))
            MovedLink::mark(entry);
    }
    return result;
}

} // namespace HuggingFaceScanner

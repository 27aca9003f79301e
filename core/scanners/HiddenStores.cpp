#include "scanners/HiddenStores.h"

#include "fs/AppPaths.h"
#include "fs/DirectoryListing.h"
#include "fs/PathBytes.h"
#include "fs/UniqueFd.h"
#include "fs/WalkScope.h"
#include "model/PathParts.h"
#include "model/StopToken.h"
#include "scanners/CodingCacheScanner.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/DockerModelsScanner.h"
#include "scanners/Gpt4AllScanner.h"
#include "scanners/HuggingFaceScanner.h"
#include "scanners/InvokeAiScanner.h"
#include "scanners/JanScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/LlamaCppScanner.h"
#include "scanners/ModelScopeScanner.h"
#include "scanners/OllamaScanner.h"
#include "scanners/PyTorchHubScanner.h"
#include "scanners/SdWebUiScanner.h"
#include "scanners/TextGenWebUiScanner.h"
#include "scanners/WhisperScanner.h"
#include "text/Format.h"

#include <QFile>
#include <QSet>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int kDeepestLevel = 6;

using Identity = std::pair<dev_t, ino_t>;

struct Name
{
    std::string name;
    bool isFolder;
};

int openFolder(int parent, const char* name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::optional<Identity> identityOf(int fd)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return Identity{st.st_dev, st.st_ino};
}

// The names of an open folder, folders told by their type (a stat only where the file system
// gives none). Counts into the thread's walk scope.
std::vector<Name> namesOf(int fd, DirectoryListing& listing)
{
    std::vector<Name> names;
    listing.read(fd, [&](std::string_view name, unsigned char type) {
        bool folder = type == DT_DIR;
        if (type == DT_UNKNOWN) {
            struct stat st
            {
            };
            folder = ::fstatat(fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISDIR(st.st_mode);
        }
        names.push_back({std::string(name), folder});
    });
    if (std::atomic<qint64>* seen = WalkScope::entriesSeen())
        seen->fetch_add(qint64(names.size()), std::memory_order_relaxed);
    return names;
}

class Search
{
public:
    explicit Search(const QStringList& excluded)
    {
        for (const QString& path : excluded) {
            const UniqueFd fd(
                ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (const auto id = fd.isValid() ? identityOf(fd.get()) : std::nullopt)
                m_excluded.insert(*id);
        }
        const UniqueFd trash(::open(QFile::encodeName(AppPaths::homeTrash()).constData(),
                                    O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (trash.isValid())
            m_trash = identityOf(trash.get());
    }

    void searchRoot(const QString& root)
    {
        const UniqueFd fd(
            ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.isValid())
            visit(fd.get(), PathParts::withoutTrailingSlashes(QFile::encodeName(root)), 0);
    }

    [[nodiscard]] const QList<HiddenStores::Store>& stores() const { return m_stores; }

private:
    void visit(int fd, const QByteArray& path, int level)
    {
        if (StopToken::requested(WalkScope::stop()))
            return;
        const std::optional<Identity> id = identityOf(fd);
        if (!id || m_visited.contains(*id) || id == m_trash || m_excluded.contains(*id))
            return;
        m_visited.insert(*id);
        const std::vector<Name> names = namesOf(fd, m_listing);
        if (const auto kind = storeKind(fd, names)) {
            m_stores.push_back({*kind, QFile::decodeName(path)});
            return;
        }
        if (level >= kDeepestLevel)
            return;
        for (const Name& name : names) {
            if (!name.isFolder || PathBytes::isTrashName(name.name))
                continue;
            const UniqueFd child(openFolder(fd, name.name.c_str()));
            if (child.isValid())
                visit(child.get(), path + '/' + QByteArray::fromStdString(name.name), level + 1);
        }
    }

    std::optional<HiddenStores::Store::Kind> storeKind(int fd, const std::vector<Name>& names)
    {
        bool manifests = false;
        bool blobs = false;
        int repositories = 0;
        bool allRepositories = true;
        for (const Name& name : names) {
            if (!name.isFolder)
                continue;
            manifests = manifests || name.name == "manifests";
            blobs = blobs || name.name == "blobs";
            if (name.name.starts_with("models--")) {
                ++repositories;
                allRepositories = allRepositories && holdsRepositoryFolders(fd, name.name);
            }
        }
        if (repositories > 0 && allRepositories)
            return HiddenStores::Store::Kind::hub;
        if (manifests && blobs && holdsBlob(fd))
            return HiddenStores::Store::Kind::ollama;
        return std::nullopt;
    }

    bool holdsRepositoryFolders(int fd, const std::string& repository)
    {
        const UniqueFd folder(openFolder(fd, repository.c_str()));
        if (!folder.isValid())
            return false;
        for (const Name& name : namesOf(folder.get(), m_listing)) {
            if (name.isFolder && (name.name == "blobs" || name.name == "snapshots"))
                return true;
        }
        return false;
    }

    bool holdsBlob(int fd)
    {
        const UniqueFd folder(openFolder(fd, "blobs"));
        if (!folder.isValid())
            return false;
        for (const Name& name : namesOf(folder.get(), m_listing)) {
            if (!name.isFolder && name.name.starts_with("sha256-"))
                return true;
        }
        return false;
    }

    DirectoryListing m_listing;
    QSet<Identity> m_excluded;
    QSet<Identity> m_visited;
    std::optional<Identity> m_trash;
    QList<HiddenStores::Store> m_stores;
};

// The folders that the links directly in a store's folder point into.
void addLinkFolders(const QString& folder, QStringList& into)
{
    const UniqueFd fd(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isValid())
        return;
    DirectoryListing listing;
    listing.read(fd.get(), [&](std::string_view name, unsigned char type) {
        if (type != DT_LNK && type != DT_UNKNOWN)
            return;
        const QString link =
            folder + u'/' + QFile::decodeName(QByteArray(name.data(), qsizetype(name.size())));
        if (const std::optional<QString> target = PathParts::resolved(link);
            target && *target != link)
            into.push_back(target->left(target->lastIndexOf(u'/')));
    });
}

// The store's path, relative to the home when inside it, as lower-case letters and digits with
// "-" between runs.
QString slugOf(const QString& store)
{
    const QString home = AppPaths::home() + u'/';
    const QString relative = store.startsWith(home) ? store.mid(home.size()) : store;
    QString slug;
    for (const QChar c : relative.toLower()) {
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
            slug += c;
        else if (!slug.isEmpty() && !slug.endsWith(u'-'))
            slug += u'-';
    }
    while (slug.endsWith(u'-'))
        slug.chop(1);
    return slug;
}

void addStoreEntries(SourceScan scanned, const QString& store, SourceScan& result)
{
    const QString slug = slugOf(store);
    const QString where = QStringLiteral("in ") + Format::shortPath(store);
    for (ModelEntry& entry : scanned.models) {
        const qsizetype dash = entry.id.indexOf(u'-');
        entry.id.insert(dash + 1, slug + u'-');
        entry.detail =
            (entry.detail ? *entry.detail : QStringLiteral("Store kept by another app")) +
            QStringLiteral(" · ") + where;
        result.models.push_back(std::move(entry));
    }
    result.errors += scanned.errors;
}

} // namespace

namespace HiddenStores {

QList<Store> find(const QStringList& roots, const QStringList& excluded)
{
    Search search(excluded);
    for (const QString& root : roots)
        search.searchRoot(root);
    return search.stores();
}

QStringList readBySources()
{
    const QString hub = HuggingFaceScanner::hubDir();
    QStringList folders{hub, LlamaCppScanner::cacheDir()};
    folders += OllamaScanner::storeDirs();
    const QStringList stores = folders;
    addLinkFolders(hub, folders);
    addLinkFolders(LlamaCppScanner::cacheDir(), folders);
    for (const QString& store : stores.mid(2)) {
        addLinkFolders(store + QStringLiteral("/blobs"), folders);
        addLinkFolders(store, folders);
    }
    // What the other sources list: a store inside would be listed twice.
    folders += LMStudioScanner::modelsDirs() + WhisperScanner::folders() + ComfyUIScanner::roots() +
               CodingCacheScanner::folders() + Gpt4AllScanner::folders() + JanScanner::dataDirs() +
               TextGenWebUiScanner::folders() + SdWebUiScanner::installs();
    folders << HuggingFaceScanner::xetDir() << HuggingFaceScanner::datasetsDir()
            << PyTorchHubScanner::hubDir() << InvokeAiScanner::rootDir()
            << ModelScopeScanner::cacheDir() << DockerModelsScanner::storeDir();
    return folders;
}

SourceScan scan(const QStringList& customFolders, const QDateTime& now)
{
    QStringList roots{AppPaths::xdgConfigHome(), AppPaths::xdgDataHome(), AppPaths::xdgCacheHome()};
    roots += customFolders;
    SourceScan result;
    for (const Store& store : find(roots, readBySources())) {
        if (store.kind == Store::Kind::hub)
            addStoreEntries(HuggingFaceScanner::scanHub(store.path, now), store.path, result);
        else
            addStoreEntries(OllamaScanner::scanStores({store.path}, false, now), store.path,
                            result);
    }
    return result;
}

} // namespace HiddenStores

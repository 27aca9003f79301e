#include "scanners/OllamaScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "model/PathParts.h"
#include "model/Sizes.h"
#include "scanners/DuplicateFinder.h"
#include "scanners/MovedLink.h"
#include "scanners/OllamaManifest.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr quint16 ollamaPort = 11434;
constexpr std::chrono::milliseconds probeLimit{200};
// A download file changed this recently may still be written to.
constexpr qint64 downloadQuietSeconds = 10 * 60;
// A pull renames each finished layer to its blob name long before it writes the manifest: a
// blob no manifest names but changed this recently may be such a layer (Ollama's own pruning
// leaves blobs of the last hour alone too).
constexpr qint64 orphanQuietSeconds = 60 * 60;

std::optional<struct stat> statOf(const QString& path)
{
    struct stat st
    {
    };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return st;
}

// Stores whose blobs folders are one folder share a group: one reference count, one orphan list.
struct BlobGroup
{
    std::optional<std::pair<dev_t, ino_t>> identity;
    QString blobsDir; // of the group's first store: where its orphans are listed
    QHash<QString, int> references;
    bool hasManifests = false;  // some store of the group has a manifests folder
    bool everythingRead = true; // every manifest read and decoded, every folder opened
};

struct Tag
{
    QString path;
    QString name;
    qint64 size = 0;
    QDateTime modified;
    QList<OllamaManifest::Layer> layers;
    qsizetype group = 0;
    QString blobsDir;
};

qsizetype groupFor(std::vector<BlobGroup>& groups, const QString& blobsDir)
{
    std::optional<std::pair<dev_t, ino_t>> identity;
    if (const std::optional<struct stat> st = statOf(blobsDir))
        identity = std::make_pair(st->st_dev, st->st_ino);
    if (identity) {
        for (size_t i = 0; i < groups.size(); ++i) {
            if (groups[i].identity == identity)
                return static_cast<qsizetype>(i);
        }
    }
    groups.push_back(BlobGroup{identity, blobsDir, {}, false, true});
    return static_cast<qsizetype>(groups.size() - 1);
}

QString tagName(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype parentSlash = path.lastIndexOf(u'/', slash - 1);
    return path.mid(parentSlash + 1, slash - parentSlash - 1) + u':' + path.mid(slash + 1);
}

// Reads every manifest of one store into its group's reference counts; the regular, nameable
// ones and those a move left as links become tags. Another linked manifest counts but gives no
// tag. A moved manifest out of reach is a tag without layers, and leaves the group unread.
void readManifests(const QString& manifestsDir, const QString& blobsDir, qsizetype groupIndex,
                   BlobGroup& group, QList<Tag>& tags, QStringList& errors)
{
    OllamaManifest::Tree tree = OllamaManifest::list(manifestsDir);
    if (!tree.complete)
        group.everythingRead = false;

    for (OllamaManifest::TreeFile& file : tree.files) {
        const QString path =
            QString::fromUtf8(file.path.data(), static_cast<qsizetype>(file.path.size()));
        const PosixIO::BoundedRead read = PosixIO::readRegularFileBounded(
            QByteArray::fromStdString(file.path), OllamaManifest::maxBytes);
        std::optional<MovedLink> moved;
        if (file.isLink && file.pathIsUtf8)
            moved = MovedLink::read(path, MovedLink::Kind::file);
        if (moved && !moved->reachable()) {
            group.everythingRead = false;
            tags.push_back(Tag{path, tagName(path), 0, {}, {}, groupIndex, blobsDir});
            continue;
        }
        if (!read.bytes && !read.tooLarge) {
            errors.push_back(QStringLiteral("Cannot read manifest ") + path);
            group.everythingRead = false;
            continue;
        }
        std::optional<QList<OllamaManifest::Layer>> layers;
        if (read.bytes)
            layers = OllamaManifest::decode(*read.bytes);
        if (!layers) {
            errors.push_back(QStringLiteral("Cannot parse manifest ") + path);
            group.everythingRead = false;
            continue;
        }
        QSet<QString> counted;
        for (const OllamaManifest::Layer& layer : *layers) {
            const QString blob = OllamaManifest::blobFileName(layer.digest);
            if (!counted.contains(blob)) {
                counted.insert(blob);
                ++group.references[blob];
            }
        }
        if ((file.isLink && !moved) || !file.pathIsUtf8)
            continue;
        if (moved) { // sized and dated by the manifest it points to
            file.size = moved->asFile().size;
            file.modified = moved->asFile().modified.value_or(file.modified);
        }
        tags.push_back(Tag{path, tagName(path), file.size, std::move(file.modified),
                           std::move(*layers), groupIndex, blobsDir});
    }
}

// The blobs of the tag's layers large enough to be looked at for copies, shared or not, whatever
// they hold (weights, a vision projector, an adapter): the tag is a copy only when each one is.
QStringList largeLayerFiles(const Tag& tag)
{
    QStringList files;
    for (const OllamaManifest::Layer& layer : tag.layers) {
        if (layer.size < DuplicateFinder::kMinimumSize)
            continue;
        const QString blobPath = tag.blobsDir + u'/' + OllamaManifest::blobFileName(layer.digest);
        const std::optional<struct stat> st = statOf(blobPath);
        if (st && S_ISREG(st->st_mode) && st->st_size >= DuplicateFinder::kMinimumSize &&
            !files.contains(blobPath))
            files.push_back(blobPath);
    }
    return files;
}

// When the tag's weights were last read: the newest access time of its model layers.
std::optional<QDateTime> modelLayerUse(const Tag& tag)
{
    std::optional<QDateTime> newest;
    for (const OllamaManifest::Layer& layer : tag.layers) {
        if (layer.mediaType != OllamaManifest::modelMediaType)
            continue;
        const std::optional<struct stat> st =
            statOf(tag.blobsDir + u'/' + OllamaManifest::blobFileName(layer.digest));
        if (!st || !S_ISREG(st->st_mode))
            continue;
        const QDateTime used =
            FS::dateFrom(st->st_atim.tv_sec, static_cast<qint32>(st->st_atim.tv_nsec));
        if (!newest || used > *newest)
            newest = used;
    }
    return newest;
}

// While some manifest of the group could not be read, any blob may be another tag's too: a tag
// then offers only its manifest and keeps every layer.
ModelEntry tagEntry(const Tag& tag, const BlobGroup& group, bool ollamaRunning)
{
    QStringList paths{tag.path};
    qint64 reclaimable = tag.size;
    qint64 total = 0;
    int shared = 0;
    QSet<QString> seen;
    for (const OllamaManifest::Layer& layer : tag.layers) {
        const QString blob = OllamaManifest::blobFileName(layer.digest);
        if (seen.contains(blob))
            continue;
        seen.insert(blob);
        total = saturatingAdd(total, layer.size);
        if (!group.everythingRead)
            continue;
        if (group.references.value(blob) >= 2) {
            ++shared;
        } else {
            const QString blobPath = tag.blobsDir + u'/' + blob;
            // Follows links: a blob moved away and linked still counts, out of reach too.
            if (statOf(blobPath) || MovedLink::read(blobPath, MovedLink::Kind::file)) {
                paths.push_back(blobPath);
                reclaimable = saturatingAdd(reclaimable, layer.size);
            }
        }
    }
    std::optional<QString> detail;
    if (!group.everythingRead)
        detail = QStringLiteral("Layers kept — another Ollama model here could not be read");
    else if (shared == 1)
        detail = QStringLiteral("Shares 1 layer with other Ollama tags — shared data is kept");
    else if (shared > 1)
        detail = QStringLiteral("Shares %1 layers with other Ollama tags — shared data is kept")
                     .arg(shared);
    QString id = tag.name;
    id.replace(u':', u'-');
    ModelEntry entry(QStringLiteral("ollama-") + id, tag.name, ModelSource::ollama, total,
                     reclaimable, tag.path, paths, tag.modified,
                     ollamaRunning ? DeleteRisk::risky : DeleteRisk::safe, std::nullopt, detail);
    entry.kind = ModelEntry::Kind::ollamaTag;
    entry.dataFiles = largeLayerFiles(tag);
    entry.lastUsed = modelLayerUse(tag);
    MovedLink::mark(entry);
    return entry;
}

// Ollama downloads into "<blob>-partial" and "<blob>-partial-<n>": the length of that suffix,
// or nothing for any other file.
std::optional<size_t> downloadSuffixLength(std::string_view name)
{
    std::string_view rest = name;
    while (!rest.empty() && rest.back() >= '0' && rest.back() <= '9')
        rest.remove_suffix(1);
    const std::string_view suffix = rest.size() < name.size() ? "-partial-" : "-partial";
    if (!rest.ends_with(suffix))
        return std::nullopt;
    return name.size() - rest.size() + suffix.size();
}

bool isPartialDownload(std::string_view name)
{
    return downloadSuffixLength(name).has_value();
}

// The file name whole when it has at most 16 characters, else its first and last 8 around "…".
QString shortBlobName(const QString& name)
{
    const QList<uint> characters = name.toUcs4();
    if (characters.size() <= 16)
        return name;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData()), 8) + u'…' +
           QString::fromUcs4(
               reinterpret_cast<const char32_t*>(characters.constData() + characters.size() - 8),
               8);
}

// The unfinished downloads of the group's blobs folder and, when `orphans` is set, the blobs no
// manifest references: one walk, the downloads apart.
struct LooseBlobs
{
    QList<FileInfo> downloads;
    QList<FileInfo> orphans;
};

LooseBlobs looseBlobs(const BlobGroup& group, bool orphans)
{
    const QHash<QString, int>& references = group.references;
    LooseBlobs found;
    for (FileInfo& file :
         FS::files(group.blobsDir, false, DepthRange{1, 1},
                   [&references, orphans](const WalkedFile& file) {
                       return isPartialDownload(file.name) ||
                              (orphans && !references.contains(QString::fromUtf8(
                                              file.name.data(), qsizetype(file.name.size()))));
                   })) {
        const QByteArray name = file.fileName().toUtf8();
        (isPartialDownload({name.constData(), size_t(name.size())}) ? found.downloads
                                                                    : found.orphans)
            .push_back(std::move(file));
    }
    return found;
}

bool changedSince(const FileInfo& file, const QDateTime& since)
{
    return file.modified && *file.modified > since;
}

// Whether a download of the blobs folder changed lately: a pull may be running there.
bool pullRunning(const QList<FileInfo>& downloads, const QDateTime& now)
{
    const QDateTime quietSince = now.addSecs(-downloadQuietSeconds);
    return std::any_of(downloads.begin(), downloads.end(),
                       [&](const FileInfo& file) { return changedSince(file, quietSince); });
}

// The orphans of a blobs folder that no pull may still be writing: none while a pull runs there,
// and none changed within the last hour. A blob without a date is left out too.
void addOrphans(const QList<FileInfo>& orphans, bool pulling, const QDateTime& now,
                QList<ModelEntry>& models)
{
    if (pulling)
        return;
    const QDateTime quietSince = now.addSecs(-orphanQuietSeconds);
    for (const FileInfo& file : orphans) {
        if (!file.modified || changedSince(file, quietSince))
            continue;
        const QString name = file.fileName();
        models.push_back(ModelEntry(
            QStringLiteral("ollama-orphan-") + name,
            QStringLiteral("Orphaned blob (") + shortBlobName(name) + u')', ModelSource::ollama,
            file.size, file.size, file.path, {file.path}, file.modified, DeleteRisk::safe,
            std::nullopt, QStringLiteral("Not referenced by any Ollama model — safe to remove")));
        models.back().lastUsed = file.accessed;
    }
}

// One entry per unfinished download of the group's blobs folder, its part files included. A
// download any file of which changed lately may still be running and is left out.
void addDownloads(QList<FileInfo> files, bool ollamaRunning, const QDateTime& now,
                  QList<ModelEntry>& models)
{
    QMap<QString, QList<FileInfo>> downloads; // by blob name, files in byte order of names
    for (FileInfo& file : files) {
        const QString name = file.fileName();
        const QByteArray bytes = name.toUtf8();
        // The suffix is ASCII: as many characters as bytes.
        const size_t suffix = *downloadSuffixLength({bytes.constData(), size_t(bytes.size())});
        downloads[name.chopped(static_cast<qsizetype>(suffix))].push_back(std::move(file));
    }
    const QDateTime quietSince = now.addSecs(-downloadQuietSeconds);
    for (auto it = downloads.cbegin(); it != downloads.cend(); ++it) {
        qint64 size = 0;
        QStringList paths;
        std::optional<QDateTime> newest;
        std::optional<QDateTime> used;
        bool running = false;
        for (const FileInfo& file : it.value()) {
            size = saturatingAdd(size, file.size);
            paths.push_back(file.path);
            if (file.modified && (!newest || *file.modified > *newest))
                newest = file.modified;
            if (file.accessed && (!used || *file.accessed > *used))
                used = file.accessed;
            running = running || changedSince(file, quietSince);
        }
        if (running)
            continue;
        // "<blob>-partial" sorts before its "-partial-<n>" parts.
        models.push_back(ModelEntry(
            QStringLiteral("ollama-partial-") + it.key(),
            QStringLiteral("Unfinished download (") + shortBlobName(it.key()) + u')',
            ModelSource::ollama, size, size, paths.first(), paths, newest,
            ollamaRunning ? DeleteRisk::risky : DeleteRisk::safe, std::nullopt,
            QStringLiteral("Unfinished download — safe to remove unless it is still downloading")));
        models.back().lastUsed = used;
    }
}

bool waitUntilConnected(int fd)
{
    const auto deadline = std::chrono::steady_clock::now() + probeLimit;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd request{fd, POLLOUT, 0};
        const int ready = ::poll(&request, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        int error = 0;
        socklen_t length = sizeof error;
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
}

} // namespace

namespace OllamaScanner {

QString modelsDir()
{
    QString value = AppPaths::fromEnvironment("OLLAMA_MODELS");
    if (!value.isEmpty() && statOf(value))
        return value;
    return AppPaths::home() + QStringLiteral("/.ollama/models");
}

QString systemStoreDir()
{
    return QStringLiteral("/usr/share/ollama/.ollama/models");
}

QStringList storeDirs(const QString& systemStore)
{
    const QString models = modelsDir();
    QStringList dirs{models};
    const std::optional<struct stat> system = statOf(systemStore);
    if (system && S_ISDIR(system->st_mode)) {
        const std::optional<struct stat> own = statOf(models);
        if (!own || own->st_dev != system->st_dev || own->st_ino != system->st_ino)
            dirs.push_back(systemStore);
    }
    return dirs;
}

bool isRunning()
{
    const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.isValid())
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ollamaPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    return errno == EINPROGRESS && waitUntilConnected(fd.get());
}

SourceScan scan(bool ollamaRunning)
{
    return scanStores(storeDirs(), ollamaRunning);
}

SourceScan scanStores(const QStringList& stores, bool ollamaRunning, const QDateTime& now)
{
    SourceScan result;
    std::vector<BlobGroup> groups;
    QList<Tag> tags;
    for (const QString& store : stores) {
        const QString dir = PathParts::withoutTrailingSlashes(store);
        const QString blobsDir = dir + QStringLiteral("/blobs");
        const qsizetype group = groupFor(groups, blobsDir);
        const QString manifestsDir = dir + QStringLiteral("/manifests");
        if (!statOf(manifestsDir))
            continue; // no store here: no tags, and no orphans looked for on its account
        BlobGroup& blobGroup = groups[static_cast<size_t>(group)];
        blobGroup.hasManifests = true;
        readManifests(manifestsDir, blobsDir, group, blobGroup, tags, result.errors);
    }
    for (const Tag& tag : tags) {
        result.models.push_back(
            tagEntry(tag, groups[static_cast<size_t>(tag.group)], ollamaRunning));
    }
    // A blob of a manifest that could not be read, or that sits in a folder that could not be
    // opened, is still in use: orphans only come from groups that were seen whole. No manifest
    // names an unfinished download, so those are listed whatever was read.
    for (const BlobGroup& group : groups) {
        LooseBlobs loose = looseBlobs(group, group.hasManifests && group.everythingRead);
        const bool pulling = pullRunning(loose.downloads, now);
        addDownloads(std::move(loose.downloads), ollamaRunning, now, result.models);
        addOrphans(loose.orphans, pulling, now, result.models);
    }
    return result;
}

} // namespace OllamaScanner

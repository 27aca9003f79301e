#include "scanners/HubRepository.h"

#include "fs/DirectoryWalker.h"
#include "fs/FS.h"
#include "model/Sizes.h"
#include "scanners/DuplicateFinder.h"
#include "scanners/HubRevisions.h"

#include <QFile>
#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace {

struct Kind
{
    QLatin1String prefix;
    QLatin1String label; // what the names say of the kind; empty for models
};

constexpr Kind kKinds[] = {{QLatin1String("models--"), QLatin1String()},
                           {QLatin1String("datasets--"), QLatin1String("dataset")},
                           {QLatin1String("spaces--"), QLatin1String("space")}};

// A download file changed this recently may still be written to.
constexpr qint64 kDownloadQuietSeconds = 10 * 60;

const Kind* kindOf(const QString& folderName)
{
    for (const Kind& kind : kKinds) {
        if (folderName.startsWith(kind.prefix))
            return &kind;
    }
    return nullptr;
}

// "models--owner--name" -> "owner/name": only the first "--" after the prefix becomes a slash.
// A dataset or space says so, before what the entry is when that is given: "o/n (dataset)",
// "o/n (dataset, old revisions)", "o/n (old revisions)".
QString displayName(const QString& folderName, const QString& what = {})
{
    const Kind& kind = *kindOf(folderName);
    QString name = folderName.mid(kind.prefix.size());
    const qsizetype separator = name.indexOf(QStringLiteral("--"));
    if (separator >= 0)
        name.replace(separator, 2, u'/');
    QStringList notes;
    if (!kind.label.isEmpty())
        notes.push_back(kind.label);
    if (!what.isEmpty())
        notes.push_back(what);
    if (!notes.isEmpty())
        name += QStringLiteral(" (") + notes.join(QStringLiteral(", ")) + u')';
    return name;
}

struct Blob
{
    std::string name; // of a blob right in the folder; empty for a file deeper down
    qint64 size = 0;
    qint64 seconds = 0;
    qint32 nanoseconds = 0;
    qint64 accessedSeconds = 0;
    qint32 accessedNanoseconds = 0;
    std::optional<QString> largePath; // a file deeper down large enough to be compared
    bool nameIsUtf8 = true;
    bool keptLink = false;     // a link of a current snapshot names it
    bool detachedLink = false; // a link of a detached snapshot names it
};

// The regular files of the blobs folder, in one walk: the blobs right inside, other files
// apart, and the unfinished downloads ("<name>.incomplete" right inside).
class BlobsVisitor : public WalkVisitor
{
public:
    void visit(const WalkedFile& file) override
    {
        const bool direct = file.level == 1;
        if (direct && file.name.ends_with(".incomplete")) {
            const std::optional<QString> path = file.pathText();
            if (!path)
                return;
            const std::lock_guard lock(m_mutex);
            downloads.push_back({*path, file.size,
                                 FS::dateFrom(file.modifiedSeconds, file.modifiedNanoseconds),
                                 FS::dateFrom(file.accessedSeconds, file.accessedNanoseconds)});
            return;
        }
        Blob blob{direct ? std::string(file.name) : std::string(),
                  file.size,
                  file.modifiedSeconds,
                  file.modifiedNanoseconds,
                  file.accessedSeconds,
                  file.accessedNanoseconds,
                  std::nullopt};
        blob.nameIsUtf8 = file.pathIsUtf8;
        if (!direct && file.size >= DuplicateFinder::kMinimumSize)
            blob.largePath = file.pathText();
        const std::lock_guard lock(m_mutex);
        (direct ? blobs : others).push_back(std::move(blob));
    }

    std::vector<Blob> blobs;
    std::vector<Blob> others; // files in folders below: counted with the repository
    QList<FileInfo> downloads;

private:
    std::mutex m_mutex;
};

// Bytes, newest dates and large files of what one entry holds.
struct Tally
{
    using Stamp = std::pair<qint64, qint32>; // seconds, nanoseconds
    qint64 bytes = 0;
    std::optional<Stamp> newest;
    std::optional<Stamp> newestAccess;
    QStringList dataFiles;

    template <typename File> void add(const File& file, const std::optional<QString>& path)
    {
        bytes = saturatingAdd(bytes, file.size);
        raise(newest, {file.seconds, file.nanoseconds});
        raise(newestAccess, {file.accessedSeconds, file.accessedNanoseconds});
        if (path && file.size >= DuplicateFinder::kMinimumSize)
            dataFiles.push_back(*path);
    }
    std::optional<QDateTime> date() const { return dateOf(newest); }
    std::optional<QDateTime> lastUsed() const { return dateOf(newestAccess); }

private:
    static void raise(std::optional<Stamp>& stamp, Stamp value)
    {
        if (!stamp || value > *stamp)
            stamp = value;
    }
    static std::optional<QDateTime> dateOf(const std::optional<Stamp>& stamp)
    {
        if (!stamp)
            return std::nullopt;
        return FS::dateFrom(stamp->first, stamp->second);
    }
};

bool lessInPreOrder(const QString& a, const QString& b)
{
    return FS::preOrderLess(a, b);
}

// One entry per unfinished download of the repository's blobs that has not changed lately.
void addDownloads(QList<FileInfo> downloads, const QString& folderName, const QDateTime& now,
                  QList<ModelEntry>& models)
{
    std::sort(downloads.begin(), downloads.end(), [](const FileInfo& a, const FileInfo& b) {
        return FS::preOrderLess(a.path, b.path);
    });
    const QDateTime quietSince = now.addSecs(-kDownloadQuietSeconds);
    const QString name = displayName(folderName, QStringLiteral("unfinished download"));
    for (const FileInfo& file : std::as_const(downloads)) {
        if (file.modified && *file.modified > quietSince)
            continue;
        models.push_back(ModelEntry(
            QStringLiteral("hf-partial-") + folderName + u'-' + file.fileName().left(12), name,
            ModelSource::huggingFace, file.size, file.size, file.path, {file.path}, file.modified,
            DeleteRisk::safe, std::nullopt,
            QStringLiteral("Unfinished download — safe to remove unless it is still downloading")));
        models.back().lastUsed = file.accessed;
    }
}

QString oldRevisionsDetail(qsizetype count)
{
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" old revision") : QStringLiteral(" old revisions")) +
           QStringLiteral(" no branch or tag points to — the current files stay");
}

} // namespace

namespace HubRepository {

bool isRepositoryName(const QString& folderName)
{
    return kindOf(folderName) != nullptr;
}

QList<ModelEntry> entries(const Folder& folder, const QDateTime& now)
{
    const QString folderName = folder.path.mid(folder.path.lastIndexOf(u'/') + 1);
    BlobsVisitor contents;
    // Symbolic links never count, so snapshots that link into blobs are not counted twice,
    // and a cache whose snapshots hold the files themselves is sized by them.
    if (!folder.blobs.isEmpty())
        DirectoryWalker::walk(folder.blobs, {}, contents);
    const HubRevisions revisions = HubRevisions::read(
        folder.path, folder.blobsElsewhere ? -1 : static_cast<qint64>(contents.blobs.size()));

    bool missingBlob = false;
    if (!revisions.links.empty()) {
        std::unordered_map<std::string_view, Blob*> byName;
        for (Blob& blob : contents.blobs)
            byName.emplace(blob.name, &blob);
        for (const HubRevisions::Link& link : revisions.links) {
            const auto found = byName.find(link.blob);
            if (found == byName.end()) {
                missingBlob = missingBlob || !folder.blobsElsewhere;
                continue;
            }
            const bool detached = link.commit >= 0 && revisions.detached[size_t(link.commit)];
            (detached ? found->second->detachedLink : found->second->keptLink) = true;
        }
    }
    const auto isDetached = [&](int commit) {
        return !folder.blobsElsewhere && commit >= 0 && revisions.detached[size_t(commit)];
    };

    Tally repository;
    Tally old;
    QStringList oldBlobs;
    for (const Blob& blob : contents.blobs) {
        const bool isOld =
            !folder.blobsElsewhere && blob.detachedLink && !blob.keptLink && blob.nameIsUtf8;
        std::optional<QString> path;
        if (isOld || (blob.size >= DuplicateFinder::kMinimumSize && blob.nameIsUtf8))
            path = folder.blobs + u'/' + QString::fromUtf8(blob.name);
        if (isOld) {
            old.add(blob, path);
            oldBlobs.push_back(*path);
        } else {
            repository.add(blob, path);
        }
    }
    for (const Blob& file : contents.others)
        repository.add(file, file.largePath);
    for (const HubRevisions::File& file : revisions.files)
        (isDetached(file.commit) ? old : repository).add(file, file.largePath);

    QStringList paths{folder.path};
    if (!folder.linkedBlobs.isEmpty())
        paths.push_back(folder.linkedBlobs);
    const bool damaged = missingBlob || revisions.missingSnapshot;
    ModelEntry entry(QStringLiteral("hf-") + folderName, displayName(folderName),
                     ModelSource::huggingFace, repository.bytes, repository.bytes, folder.path,
                     paths, repository.date(), DeleteRisk::safe, std::nullopt,
                     damaged ? std::optional<QString>(
                                   QStringLiteral("Some files of this repository are missing"))
                             : std::nullopt);
    entry.dataFiles = repository.dataFiles;
    entry.lastUsed = repository.lastUsed();
    std::sort(entry.dataFiles.begin(), entry.dataFiles.end(), lessInPreOrder);
    QList<ModelEntry> models{std::move(entry)};

    QStringList oldPaths;
    for (qsizetype i = 0; i < revisions.commits.size(); ++i) {
        if (isDetached(static_cast<int>(i)))
            oldPaths.push_back(folder.path + QStringLiteral("/snapshots/") + revisions.commits[i]);
    }
    if (!oldPaths.isEmpty()) {
        const qsizetype count = oldPaths.size();
        std::sort(oldBlobs.begin(), oldBlobs.end(), lessInPreOrder);
        oldPaths += oldBlobs;
        ModelEntry oldEntry(QStringLiteral("hf-old-") + folderName,
                            displayName(folderName, QStringLiteral("old revisions")),
                            ModelSource::huggingFace, old.bytes, old.bytes, oldPaths.front(),
                            oldPaths, old.date(), DeleteRisk::safe, std::nullopt,
                            oldRevisionsDetail(count));
        oldEntry.dataFiles = old.dataFiles;
        oldEntry.lastUsed = old.lastUsed();
        std::sort(oldEntry.dataFiles.begin(), oldEntry.dataFiles.end(), lessInPreOrder);
        models.push_back(std::move(oldEntry));
    }
    addDownloads(contents.downloads, folderName, now, models);
    return models;
}

} // namespace HubRepository

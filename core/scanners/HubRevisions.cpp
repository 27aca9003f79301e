#include "scanners/HubRevisions.h"

#include "fs/DirectoryWalker.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "scanners/DuplicateFinder.h"

#include <QFile>
#include <QSet>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unordered_map>

namespace {

// A ref holds a commit hash; anything much longer is not one.
constexpr qint64 kRefBytes = 256;

bool isRealFolder(const QString& folder)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string bytesOf(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

// Collects the paths of the regular files under "refs/".
class RefsVisitor : public WalkVisitor
{
public:
    void visit(const WalkedFile& file) override
    {
        const std::lock_guard lock(m_mutex);
        paths.emplace_back(file.path);
    }
    void folderFailed(std::string_view, int) override { failed = true; }

    std::vector<std::string> paths;
    std::atomic<bool> failed{false};

private:
    std::mutex m_mutex;
};

class SnapshotsVisitor : public WalkVisitor
{
public:
    SnapshotsVisitor(const std::string& root, const std::string& blobs,
                     const std::unordered_map<std::string, int>& commits)
        : m_root(root), m_blobs(blobs), m_commits(commits)
    {}

    void visit(const WalkedFile& file) override
    {
        HubRevisions::File found{commitOf(file),       file.size,
                                 file.modifiedSeconds, file.modifiedNanoseconds,
                                 file.accessedSeconds, file.accessedNanoseconds,
                                 std::nullopt};
        if (file.size >= DuplicateFinder::kMinimumSize)
            found.largePath = file.pathText();
        const std::lock_guard lock(m_mutex);
        files.push_back(std::move(found));
    }

    void visitSymlink(const WalkedFile& link) override
    {
        if (link.level < 2)
            return;
        std::optional<std::string> blob = blobNamed(link);
        if (!blob)
            return;
        HubRevisions::Link found{commitOf(link), std::move(*blob)};
        const std::lock_guard lock(m_mutex);
        links.push_back(std::move(found));
    }

    void folderFailed(std::string_view, int) override { failed = true; }

    std::vector<HubRevisions::File> files;
    std::vector<HubRevisions::Link> links;
    std::atomic<bool> failed{false};

private:
    // The snapshot folder the entry lies in, from the first component below the root.
    int commitOf(const WalkedFile& entry) const
    {
        if (entry.level < 2)
            return -1;
        const std::string_view below = entry.path.substr(m_root.size() + 1);
        const auto found = m_commits.find(std::string(below.substr(0, below.find('/'))));
        return found == m_commits.end() ? -1 : found->second;
    }

    // The name of the blob the link names, when it points right into the repository's blobs.
    std::optional<std::string> blobNamed(const WalkedFile& link) const
    {
        // The hub writes "../../blobs/<name>", one "../" more per folder inside the snapshot.
        std::string_view rest = link.linkTarget;
        int ups = 0;
        while (rest.starts_with("../")) {
            rest.remove_prefix(3);
            ++ups;
        }
        std::string_view name;
        if (ups == link.level && rest.starts_with("blobs/")) {
            name = rest.substr(6);
        } else {
            const std::string_view folder =
                link.path.substr(0, link.path.size() - link.name.size());
            const std::filesystem::path target(link.linkTarget);
            const std::string normal =
                (target.is_absolute() ? target : std::filesystem::path(folder) / target)
                    .lexically_normal()
                    .native();
            if (normal.size() <= m_blobs.size() + 1 || !normal.starts_with(m_blobs) ||
                normal[m_blobs.size()] != '/')
                return std::nullopt;
            return blobNamedIn(normal.substr(m_blobs.size() + 1));
        }
        return blobNamedIn(name);
    }

    static std::optional<std::string> blobNamedIn(std::string_view name)
    {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            return std::nullopt;
        return std::string(name);
    }

    const std::string& m_root;
    const std::string& m_blobs;
    const std::unordered_map<std::string, int>& m_commits;
    std::mutex m_mutex;
};

// The commits the refs name; nothing when a ref or a folder of them could not be read.
std::optional<QSet<QString>> namedCommits(const QString& repository)
{
    RefsVisitor visitor;
    DirectoryWalker::walk(repository + QStringLiteral("/refs"), {}, visitor);
    QSet<QString> named;
    for (const std::string& path : visitor.paths) {
        const PosixIO::BoundedRead read = PosixIO::readRegularFileBounded(
            QByteArray(path.data(), static_cast<qsizetype>(path.size())), kRefBytes);
        if (!read.bytes)
            return std::nullopt;
        named.insert(QString::fromUtf8(read.bytes->trimmed()));
    }
    if (visitor.failed)
        return std::nullopt;
    return named;
}

} // namespace

HubRevisions HubRevisions::read(const QString& repository, qint64 blobs)
{
    HubRevisions revisions;
    const QString snapshots = repository + QStringLiteral("/snapshots");
    // A snapshots folder that is itself a link frees nothing when the repository goes.
    if (!isRealFolder(snapshots))
        return revisions;
    std::unordered_map<std::string, int> index;
    for (const QString& folder : FS::subdirectories(snapshots)) {
        const QString name = folder.mid(folder.lastIndexOf(u'/') + 1);
        index.emplace(name.toStdString(), static_cast<int>(revisions.commits.size()));
        revisions.commits.push_back(name);
    }
    revisions.detached.assign(revisions.commits.size(), false);

    const std::optional<QSet<QString>> named = namedCommits(repository);
    bool anyDetached = false;
    if (named) {
        const QSet<QString> present(revisions.commits.cbegin(), revisions.commits.cend());
        for (const QString& commit : *named) {
            if (!present.contains(commit) && (commit.isEmpty() || commit.contains(u'/') ||
                                              !PosixIO::lexists(snapshots + u'/' + commit)))
                revisions.missingSnapshot = true;
        }
        for (qsizetype i = 0; i < revisions.commits.size() && !named->isEmpty(); ++i) {
            const bool detached = !named->contains(revisions.commits[i]);
            revisions.detached[static_cast<size_t>(i)] = detached;
            anyDetached = anyDetached || detached;
        }
    }

    const std::string root = std::filesystem::path(bytesOf(snapshots)).lexically_normal().native();
    const std::string blobsFolder =
        std::filesystem::path(bytesOf(repository + QStringLiteral("/blobs")))
            .lexically_normal()
            .native();
    SnapshotsVisitor visitor(root, blobsFolder, index);
    WalkOptions options;
    options.reportSymlinks = anyDetached;
    options.readLinkTargets = true;
    const WalkStats walked = DirectoryWalker::walk(root, options, visitor);
    if (!anyDetached && blobs >= 0 && walked.symlinks > blobs && !visitor.failed) {
        // Only the links are wanted this time: the files were met in the first walk.
        SnapshotsVisitor links(root, blobsFolder, index);
        options.reportSymlinks = true;
        DirectoryWalker::walk(root, options, links);
        visitor.links = std::move(links.links);
        visitor.failed = links.failed.load();
    }
    revisions.files = std::move(visitor.files);
    revisions.links = std::move(visitor.links);
    if (visitor.failed)
        revisions.detached.assign(revisions.commits.size(), false);
    return revisions;
}

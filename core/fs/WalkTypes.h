#pragma once

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <optional>
#include <string_view>
#include <sys/types.h>

class StopToken;

// A closed range of walk levels: an entry directly inside the root is at level 1.
struct DepthRange
{
    int lower = 1;
    int upper = 1;
};

// What the walker tells its visitor about one regular file. The views point into the walker's
// buffers and are valid only during the call.
struct WalkedFile
{
    std::string_view path; // absolute path, as bytes
    std::string_view name; // last component, as bytes
    int level = 0;
    qint64 size = 0;
    qint64 modifiedSeconds = 0; // since 1970, UTC
    qint32 modifiedNanoseconds = 0;
    qint64 accessedSeconds = 0; // since 1970, UTC; as the file system keeps it (see VolumeInfo)
    qint32 accessedNanoseconds = 0;
    dev_t device = 0;
    ino_t inode = 0;
    bool pathIsUtf8 = true; // false when this name or a folder above it is not valid UTF-8
    // A symbolic link's target as written, when WalkOptions::readLinkTargets is set.
    std::string_view linkTarget;

    // The path as text, or nothing when it holds a name that is not valid UTF-8.
    [[nodiscard]] std::optional<QString> pathText() const;
};

// Receives every regular file of a walk. Called from several threads at once, in any order.
class WalkVisitor
{
public:
    virtual ~WalkVisitor() = default;
    virtual void visit(const WalkedFile& file) = 0;
    // A symbolic link within the depth range, when WalkOptions::reportSymlinks is set. Size and
    // dates are the link's own; the link is not followed.
    virtual void visitSymlink(const WalkedFile& link) { (void)link; }
    // A folder of the tree (the root included) that could not be opened or listed in full.
    virtual void folderFailed(std::string_view path, int error)
    {
        (void)path;
        (void)error;
    }
};

struct WalkOptions
{
    bool skipHidden = false;
    std::optional<DepthRange> depth;
    // Neither return nor enter the home Trash or folders named ".Trash" / ".Trash-<digits>".
    bool skipTrash = true;
    // Also hand symbolic links within the depth range to WalkVisitor::visitSymlink.
    bool reportSymlinks = false;
    // With reportSymlinks: each link is read instead of stat'ed, so WalkedFile::linkTarget holds
    // its target and its size, dates, device and inode are left zero.
    bool readLinkTargets = false;
    // Worker threads including the caller's; 0 picks a default for this machine.
    int threads = 0;
    // Checked before each folder is opened and while a folder is listed: once a stop is
    // requested, the folders still waiting are dropped and the walk returns. When absent, the
    // thread's WalkScope gives it.
    const StopToken* stop = nullptr;
    // Grows by the number of names each folder lists (one addition per folder). When absent,
    // the thread's WalkScope gives it.
    std::atomic<qint64>* entriesSeen = nullptr;
};

struct WalkStats
{
    qint64 entries = 0; // every name listed, of any type
    qint64 directories = 0;
    qint64 symlinks = 0; // symbolic links within the depth range, reported or not
};

#pragma once

#include <QList>
#include <QtGlobal>
#include <optional>

class StopToken;

// Asking the filesystem to store equal ranges of two files once (FIDEDUPERANGE), and reading
// where a file's data lies on the disk (FIEMAP). Both files stay readable and writable on their
// own: a later write to either gets blocks of its own.
namespace BlockSharing {

// The bytes one sharing request covers (btrfs takes at most 16 MiB at a time).
inline constexpr qint64 kRequestBytes = qint64(16) << 20;

// Asks for a zero-length share from `source` to `destination`: 0 when the kernel accepts it,
// else an errno value. Changes nothing. A filesystem that has the call but not the feature (XFS
// made without reflink) accepts it and refuses the first real request.
[[nodiscard]] int probe(int source, int destination);

// Whether the filesystem holding the open file has block sharing switched on, where that is a
// feature of the volume (XFS made without reflink has the call but refuses every request); true
// for other filesystems, for the probe to tell.
[[nodiscard]] bool featureEnabled(int fd);

// Whether the error means this filesystem cannot share blocks at all.
[[nodiscard]] bool unsupported(int error);

// Whether the error may mean the kernel wants the destination open for writing.
[[nodiscard]] bool wantsWritable(int error);

struct Result
{
    enum class End
    {
        done,       // every byte up to the size is shared
        differs,    // a request met bytes that differ; that request's range is left as it was
        stopped,    // the stop was requested between two requests
        incomplete, // the kernel accepted a request but shared nothing of it
        failed      // the kernel refused a request: see error
    };
    End end = End::done;
    qint64 bytesShared = 0; // from the start offset, in whole requests the kernel took
    int error = 0;
};

// Shares the bytes [from, size) of the destination with the same bytes of the source, one
// request of kRequestBytes after the other; the kernel compares each range and shares it only
// when it is equal. The last request ends at the end of the file and need not be aligned.
// The destination keeps its inode, mode, owner, times and extended attributes.
[[nodiscard]] Result share(int source, int destination, qint64 from, qint64 size,
                           const StopToken* stop = nullptr);

struct Extent
{
    quint64 logical = 0;
    quint64 physical = 0;
    quint64 length = 0;
    quint32 flags = 0; // FIEMAP_EXTENT_* bits

    friend bool operator==(const Extent&, const Extent&) = default;
};

// The data extents of the open file in file order, written back to disk first
// (FIEMAP_FLAG_SYNC); nothing when the filesystem cannot tell.
[[nodiscard]] std::optional<QList<Extent>> extents(int fd);

} // namespace BlockSharing

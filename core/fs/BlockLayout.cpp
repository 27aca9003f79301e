#include "fs/BlockLayout.h"

#include "fs/BlockSharing.h"

#include <linux/fiemap.h>
#include <vector>

namespace {

// Flags of extents whose physical address says nothing reliable about shared blocks.
constexpr quint32 kUnplainFlags = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC |
                                  FIEMAP_EXTENT_ENCODED | FIEMAP_EXTENT_DATA_ENCRYPTED |
                                  FIEMAP_EXTENT_NOT_ALIGNED | FIEMAP_EXTENT_DATA_INLINE |
                                  FIEMAP_EXTENT_DATA_TAIL;

struct Span
{
    quint64 logical = 0;
    quint64 physical = 0;
    quint64 length = 0;
};

} // namespace

namespace BlockLayout {

std::optional<QByteArray> of(int fd)
{
    const std::optional<QList<BlockSharing::Extent>> extents = BlockSharing::extents(fd);
    if (!extents)
        return std::nullopt;
    std::vector<Span> spans;
    for (const BlockSharing::Extent& extent : *extents) {
        if ((extent.flags & kUnplainFlags) != 0 || extent.length == 0)
            return std::nullopt;
        // Allocated but never written: it reads as zeros, like a hole, and sharing the range
        // leaves it as it is.
        if ((extent.flags & FIEMAP_EXTENT_UNWRITTEN) != 0)
            continue;
        Span* previous = spans.empty() ? nullptr : &spans.back();
        if (previous != nullptr && previous->logical + previous->length == extent.logical &&
            previous->physical + previous->length == extent.physical)
            previous->length += extent.length;
        else
            spans.push_back({extent.logical, extent.physical, extent.length});
    }
    if (spans.empty())
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(spans.data()),
                      static_cast<qsizetype>(spans.size() * sizeof(Span)));
}

} // namespace BlockLayout

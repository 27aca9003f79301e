#include "fs/BlockLayout.h"

#include <cerrno>
#include <cstdlib>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <vector>

namespace {

// Extents read per call.
constexpr __u32 kBatch = 256;

// Flags of extents whose physical address says nothing reliable about shared blocks.
constexpr __u32 kUnplainFlags = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC |
                                FIEMAP_EXTENT_ENCODED | FIEMAP_EXTENT_DATA_ENCRYPTED |
                                FIEMAP_EXTENT_NOT_ALIGNED | FIEMAP_EXTENT_DATA_INLINE |
                                FIEMAP_EXTENT_DATA_TAIL;

struct Extent
{
    __u64 logical = 0;
    __u64 physical = 0;
    __u64 length = 0;
};

struct FiemapDeleter
{
    void operator()(struct fiemap* map) const { std::free(map); }
};

} // namespace

namespace BlockLayout {

std::optional<QByteArray> of(int fd)
{
    const size_t bytes = sizeof(struct fiemap) + kBatch * sizeof(struct fiemap_extent);
    const std::unique_ptr<struct fiemap, FiemapDeleter> map(
        static_cast<struct fiemap*>(std::calloc(1, bytes)));
    if (!map)
        return std::nullopt;
    std::vector<Extent> extents;
    __u64 start = 0;
    for (bool last = false; !last;) {
        *map = {};
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_flags = FIEMAP_FLAG_SYNC;
        map->fm_extent_count = kBatch;
        int result = 0;
        do
            result = ::ioctl(fd, FS_IOC_FIEMAP, map.get());
        while (result != 0 && errno == EINTR);
        if (result != 0)
            return std::nullopt;
        if (map->fm_mapped_extents == 0)
            break;
        for (__u32 i = 0; i < map->fm_mapped_extents; ++i) {
            const struct fiemap_extent& found = map->fm_extents[i];
            if ((found.fe_flags & kUnplainFlags) != 0 || found.fe_length == 0)
                return std::nullopt;
            last = (found.fe_flags & FIEMAP_EXTENT_LAST) != 0;
            start = found.fe_logical + found.fe_length;
            Extent* previous = extents.empty() ? nullptr : &extents.back();
            if (previous != nullptr && previous->logical + previous->length == found.fe_logical &&
                previous->physical + previous->length == found.fe_physical)
                previous->length += found.fe_length;
            else
                extents.push_back({found.fe_logical, found.fe_physical, found.fe_length});
        }
        if (map->fm_mapped_extents < kBatch)
            last = true;
    }
    if (extents.empty())
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(extents.data()),
                      static_cast<qsizetype>(extents.size() * sizeof(Extent)));
}

} // namespace BlockLayout

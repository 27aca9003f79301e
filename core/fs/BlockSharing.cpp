#include "fs/BlockSharing.h"

#include "model/StopToken.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/vfs.h>

namespace BlockSharing {

namespace {

// Sends one request; returns the ioctl's errno (0 when it answered) and fills `info`.
int request(int source, int destination, qint64 offset, qint64 length, file_dedupe_range_info& info)
{
    // The range and its one destination, laid out as the kernel reads them.
    alignas(file_dedupe_range) char
        buffer[sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info)] = {};
    auto* range = reinterpret_cast<file_dedupe_range*>(buffer);
    range->src_offset = static_cast<__u64>(offset);
    range->src_length = static_cast<__u64>(length);
    range->dest_count = 1;
    range->info[0].dest_fd = destination;
    range->info[0].dest_offset = static_cast<__u64>(offset);
    while (::ioctl(source, FIDEDUPERANGE, range) != 0) {
        if (errno != EINTR)
            return errno;
    }
    info = range->info[0];
    return 0;
}

// XFS's geometry as its first, fixed version of the query returns it (struct xfs_fsop_geom_v1
// of <xfs/xfs_fs.h>); only the feature flags are read.
struct XfsGeometry
{
    __u32 blocksize, rtextsize, agblocks, agcount, logblocks, sectsize, inodesize, imaxpct;
    __u64 datablocks, rtblocks, rtextents, logstart;
    unsigned char uuid[16];
    __u32 sunit, swidth;
    __s32 version;
    __u32 flags;
    __u32 logsectsize, rtsectsize, dirblocksize;
};
static_assert(sizeof(XfsGeometry) == 112);
constexpr unsigned long kXfsGeometry = _IOR('X', 100, XfsGeometry);
constexpr __u32 kXfsReflink = 1U << 20;
constexpr long kXfsMagic = 0x58465342;

} // namespace

bool featureEnabled(int fd)
{
    struct statfs fs
    {
    };
    if (::fstatfs(fd, &fs) != 0 || fs.f_type != kXfsMagic)
        return true;
    XfsGeometry geometry{};
    if (::ioctl(fd, kXfsGeometry, &geometry) != 0)
        return true; // unknown: the first request will tell
    return (geometry.flags & kXfsReflink) != 0;
}

int probe(int source, int destination)
{
    file_dedupe_range_info info{};
    if (const int error = request(source, destination, 0, 0, info))
        return error;
    return info.status < 0 ? -info.status : 0;
}

bool unsupported(int error)
{
    return error == EOPNOTSUPP || error == ENOTTY || error == EINVAL || error == EXDEV ||
           error == ENOSYS;
}

bool wantsWritable(int error)
{
    return error == EPERM || error == EBADF || error == EINVAL;
}

Result share(int source, int destination, qint64 from, qint64 size, const StopToken* stop)
{
    Result result;
    qint64 offset = from;
    while (offset < size) {
        if (StopToken::requested(stop)) {
            result.end = Result::End::stopped;
            return result;
        }
        const qint64 length = std::min(kRequestBytes, size - offset);
        file_dedupe_range_info info{};
        if (const int error = request(source, destination, offset, length, info)) {
            result.end = Result::End::failed;
            result.error = error;
            return result;
        }
        if (info.status == FILE_DEDUPE_RANGE_DIFFERS) {
            result.end = Result::End::differs;
            return result;
        }
        if (info.status < 0) {
            result.end = Result::End::failed;
            result.error = -info.status;
            return result;
        }
        if (info.bytes_deduped == 0) {
            result.end = Result::End::incomplete;
            return result;
        }
        const qint64 shared = std::min(static_cast<qint64>(info.bytes_deduped), length);
        result.bytesShared += shared;
        offset += shared;
    }
    return result;
}

std::optional<QList<Extent>> extents(int fd)
{
    constexpr __u32 kBatch = 128;
    const size_t bytes = sizeof(fiemap) + kBatch * sizeof(fiemap_extent);
    const auto buffer = std::make_unique<char[]>(bytes);
    auto* map = reinterpret_cast<fiemap*>(buffer.get());
    QList<Extent> result;
    __u64 start = 0;
    for (;;) {
        std::memset(buffer.get(), 0, bytes);
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_flags = FIEMAP_FLAG_SYNC;
        map->fm_extent_count = kBatch;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0)
            return std::nullopt;
        if (map->fm_mapped_extents == 0)
            return result;
        for (__u32 i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& e = map->fm_extents[i];
            result.push_back({e.fe_logical, e.fe_physical, e.fe_length, e.fe_flags});
            if (e.fe_flags & FIEMAP_EXTENT_LAST)
                return result;
        }
        const fiemap_extent& last = map->fm_extents[map->fm_mapped_extents - 1];
        start = last.fe_logical + last.fe_length;
    }
}

} // namespace BlockSharing

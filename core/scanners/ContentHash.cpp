#include "scanners/ContentHash.h"

#include "fs/PosixIO.h"
#include "model/StopToken.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <xxhash.h>
#if defined(__x86_64__)
// Picks the widest vector unit of the processor at run time (AVX2 hashes about twice as fast).
#include <xxh_x86dispatch.h>
#endif

namespace {

// Blocks of the full hash: small enough to stay in the processor's cache between the read and
// the hash, large enough that system calls cost nothing next to the copying.
constexpr qint64 kBlock = 128 * 1024;
constexpr char kZeroMark = 'Z';
constexpr char kDataMark = 'D';

// Reads exactly `length` bytes at `offset`; false on an error or an early end of file.
bool readExactly(int fd, char* buffer, qint64 length, qint64 offset)
{
    while (length > 0) {
        const ssize_t n = ::pread(fd, buffer, static_cast<size_t>(length), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        buffer += n;
        length -= n;
        offset += n;
    }
    return true;
}

bool allZero(const char* data, qint64 length)
{
    return length == 0 ||
           (data[0] == 0 && std::memcmp(data, data + 1, static_cast<size_t>(length - 1)) == 0);
}

struct StateDeleter
{
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

class Hasher
{
public:
    Hasher() : m_state(XXH3_createState()) { XXH3_128bits_reset(m_state.get()); }

    [[nodiscard]] bool valid() const { return m_state != nullptr; }

    void zeroBlocks(qint64 count)
    {
        static const auto marks = [] {
            std::array<char, 4096> filled{};
            filled.fill(kZeroMark);
            return filled;
        }();
        while (count > 0) {
            const qint64 n = std::min<qint64>(count, marks.size());
            XXH3_128bits_update(m_state.get(), marks.data(), static_cast<size_t>(n));
            count -= n;
        }
    }

    void block(const char* data, qint64 length)
    {
        if (allZero(data, length)) {
            zeroBlocks(1);
            return;
        }
        XXH3_128bits_update(m_state.get(), &kDataMark, 1);
        XXH3_128bits_update(m_state.get(), data, static_cast<size_t>(length));
    }

    [[nodiscard]] QString hex() const
    {
        XXH128_canonical_t canonical{};
        XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(m_state.get()));
        return QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(canonical.digest), sizeof canonical.digest)
                .toHex());
    }

private:
    std::unique_ptr<XXH3_state_t, StateDeleter> m_state;
};

} // namespace

namespace ContentHash {

UniqueFd openRegular(const QString& path, FileIdentity& identity)
{
    UniqueFd fd(PosixIO::openToRead(AT_FDCWD, QFile::encodeName(path).constData(), O_NONBLOCK));
    struct stat st
    {
    };
    if (!fd.isValid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return UniqueFd();
    identity = FileIdentity::of(st);
    return fd;
}

QString fnv1a64(QByteArrayView bytes)
{
    quint64 hash = 0xcbf29ce484222325ULL;
    for (const char byte : bytes) {
        hash ^= static_cast<quint8>(byte);
        hash *= 0x100000001b3ULL;
    }
    return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0'));
}

std::optional<QString> headHash(int fd)
{
    char buffer[kHeadBytes];
    qint64 filled = 0;
    while (filled < kHeadBytes) {
        const ssize_t n =
            ::pread(fd, buffer + filled, static_cast<size_t>(kHeadBytes - filled), filled);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        filled += n;
    }
    if (filled == 0)
        return std::nullopt;
    return fnv1a64(QByteArrayView(buffer, filled));
}

std::optional<QString> fullHash(int fd, qint64 size, std::atomic<qint64>* bytesDone,
                                const StopToken* stop)
{
    Hasher hasher;
    if (!hasher.valid() || size < 0)
        return std::nullopt;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const auto buffer = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(kBlock));
    const qint64 blocks = (size + kBlock - 1) / kBlock;
    qint64 block = 0; // index of the next block to hash
    qint64 done = 0;  // bytes already added to bytesDone
    const auto reachBlock = [&](qint64 next) {
        block = next;
        const qint64 reached = std::min(block * kBlock, size);
        if (bytesDone != nullptr)
            bytesDone->fetch_add(reached - done);
        done = reached;
    };
    while (block < blocks) {
        if (StopToken::requested(stop))
            return std::nullopt;
        const qint64 position = block * kBlock;
        off_t data = ::lseek(fd, position, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                data = size; // only a hole up to the end
            else if (errno == EINVAL || errno == EOPNOTSUPP)
                data = position; // no extent information: treat everything as data
            else
                return std::nullopt;
        }
        // Whole blocks before the one holding the next data are holes.
        const qint64 firstDataBlock = std::min<qint64>(data / kBlock, blocks);
        hasher.zeroBlocks(firstDataBlock - block);
        reachBlock(firstDataBlock);
        if (block >= blocks)
            break;
        off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0)
            hole = size;
        const qint64 endBlock = std::min<qint64>((hole + kBlock - 1) / kBlock, blocks);
        const qint64 runEnd = std::max(endBlock, block + 1);
        while (block < runEnd) {
            if (StopToken::requested(stop))
                return std::nullopt;
            const qint64 offset = block * kBlock;
            const qint64 length = std::min(kBlock, size - offset);
            if (!readExactly(fd, buffer.get(), length, offset))
                return std::nullopt;
            hasher.block(buffer.get(), length);
            reachBlock(block + 1);
        }
    }
    return hasher.hex();
}

} // namespace ContentHash

#pragma once

#include "fs/UniqueFd.h"
#include "model/FileIdentity.h"

#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <optional>

class StopToken;

// Content fingerprints used to find identical model files.
namespace ContentHash {

// How much of the start of a file the quick fingerprint reads.
inline constexpr qint64 kHeadBytes = 65536;

// Opens a file for hashing with O_RDONLY|O_NONBLOCK|O_CLOEXEC (a FIFO or device never blocks)
// and accepts it only when fstat of that descriptor says it is a regular file. Returns the
// descriptor and fills `identity`, or an invalid descriptor.
[[nodiscard]] UniqueFd openRegular(const QString& path, FileIdentity& identity);

// 64-bit FNV-1a of the bytes as 16 lower-case hexadecimal digits.
[[nodiscard]] QString fnv1a64(QByteArrayView bytes);

// FNV-1a of the first 65,536 bytes of the open file (fewer when it is shorter). Nothing when the
// read fails or yields no data.
[[nodiscard]] std::optional<QString> headHash(int fd);

// XXH3-128 of the whole content as 32 lower-case hexadecimal digits, reading only the data
// extents (holes are not read). The content is taken in fixed blocks; a block that is a hole or
// holds only zero bytes enters the hash as a one-byte mark, any other block as a mark and its
// bytes. So the hash depends on the bytes at their offsets and not on how the file is laid out
// on disk. Nothing when a read fails, the file turns out shorter than `size`, or the stop is
// requested (looked at before each block). As the hash goes on, the bytes it has gone through,
// holes included, are added to `bytesDone` when given (all `size` of them once it succeeds).
[[nodiscard]] std::optional<QString> fullHash(int fd, qint64 size,
                                              std::atomic<qint64>* bytesDone = nullptr,
                                              const StopToken* stop = nullptr);

} // namespace ContentHash

#pragma once

#include <QByteArray>
#include <optional>

// Where a file's data lies on its device, as the kernel maps it (FIEMAP).
namespace BlockLayout {

// The open file's data extents, contiguous ones merged, as a comparable byte string: two files
// of one device with equal layouts store their data in the same blocks. Unwritten extents
// (allocated, reading as zeros) count as holes, so a pair whose written data is all shared has
// equal layouts whatever each has preallocated. Nothing when the filesystem cannot map extents,
// when any extent is not yet placed, packed with other data, encoded or not block-aligned, or
// when the file holds no written data extent at all.
[[nodiscard]] std::optional<QByteArray> of(int fd);

} // namespace BlockLayout

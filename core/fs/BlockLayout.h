#pragma once

#include <QByteArray>
#include <optional>

// Where a file's data lies on its device, as the kernel maps it (FIEMAP).
namespace BlockLayout {

// The open file's data extents, contiguous ones merged, as a comparable byte string: two files
// of one device with equal layouts store their data in the same blocks. Nothing when the
// filesystem cannot map extents, when any extent is not yet placed, packed with other data,
// encoded or not block-aligned, or when the file holds no data extent at all.
[[nodiscard]] std::optional<QByteArray> of(int fd);

} // namespace BlockLayout

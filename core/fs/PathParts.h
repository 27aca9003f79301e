#pragma once

#include <QByteArray>
#include <optional>

// Pieces of absolute paths given as bytes, as the kernel has them.
namespace PathParts {

// Everything before the last "/" ("/" for an item at the root).
[[nodiscard]] QByteArray parentOf(const QByteArray& path);
// Everything after the last "/".
[[nodiscard]] QByteArray nameOf(const QByteArray& path);
// The folder joined with a name, without doubling the "/" of the root.
[[nodiscard]] QByteArray join(const QByteArray& folder, const QByteArray& name);
// realpath(3): links, "." and ".." resolved; nothing when a component is missing.
[[nodiscard]] std::optional<QByteArray> resolved(const QByteArray& path);

} // namespace PathParts

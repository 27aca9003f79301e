#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Pieces of paths, as bytes (as the kernel has them) or as text; the one place for them.
namespace PathParts {

// Everything before the last "/" ("/" for an item at the root).
[[nodiscard]] QByteArray parentOf(const QByteArray& path);
[[nodiscard]] QString parentOf(const QString& path);
// Everything after the last "/".
[[nodiscard]] QByteArray nameOf(const QByteArray& path);
// A folder's own name, trailing slashes ignored: "Checkpoints" for "/m/Checkpoints/", "/" for
// the root.
[[nodiscard]] QString folderName(const QString& path);
// The folder joined with a name, without doubling the "/" of the root.
[[nodiscard]] QByteArray join(const QByteArray& folder, const QByteArray& name);
[[nodiscard]] QString join(const QString& folder, const QString& name);
// The path without its trailing slashes; "/" (or only slashes) gives "/".
[[nodiscard]] QByteArray withoutTrailingSlashes(QByteArray path);
[[nodiscard]] QString withoutTrailingSlashes(QString path);
// realpath(3): links, "." and ".." resolved; nothing when a component is missing or the path
// holds NUL.
[[nodiscard]] std::optional<QByteArray> resolved(const QByteArray& path);
[[nodiscard]] std::optional<QString> resolved(const QString& path);
// Whether the text holds NUL. Such a path, read from a file or the environment, is skipped: the
// kernel would end it at the NUL and act on a folder above the one named.
[[nodiscard]] bool holdsNul(const QString& path);

} // namespace PathParts

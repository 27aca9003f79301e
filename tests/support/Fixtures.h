#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Builders of fixture trees shared by the tests.
namespace Fixtures {

// Writes the file, creating missing folders above it. Returns false on failure.
bool writeFile(const QString& path, const QByteArray& content = {});

// A sparse file of the given size whose first bytes are `head` (at most the size); the rest is
// a hole. Creates missing folders above it.
bool makeSparseFile(const QString& path, qint64 size, const QByteArray& head = {});

// Writes the bytes at the offset of an existing file.
bool writeAt(const QString& path, qint64 offset, const QByteArray& bytes);

// A sparse model file for duplicate checks: the seeded 64 KiB head, then the tail ending 4 KiB
// before the end (none when empty); files equal in size, seed and tail hold the same bytes.
bool modelFile(const QString& path, qint64 size, quint32 seed, const QByteArray& tail = "tail");

// 64 KiB of deterministic bytes derived from the seed, for the head of a model file.
[[nodiscard]] QByteArray headBytes(quint32 seed, qsizetype size = 65536);

// Builds a tree under root from lines:
//   "dir/"             a folder
//   "a/b.txt"          an empty file
//   "a/b.txt=text"     a file holding the text
//   "a/m.gguf:5000000" a sparse file of that size
//   "a/link->target"   a symlink (target as written)
//   "a/pipe|"          a FIFO
//   "a/b!"             makes the path made by an earlier line unreadable (mode 0)
bool makeTree(const QString& root, const QStringList& lines);

// Fills the folder (made when missing) with the names "f0" to "f<count-1>", all hard links to
// one empty file: a large folder made quickly.
bool manyNames(const QString& folder, int count);

// An Ollama tag "<name>:<tag>" in the store ~/.ollama/models below the home: its manifest names
// the config blob "{}" (digest all 'c') and a model layer (digest all `digit`) of `size` bytes,
// written as a sparse file starting with `head`. Returns the manifest, config and layer paths
// (empty when a write failed).
[[nodiscard]] QStringList ollamaTag(const QString& home, const QString& name, const QString& tag,
                                    QChar digit, qint64 size, const QByteArray& head = {});

// Sets the modification time of a path (not following links), in seconds since 1970.
bool setModified(const QString& path, qint64 seconds);

// Sets the access time of a path (not following links), leaving its modification time.
bool setAccessed(const QString& path, qint64 seconds, long nanoseconds = 0);

// The access time of a path in nanoseconds since 1970 (-1 when it cannot be read).
[[nodiscard]] qint64 accessedNs(const QString& path);

// Whether the path itself is a symlink (not following it).
[[nodiscard]] bool isSymlink(const QString& path);

// Runs the function in a forked child that has dropped to uid/gid 65534, and returns what it
// returned (false when the child could not drop its rights or crashed). Permission bits stop
// nothing for root, so tests of unreadable files run their checks here.
bool runUnprivileged(const std::function<bool()>& body);

} // namespace Fixtures

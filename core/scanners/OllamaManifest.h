#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <string>

// One Ollama manifest file: reading it safely and decoding its layers.
namespace OllamaManifest {

// Manifests are small; anything larger is not taken for one.
inline constexpr qint64 maxBytes = qint64(1) << 20;

struct Layer
{
    QString digest; // "<algorithm>:<hex digits>"
    qint64 size = 0;
};

enum class ReadStatus
{
    ok,
    unreadable, // missing, not a regular file (after following a link), or a read error
    tooLarge
};

struct ReadResult
{
    ReadStatus status = ReadStatus::unreadable;
    QByteArray content;
};

// Reads the file (following a link) without blocking on a FIFO or device: it is opened
// non-blocking and must be a regular file by fstat of the open descriptor.
[[nodiscard]] ReadResult read(const std::string& path);

// The layer list, config first, then "layers" in order. Nothing when the document is not an
// object with a "config" object and a "layers" array of objects, each with a valid digest and
// a whole, non-negative size.
[[nodiscard]] std::optional<QList<Layer>> decode(const QByteArray& content);

// An algorithm name of ASCII letters and digits, one colon, and hexadecimal digits, so that the
// blob's file name can never leave the blobs folder.
[[nodiscard]] bool isValidDigest(const QString& digest);

// The blob's file name: the digest with its colon replaced by a hyphen.
[[nodiscard]] QString blobFileName(const QString& digest);

} // namespace OllamaManifest

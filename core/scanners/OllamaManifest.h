#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <optional>
#include <string>
#include <vector>

// Ollama manifest files: finding them in a manifests tree and decoding their layers.
namespace OllamaManifest {

// Manifests are small; anything larger is not taken for one.
inline constexpr qint64 maxBytes = qint64(1) << 20;

struct Layer
{
    QString digest; // "<algorithm>:<hex digits>"
    qint64 size = 0;
    QString mediaType; // empty when the layer names none
};

// The media type of the layer holding a model's weights.
inline constexpr QLatin1String modelMediaType("application/vnd.ollama.image.model");

// A file at the fourth level of a manifests tree: a regular file or a symbolic link.
struct TreeFile
{
    std::string path; // absolute, as bytes
    bool isLink = false;
    bool pathIsUtf8 = true;
    qint64 size = 0; // a link's own
    QDateTime modified;
};

struct Tree
{
    std::vector<TreeFile> files; // in pre-order, siblings in byte order of their names
    bool complete = true;        // every folder opened and listed, every linked folder followed
};

// The manifest files of a manifests folder, hidden ones included. Symbolic links to folders
// at levels 1 to 3 are followed; each real folder (by device and inode) is read once, so a
// second way into a folder, or a loop, is cut.
[[nodiscard]] Tree list(const QString& manifestsDir);

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

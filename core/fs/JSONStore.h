#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <optional>

// Brimvale's own JSON files in the data directory. Written pretty-printed with sorted keys and
// "/" escaped, replaced atomically; read forgivingly.
namespace JSONStore {

enum class ReadStatus
{
    ok,
    missing,
    unusable
};

struct ReadResult
{
    ReadStatus status = ReadStatus::missing;
    QJsonDocument document; // null unless status is ok
};

// Reads and parses the whole named file of the data directory. A file that exists but cannot be
// read or parsed is unusable.
[[nodiscard]] ReadResult read(const QString& name);

// The bytes write() stores for the document.
[[nodiscard]] QByteArray encode(const QJsonDocument& document);

// Writes the document to the named file of the data directory, creating the directory first.
// With keepExistingAside, a file already there is renamed to "<name>.corrupt-<unix seconds>"
// (then "-2", "-3", … on a clash) just before the new one takes its place, so content that could
// not be read is never overwritten. Throws BrimvaleError; a failed write leaves the old file.
void write(const QJsonDocument& document, const QString& name, bool keepExistingAside = false);

// Renames the named file of the data directory to "<name>.corrupt-<unix seconds>" (then "-2",
// "-3", … on a clash); nothing happens when it is missing. Throws BrimvaleError.
void keepAside(const QString& name);

// The object a JSON text holds; nothing when the text is not valid JSON or holds no object.
[[nodiscard]] std::optional<QJsonObject> objectOf(const QByteArray& bytes);

// Path of the named file of the data directory.
[[nodiscard]] QString pathOf(const QString& name);

} // namespace JSONStore

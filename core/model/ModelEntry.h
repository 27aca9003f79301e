#pragma once

#include "model/DeleteRisk.h"
#include "model/ModelSource.h"
#include "model/MovedPath.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One row of the catalogue. An absent lastModified stands for "no date reported".
struct ModelEntry
{
    // What the entry stands for where its source has more than one kind of entry.
    enum class Kind
    {
        plain,
        ollamaTag // an Ollama model tag: a manifest and the layers it names, not a loose blob
    };

    QString id;
    QString name;
    ModelSource source = ModelSource::custom;
    qint64 sizeBytes = 0;
    qint64 reclaimableBytes = 0;
    QString primaryPath;
    QStringList allPaths;
    std::optional<QDateTime> lastModified;
    DeleteRisk deleteRisk = DeleteRisk::unknown;
    std::optional<QString> quantization;
    std::optional<QString> detail;
    std::optional<QString> partialHash;
    bool isDuplicate = false;
    // The large files holding the entry's model data, looked at for copies elsewhere: an Ollama
    // tag's large layers, a Hugging Face repository's blobs. Empty: the primary path alone.
    QStringList dataFiles;
    // The paths of allPaths where a move left a link, each with its target (which follows the
    // links in allPaths). Empty: nothing of the entry was moved.
    QList<MovedPath> moved;
    // When the entry's data was last read or mapped: the newest access time of its data files.
    // Absent where the file system does not record reads (a noatime mount).
    std::optional<QDateTime> lastUsed;
    // The name of a running process that has the entry's data open or mapped ("Ollama" for a
    // model the Ollama server has loaded); such an entry is risky to delete.
    std::optional<QString> inUseBy;
    Kind kind = Kind::plain;
    // The custom folder, as stored, whose scan found the entry; absent for the other sources.
    std::optional<QString> folderRoot;

    ModelEntry() = default;
    // reclaimableBytes absent means all of sizeBytes is freed by deleting the entry.
    ModelEntry(QString id, QString name, ModelSource source, qint64 sizeBytes,
               std::optional<qint64> reclaimableBytes, QString primaryPath, QStringList allPaths,
               std::optional<QDateTime> lastModified, DeleteRisk deleteRisk,
               std::optional<QString> quantization, std::optional<QString> detail);

    [[nodiscard]] QString sourceLabel() const { return source.shortLabel(); }
    // The files looked at for copies elsewhere: the data files, else the primary path; each once.
    [[nodiscard]] QStringList comparedFiles() const;
    // More than ten decimal gigabytes.
    [[nodiscard]] bool isLarge() const { return sizeBytes > 10'000'000'000LL; }
    [[nodiscard]] bool isMoved() const { return !moved.isEmpty(); }
    [[nodiscard]] bool isOllamaTag() const { return kind == Kind::ollamaTag; }
    // The target of the first moved path that cannot be reached now, if any.
    [[nodiscard]] std::optional<QString> unreachableTarget() const;

    friend bool operator==(const ModelEntry&, const ModelEntry&) = default;
};

#pragma once

#include "model/FileInfo.h"
#include "model/ModelEntry.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// What the later sources share: their folders, and entries for a model file, a model folder
// and an unfinished download.
namespace StoreEntries {

// The candidates that are folders (links followed), in order, each real folder once.
[[nodiscard]] QStringList existingFolders(const QStringList& candidates);

// The smallest file the later sources take for a model.
inline constexpr qint64 kMinimumModelSize = 1'000'000;

// The id part LM Studio's ids give a file: its name without the last extension, lower case,
// spaces as "_".
[[nodiscard]] QString fileIdPart(const QString& fileName);

// A safe entry for one model file, the quantization read from its name.
[[nodiscard]] ModelEntry fileEntry(ModelSource source, QString id, QString name,
                                   const FileInfo& file, std::optional<QString> detail = {});

// A safe entry for a whole folder sized by its regular files (links not followed); nothing
// when the folder holds no regular file.
[[nodiscard]] std::optional<ModelEntry> folderEntry(ModelSource source, QString id, QString name,
                                                    const QString& folder,
                                                    std::optional<QString> detail = {});

// An unfinished download as its own entry, or nothing when it changed in the ten minutes
// before `now` (it may still be downloading).
[[nodiscard]] std::optional<ModelEntry> partialEntry(ModelSource source, QString id,
                                                     const QString& name, const FileInfo& file,
                                                     const QDateTime& now);

} // namespace StoreEntries

#pragma once

#include "model/SourceScan.h"

#include <QString>
#include <QStringList>
#include <optional>

// Model files in the folders the user added.
namespace CustomFolderScanner {

// One entry per model file of at least 1 MB below each root, in the order of the roots; a root
// that no longer exists gives the error "Custom folder no longer exists: {root}".
[[nodiscard]] SourceScan scan(const QStringList& roots);

// The folder, as stored, through which scan found a custom entry; nothing for other entries.
[[nodiscard]] std::optional<QString> rootOf(const ModelEntry& entry);

} // namespace CustomFolderScanner

#pragma once

#include "model/SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Model files in the folders the user added.
namespace CustomFolderScanner {

// One entry per model file of at least 1 MB below each root, in the order of the roots; a root
// that no longer exists gives the error "Custom folder no longer exists: {root}".
[[nodiscard]] SourceScan scan(const QStringList& roots);

} // namespace CustomFolderScanner

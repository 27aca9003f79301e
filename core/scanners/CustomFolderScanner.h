#pragma once

#include "SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Model files in the folders the user added.
namespace CustomFolderScanner {

[[nodiscard]] SourceScan scan(const QStringList& roots);

} // namespace CustomFolderScanner

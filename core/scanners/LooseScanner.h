#pragma once

#include "SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Loose model files in Downloads, Documents and Desktop.
namespace LooseScanner {

// Files whose path is in `excluding` (claimed by another source) are left out.
[[nodiscard]] SourceScan scan(const QSet<QString>& excluding);

} // namespace LooseScanner

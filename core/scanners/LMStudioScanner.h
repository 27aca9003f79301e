#pragma once

#include "SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// LM Studio model folders.
namespace LMStudioScanner {

[[nodiscard]] QStringList modelsDirs();
[[nodiscard]] SourceScan scan();

} // namespace LMStudioScanner

#pragma once

#include "model/SourceScan.h"

#include <QString>

// The ModelScope hub cache.
namespace ModelScopeScanner {

// $MODELSCOPE_CACHE (expanded as Python tools expand it), else ~/.cache/modelscope.
[[nodiscard]] QString cacheDir();
// One entry per "hub/{org}/{name}" and "hub/models/{org}/{name}" folder holding a file.
[[nodiscard]] SourceScan scan();

} // namespace ModelScopeScanner

#pragma once

#include "model/SourceScan.h"

#include <QString>

// InvokeAI's models folder.
namespace InvokeAiScanner {

// $INVOKEAI_ROOT (expanded as Python tools expand it), else ~/invokeai.
[[nodiscard]] QString rootDir();
// One entry per folder (holding a file) or file directly in "models/{base}/{type}/". InvokeAI
// keeps its own record of each, which the detail says.
[[nodiscard]] SourceScan scan();

} // namespace InvokeAiScanner

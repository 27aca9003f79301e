#pragma once

#include "model/SourceScan.h"

#include <QStringList>

// text-generation-webui's model and LoRA folders.
namespace TextGenWebUiScanner {

// ~/text-generation-webui/user_data/{models,loras}, then the older …/{models,loras}: those that
// exist, each folder once.
[[nodiscard]] QStringList folders();
// One entry per folder (holding a file) or model file directly in those folders.
[[nodiscard]] SourceScan scan();

} // namespace TextGenWebUiScanner

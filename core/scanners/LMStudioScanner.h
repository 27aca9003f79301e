#pragma once

#include "model/SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// LM Studio model folders.
namespace LMStudioScanner {

// The models folders in search order: for each base (the one named in ~/.lmstudio-home-pointer,
// then ~/.lmstudio, then ~/.cache/lm-studio) its settings' "downloadsFolder", then its "models";
// folders that do not exist, or that resolve to a folder already listed, are dropped.
[[nodiscard]] QStringList modelsDirs();
// One entry per model file in those folders. Never reports errors.
[[nodiscard]] SourceScan scan();

} // namespace LMStudioScanner

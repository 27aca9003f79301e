#pragma once

#include "SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// The Hugging Face hub cache: one entry per repository.
namespace HuggingFaceScanner {

[[nodiscard]] QString cacheDir();
[[nodiscard]] SourceScan scan();

} // namespace HuggingFaceScanner

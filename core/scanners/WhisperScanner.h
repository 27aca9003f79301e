#pragma once

#include "SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Whisper model folders.
namespace WhisperScanner {

[[nodiscard]] SourceScan scan();
[[nodiscard]] QString displayName(const QString& fileName);

} // namespace WhisperScanner

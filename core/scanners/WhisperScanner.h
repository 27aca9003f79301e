#pragma once

#include "model/SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Whisper model folders.
namespace WhisperScanner {

// One entry per whisper.cpp ("ggml-*.bin") or PyTorch (".pt") model of at least 1 MB.
[[nodiscard]] SourceScan scan();
// "Whisper " and the words of the name: ".bin" then "ggml-" removed, split at "-", each word
// with its first character upper-cased (ggml-large-v3.bin gives "Whisper Large V3").
[[nodiscard]] QString displayName(const QString& fileName);
// The folders searched, in order; $XDG_CACHE_HOME/whisper comes last when it is not one of the
// others. Folders that do not exist are included.
[[nodiscard]] QStringList folders();

} // namespace WhisperScanner

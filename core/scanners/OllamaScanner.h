#pragma once

#include "SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Ollama stores: tags from manifests, and blobs no manifest references.
namespace OllamaScanner {

// $OLLAMA_MODELS when set, not empty and existing, else ~/.ollama/models.
[[nodiscard]] QString modelsDir();
// Whether something accepts TCP connections on 127.0.0.1:11434 within 200 ms.
[[nodiscard]] bool isRunning();
[[nodiscard]] SourceScan scan(bool ollamaRunning);

} // namespace OllamaScanner

#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <optional>

// What must be asked before entries go to the Trash.
namespace TrashPolicy {

// Whether the entries wait for the user's confirmation before any is trashed: true when at least
// one of them is risky (an Ollama tag while Ollama runs, or an entry in use); the whole list is
// then held back.
[[nodiscard]] bool heldBack(const QList<ModelEntry>& entries);

// Whether heldBack alone cannot settle it: some entry is an Ollama tag while the scan saw the
// Ollama server stopped, so the server must be asked again before trashing.
[[nodiscard]] bool needsOllamaProbe(const QList<ModelEntry>& entries, bool ollamaSeenRunning);

// The first entry held back for being in use by a running process: an Ollama entry while Ollama
// runs is held back for that instead. Nothing when there is none.
[[nodiscard]] std::optional<qsizetype> firstInUse(const QList<ModelEntry>& entries,
                                                  bool ollamaRunning);

} // namespace TrashPolicy

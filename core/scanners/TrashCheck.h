#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <functional>

// The check before entries go to the Trash, for every front end.
namespace TrashCheck {

// Whether trashing the entries waits for the user's confirmation: some entry is risky (see
// TrashPolicy::heldBack), or an Ollama tag is among them and the Ollama server answers now. The
// server is asked only when the scan saw it stopped; ollamaRunning defaults to
// OllamaScanner::isRunning. May block on the probe: call it off the GUI thread.
[[nodiscard]] bool needsConfirmation(const QList<ModelEntry>& entries, bool ollamaSeenRunning,
                                     const std::function<bool()>& ollamaRunning = {});

} // namespace TrashCheck

#pragma once

#include "model/ModelEntry.h"

#include <QList>

// What must be asked before entries go to the Trash.
namespace TrashPolicy {

// Whether the entries wait for the user's confirmation before any is trashed: true when at least
// one of them is risky (an Ollama tag while Ollama runs); the whole list is then held back.
[[nodiscard]] bool heldBack(const QList<ModelEntry>& entries);

} // namespace TrashPolicy

#include "model/TrashPolicy.h"

#include <algorithm>

namespace TrashPolicy {

bool heldBack(const QList<ModelEntry>& entries)
{
    return std::any_of(entries.cbegin(), entries.cend(), [](const ModelEntry& entry) {
        return entry.deleteRisk == DeleteRisk::risky;
    });
}

bool needsOllamaProbe(const QList<ModelEntry>& entries, bool ollamaSeenRunning)
{
    return !ollamaSeenRunning &&
           std::any_of(entries.cbegin(), entries.cend(),
                       [](const ModelEntry& entry) { return entry.isOllamaTag(); });
}

std::optional<qsizetype> firstInUse(const QList<ModelEntry>& entries, bool ollamaRunning)
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const ModelEntry& entry = entries[i];
        if (entry.inUseBy && !(ollamaRunning && entry.source == ModelSource::ollama))
            return i;
    }
    return std::nullopt;
}

} // namespace TrashPolicy

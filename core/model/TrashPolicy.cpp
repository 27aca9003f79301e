#include "model/TrashPolicy.h"

#include <algorithm>

namespace TrashPolicy {

bool heldBack(const QList<ModelEntry>& entries)
{
    return std::any_of(entries.cbegin(), entries.cend(), [](const ModelEntry& entry) {
        return entry.deleteRisk == DeleteRisk::risky;
    });
}

} // namespace TrashPolicy

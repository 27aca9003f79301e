#include "scanners/TrashCheck.h"

#include "model/TrashPolicy.h"
#include "scanners/OllamaScanner.h"

namespace TrashCheck {

bool needsConfirmation(const QList<ModelEntry>& entries, bool ollamaSeenRunning,
                       const std::function<bool()>& ollamaRunning)
{
    if (TrashPolicy::heldBack(entries))
        return true;
    if (!TrashPolicy::needsOllamaProbe(entries, ollamaSeenRunning))
        return false;
    return ollamaRunning ? ollamaRunning() : OllamaScanner::isRunning();
}

} // namespace TrashCheck

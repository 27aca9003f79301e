#pragma once

#include "model/ModelEntry.h"

#include <QString>
#include <optional>

// Checks shared by the services that act on an entry whose files were moved to another drive.
namespace MovedTargets {

// "The moved files are not reachable — connect the drive that holds {target}" for the first moved
// path of the entry whose link still stands and whose target cannot be reached now.
[[nodiscard]] std::optional<QString> unreachable(const ModelEntry& entry);

} // namespace MovedTargets

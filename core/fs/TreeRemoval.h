#pragma once

#include <QString>

// Deleting an item for good, folders with everything inside them.
namespace TreeRemoval {

// Deletes the item at the path; a folder is emptied first. Symbolic links are removed, never
// followed, and nothing on another mount is entered: a mount met inside fails the call. Stops at
// the first failure with BrimvaleError "Cannot delete {path}: {description}". An item that is
// already gone is not a failure.
void remove(const QString& path);

} // namespace TreeRemoval

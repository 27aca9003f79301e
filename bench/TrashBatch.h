#pragma once

// Trashing many entries at once: the time of TrashService::moveToTrash over a list.
namespace TrashBatch {

// In a temporary home (HOME and every XDG folder inside it), writes `entries` small model files,
// trashes them in one call of TrashService::moveToTrash, checks that the restore log holds one
// record per entry, and prints one line: "entries seconds". Returns the exit status.
int run(int entries);

} // namespace TrashBatch

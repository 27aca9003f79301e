#pragma once

#include "fs/FileLock.h"
#include "model/ModelEntry.h"
#include "model/StopToken.h"
#include "services/MoveOutcome.h"
#include "services/MoveProgress.h"

#include <QList>
#include <QString>
#include <QStringList>

// Moves the files of catalogue entries into a folder the user chose, leaving a symlink at each
// old place so the tools that own them keep finding them.
namespace MoveService {

// Checks a whole move before anything is touched and returns the paths to move, in order (as
// given; vanished paths and repeats of one item dropped). Throws BrimvaleError naming the first
// path that breaks a rule ("Invalid path", kind invalidPath, first when any path holds NUL).
// Changes nothing on disk.
[[nodiscard]] QStringList validatePlan(const QStringList& paths, const QString& destination);

// Validates, then moves every path of the entries (in entry order, then allPaths order) into
// `to`, item by item, with a symlink at each old path when createSymlinks is set. An Ollama path
// goes below `to` in its store's layout ("ollama/manifests/{host}/{namespace}/{model}/{tag}",
// "ollama/blobs/{digest}"); a moved path's target goes there in its link's stead, the link
// re-pointed, and one already there is left alone. An entry whose moved files are out of reach
// is refused before anything moves ("The moved files are not reachable — …"). Every item
// is tried; the outcome lists what happened and the first problem. Never throws.
// A stop (checked between items and while an item is copied across filesystems) ends the move:
// the item being copied is withdrawn whole, later items are not started, and the error is
// "Stopped — the remaining items were not moved" (kind stopped). The move lock is waited for
// up to `lockWait` per item before it is touched; when that runs out the item and the rest are
// left as they are with "Another Brimvale is moving files — try again in a moment" (kind busy).
[[nodiscard]] MoveOutcome move(const QList<ModelEntry>& entries, const QString& to,
                               bool createSymlinks, const MoveProgress& progress = {},
                               const StopToken* stop = nullptr, LockWait lockWait = std::nullopt);

// Brings the moved paths of the entries back to their links' places (see ItemReturner), item by
// item, after checking them all: nothing is touched when an entry was not moved, a target is out
// of reach, a link no longer points at its target or something else stands at a link's path.
// movedTo lists the paths put back; stops and a busy lock end it as in `move`. Never throws.
[[nodiscard]] MoveOutcome moveBack(const QList<ModelEntry>& entries,
                                   const MoveProgress& progress = {},
                                   const StopToken* stop = nullptr,
                                   LockWait lockWait = std::nullopt);

} // namespace MoveService

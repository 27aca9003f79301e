#pragma once

#include "services/MoveProgress.h"
#include "services/TreeCopier.h"

#include <QString>
#include <optional>

// Moves one item of a validated plan so that a crash at any moment loses nothing.
namespace ItemMover {

struct Result
{
    bool moved = false;  // the item is at its new place
    bool linked = false; // a symlink stands at the old path
    std::optional<QString> error;
};

// Moves `path` into the folder `destination` under its own name, holding the move lock of the
// data directory throughout. Within one filesystem it is renamed without replacing anything;
// across filesystems it is copied to ".brimvale-partial-<name>", verified, fsynced, renamed to
// its name, the source is renamed aside to ".brimvale-moved-<name>", checked again, linked when
// asked, and only then deleted. A failure before the item is in place leaves the source as it
// was. Never throws.
[[nodiscard]] Result move(const QString& path, const QString& destination, bool createSymlink,
                          const std::function<void(const QString&, MoveStage)>& stage,
                          const TreeCopier::Progress& copied);

} // namespace ItemMover

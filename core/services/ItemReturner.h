#pragma once

#include "model/MovedPath.h"
#include "services/ItemMover.h"

// Brings one moved item back to the place where its link stands, so that a crash at any moment
// loses nothing: the link keeps pointing at the whole item until the item is back whole.
namespace ItemReturner {

// Holding the move lock, checks that the link still stands and points at the target and that the
// target is there; then, on one filesystem, swaps the target with the link and removes the link;
// across filesystems, copies the target beside the link under its partial name, verifies and
// fsyncs the copy, swaps it with the link (only our own link, just checked, is replaced), removes
// the link, sets the target aside under its moved name, checks it once more and deletes it.
// A failure before the swap leaves the link and the target as they were. `moved` in the result:
// the item is back at the link's place. Never throws.
[[nodiscard]] ItemMover::Result moveBack(const MovedPath& path, const ItemMover::Options& options);

// What moveBack would refuse the path for now ("Could not move back {link}: …"), touching nothing.
[[nodiscard]] std::optional<QString> check(const MovedPath& path);

} // namespace ItemReturner

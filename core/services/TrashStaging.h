#pragma once

#include "model/TrashEntry.h"

#include <QList>
#include <QString>

// Items being deleted for good are first renamed to ".brimvale-deleting-<name>" in their own
// files/ folder, so that a record is either whole in the Trash or gone: a process killed midway
// leaves only staged items, which the next restore or deletion puts back or finishes off.
namespace TrashStaging {

// The staging path of an item in a files/ folder.
[[nodiscard]] QString stagedPathOf(const QString& itemPath);

// Finds staged items in the files/ folders of the home trash, of the trashes the log's records
// point into and of the top-directory trashes of every local mount (each only when it is a
// trash's files/ folder). One that a record still names and owns (XdgTrash::isItemOf) is renamed
// back without replacing anything; any other is deleted, and its .trashinfo too unless an item of
// its name is in files/. Failures are left for the next sweep. Called with the log's lock held.
void sweep(const QList<TrashEntry>& log);

} // namespace TrashStaging

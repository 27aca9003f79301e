#pragma once

#include "fs/FileLock.h"
#include "model/StopToken.h"
#include "services/DedupeItem.h"
#include "services/DedupeOutcome.h"
#include "services/DedupePlan.h"

#include <QList>
#include <QString>

// Frees duplicate files without moving them: the duplicate shares the blocks of the copy that
// stays, so both tools keep their own file and the disk stores the data once.
namespace DedupeService {

struct Options
{
    bool hardLink = false; // where blocks cannot be shared, replace the duplicate by a hard link
    bool dryRun = false;   // only say what would be freed
    const StopToken* stop = nullptr;
    LockWait lockWait = std::nullopt;
};

// Whether the filesystem holding the file can share blocks between files (FIDEDUPERANGE).
[[nodiscard]] bool canShareBlocks(const QString& path);

// Frees every planned item in order; the plan's skipped files come first in the outcome, as
// they are. A pair whose data already lies in the same blocks is refused: nothing would be
// freed. Sharing blocks asks the kernel to compare and share (FIDEDUPERANGE): the file keeps
// its inode, mode, owner, times and extended attributes, and nothing changes when the bytes
// differ. Otherwise, only with hardLink, both files must be on one filesystem with the same
// mode, owner, ACLs and extended attributes, unchanged since the scan and of the scanned
// content (hashed again), the duplicate its file's only name and open for writing nowhere (a
// read lease held from before the hashing until the swap): a link to the copy that stays is
// made under a free temporary name beside the duplicate and renamed over it. Temporary names
// an interrupted run left beside the duplicates are removed first where that loses nothing;
// the others are kept and named in the outcome's notes. Free space is read after each
// filesystem wrote its changes back. The outcome's error is "Could not free <path>: <reason>"
// for the first file refused or failed, or the text of a stop, a busy lock or an invalid path
// alone. Never throws.
[[nodiscard]] DedupeOutcome run(const DedupePlan::Plan& plan, const Options& options);

} // namespace DedupeService

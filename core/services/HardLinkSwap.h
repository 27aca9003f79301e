#pragma once

#include "model/FileIdentity.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Replaces a duplicate file by a hard link to the copy that stays, so that at every moment the
// duplicate's path names either the old file or the link, never nothing.
namespace HardLinkSwap {

// The start of the name a link has beside the duplicate before it takes the duplicate's place.
inline constexpr char kPrefix[] = ".brimvale-dedupe-";

// The temporary name for a duplicate named `name`, cut to the 255 bytes a name may hold.
[[nodiscard]] QByteArray temporaryName(const QByteArray& name);

// A file a removed leftover name linked to, before and after the removal (which changes its
// link count, and so its status-change time).
struct Relinked
{
    FileIdentity before;
    FileIdentity after;
};

// Removes the temporary names an interrupted swap left in the folder: only names with the
// prefix that are regular files with two links or more, so that another name still holds their
// data. Returns the files they linked to. Never throws.
[[nodiscard]] QList<Relinked> removeLeftovers(const QString& folder);

struct Outcome
{
    enum class End
    {
        done,    // the path now names the copy that stays
        changed, // a file was not the one verified; nothing replaced
        failed   // a call failed (see error); nothing replaced
    };
    End end = End::done;
    int error = 0;
};

// Links keepPath to a temporary name in the duplicate's folder, checks that the link is the
// file `keep` describes (inode, size, modification time) and that `path` is still exactly the
// file `duplicate` describes, renames the link over `path` and syncs the folder. On any failure
// the temporary name is removed and `path` is as it was.
[[nodiscard]] Outcome swap(const QString& keepPath, const FileIdentity& keep, const QString& path,
                           const FileIdentity& duplicate);

} // namespace HardLinkSwap

#pragma once

#include "model/FileIdentity.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ReadLease;

// Replaces a duplicate file by a hard link to the copy that stays, so that at every moment the
// duplicate's path names either the old file or the link, never nothing.
namespace HardLinkSwap {

// The start of the name a link has beside the duplicate before it takes the duplicate's place.
inline constexpr char kPrefix[] = ".brimvale-dedupe-";
// How many temporary names are tried for one duplicate when earlier ones are taken.
inline constexpr int kNameAttempts = 100;

// The temporary name for a duplicate named `name`, cut to the 255 bytes a name may hold: the
// prefix and the name for the first attempt, the prefix, the attempt's number and "-" before
// the name for later ones.
[[nodiscard]] QByteArray temporaryName(const QByteArray& name, int attempt = 0);

// A file a removed leftover name linked to, before and after the removal (which changes its
// link count, and so its status-change time).
struct Relinked
{
    FileIdentity before;
    FileIdentity after;
};

// What the sweep of one folder did.
struct Sweep
{
    QList<Relinked> relinked;
    QStringList left; // leftovers kept where they are, each with why, for the user
};

// Removes the temporary names an interrupted swap left in the folder, only regular files with
// the prefix: one with two links or more (another name still holds its data), and one with a
// single link (the copy it linked to was removed since) only when its content equals that of
// the file whose temporary name it is. Any other is left and told of. Never throws.
[[nodiscard]] Sweep removeLeftovers(const QString& folder);

struct Outcome
{
    enum class End
    {
        done,    // the path now names the copy that stays
        changed, // a file was not the one verified; nothing replaced
        written, // the duplicate was opened for writing meanwhile; nothing replaced
        failed   // a call failed (see error); nothing replaced
    };
    End end = End::done;
    int error = 0;
};

// Links keepPath to a free temporary name in the duplicate's folder, checks that the link is
// the file `keep` describes (inode, size, modification time), that `path` is still exactly the
// file `duplicate` describes and, last, that the read lease on the duplicate is still held
// (no program opened it for writing); then renames the link over `path` and syncs the folder.
// On any failure the temporary name is removed and `path` is as it was.
[[nodiscard]] Outcome swap(const QString& keepPath, const FileIdentity& keep, const QString& path,
                           const FileIdentity& duplicate, const ReadLease& lease);

} // namespace HardLinkSwap

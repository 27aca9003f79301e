#pragma once

#include "fs/FileLock.h"
#include "model/BrimvaleError.h"
#include "model/StopToken.h"
#include "services/MoveProgress.h"
#include "services/TreeCopier.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Moves one item of a validated plan so that a crash at any moment loses nothing.
namespace ItemMover {

struct Result
{
    bool moved = false;  // the item is at its new place
    bool linked = false; // a symlink stands at the old path
    std::optional<QString> error;
    BrimvaleError::Kind errorKind = BrimvaleError::Kind::general; // stopped or busy end the move
};

struct Options
{
    bool createSymlink = true;
    std::function<void(const QString&, MoveStage)> stage;
    TreeCopier::Progress copied;
    const StopToken* stop = nullptr; // checked per file and per block copied
    LockWait lockWait;               // for the move lock, taken before anything is touched
    // A link that points at the item (a move left it), re-pointed at the item's new place once
    // the item is whole there: a new link beside it, renamed over it. No link at the old path.
    QString relink;
};

// Moves `path` into the folder `destination` under its own name, holding the move lock of the
// data directory throughout. Within one filesystem it is renamed without replacing anything;
// across filesystems it is copied to a partial name, verified, fsynced, renamed to its name, the
// source is renamed aside to a moved name, checked again, linked when asked, and only then
// deleted. A failure or a stop before the item is in place leaves the source as it was and no
// copy. Never throws.
[[nodiscard]] Result move(const QString& path, const QString& destination, const Options& options);

// The name of an item while it is copied or set aside: the prefix and the name, the name part
// shortened (never inside a UTF-8 character) and followed by "-" and a hash of the whole name
// when the result would pass the 255 bytes a file name may hold.
[[nodiscard]] QByteArray temporaryName(const QByteArray& prefix, const QByteArray& name);
// The move lock of the data directory, which every move and move back holds per item. Throws
// BrimvaleError of kind busy when the wait runs out, or of another kind when it cannot be taken.
[[nodiscard]] FileLock moveLock(LockWait wait);

// The name of a copy being made of `name` beside it: ".brimvale-partial-<name>".
[[nodiscard]] QByteArray partialName(const QByteArray& name);
// The name an item is set aside under before it is deleted: ".brimvale-moved-<name>".
[[nodiscard]] QByteArray asideName(const QByteArray& name);

} // namespace ItemMover

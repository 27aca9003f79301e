#pragma once

#include "model/StopToken.h"
#include "services/TreeSnapshot.h"

#include <QByteArray>
#include <functional>

// Copies a file tree from one folder descriptor to another, reading the source through
// descriptors and byte names only, so names that are not UTF-8, empty folders and symlinks are
// copied as they are.
namespace TreeCopier {

// Called after each block written, with the bytes copied so far by this copy.
using Progress = std::function<void(qint64 bytesCopied)>;

struct Copied
{
    TreeSnapshot::Snapshot source;  // the source as it was read
    bool attributesLeftOut = false; // an extended attribute the copy could not take is missing
};

// Copies sourceDir/name to targetDir/copyName: regular files (holes stay holes), folders and
// symlinks, with permission bits, modification times and the extended attributes (ACLs among
// them) of files and folders as far as the target holds them; every file and folder of the
// copy is fsynced. Throws BrimvaleError with a short description when an entry or its
// attributes cannot be read, an entry cannot be written, is not a file, folder or symlink, lies
// on another mount, or changes while it is copied, and of kind stopped when `stop` is requested
// (checked per entry and per block); whatever was copied so far is left for the caller.
[[nodiscard]] Copied copy(int sourceDir, const QByteArray& name, int targetDir,
                          const QByteArray& copyName, const Progress& progress,
                          const StopToken* stop = nullptr);

} // namespace TreeCopier

#pragma once

#include <QByteArray>
#include <QList>

// Where mounts begin, for the drive-local Trash folders. Paths are bytes, as the kernel has them.
namespace Mounts {

// The top directory of the mount that holds the folder: the nearest folder at or above it that is
// the root of a mount (by the kernel's mount-root flag, or a change of device). The folder must be
// given resolved (realpath); "/" when nothing above it starts a mount.
[[nodiscard]] QByteArray topDirectoryOf(const QByteArray& resolvedFolder);

// Whether the entry (not followed) is the root of a mount of its own.
[[nodiscard]] bool isMountRoot(int dirFd, const char* name);

// The mount points of local file systems listed in /proc/self/mountinfo, in the order listed
// (autofs, NFS, CIFS/SMB and FUSE mounts are left out).
[[nodiscard]] QList<QByteArray> localMountPoints();

// One mount point field of /proc/self/mountinfo with its octal escapes ("\040") decoded.
[[nodiscard]] QByteArray decodeMountInfoField(const QByteArray& field);

} // namespace Mounts

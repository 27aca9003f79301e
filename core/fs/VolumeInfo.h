#pragma once

#include <QString>
#include <optional>

// The drive that holds a path: its name and how much room it has.
namespace VolumeInfo {

struct Capacity
{
    qint64 available = 0; // bytes an unprivileged user can still write
    qint64 total = 0;
};

// The name of the volume holding the path (its filesystem label), else the path's last
// component.
[[nodiscard]] QString label(const QString& path);

// Free and total bytes of the volume holding the path; nothing when it cannot be queried.
[[nodiscard]] std::optional<Capacity> capacity(const QString& path);

// Has the filesystem holding the path write back its changes (syncfs), so that its free space
// counts what was just freed: btrfs counts freed blocks only when it commits.
void writeBack(const QString& path);

// Whether the file system holding the path records when files are read: false on a noatime
// mount (relatime, the usual default, does record them, at most a day late). True when it
// cannot be queried.
[[nodiscard]] bool recordsAccessTimes(const QString& path);

} // namespace VolumeInfo

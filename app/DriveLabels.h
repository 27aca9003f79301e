#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The names of the drives paths are on, as the tables show them after "ON ".
namespace DriveLabels {

// The drive holding the path: its volume name, else its mount point's last component; a drive
// that is not connected as fromPath names it. Reads the mount table: call it off the GUI thread.
[[nodiscard]] QString read(const QString& path);
// The name from the path alone: the folder it mounts at under /mnt, /media/{user} or
// /run/media/{user}, else the path's first folder.
[[nodiscard]] QString fromPath(const QString& path);
// read() for each path.
[[nodiscard]] QHash<QString, QString> readAll(const QStringList& paths);

} // namespace DriveLabels

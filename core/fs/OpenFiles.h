#pragma once

#include <QHash>
#include <QHashFunctions>
#include <QSet>
#include <QString>
#include <QtGlobal>

// Which running processes hold files open or mapped, read from /proc.
namespace OpenFiles {

// One file, by the device and inode it lives on.
struct FileKey
{
    quint64 device = 0;
    quint64 inode = 0;

    friend bool operator==(const FileKey&, const FileKey&) = default;
};

inline size_t qHash(const FileKey& key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.device, key.inode);
}

// A process holding a file: its pid and name.
struct Holder
{
    int pid = 0;
    QString name;
};

// For each of the files that some process other than this one has open (a /proc/{pid}/fd link)
// or mapped (a /proc/{pid}/maps line): the name (/proc/{pid}/comm) of the lowest such pid.
// Files are matched by device and inode: a descriptor is stat'ed through its link; a mapping
// whose inode column is one of the files' is confirmed by a stat of the path it names (its
// device column is not st_dev on every file system). Processes whose folders cannot be read are
// skipped. `procRoot` is where the process folders are (for tests).
[[nodiscard]] QHash<FileKey, Holder> holders(const QSet<FileKey>& files,
                                             const QString& procRoot = QStringLiteral("/proc"));

} // namespace OpenFiles

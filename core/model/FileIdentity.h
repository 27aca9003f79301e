#pragma once

#include <QHashFunctions>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <sys/stat.h>

// What tells one state of one file apart: the device and inode it lives on, its size, and its
// modification and status-change times in nanoseconds. Any write to the file changes the
// status-change time, so two equal identities are the same content.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    [[nodiscard]] static FileIdentity of(const struct stat& st);
    // Parses the form key() gives; nothing when the text is not that form.
    [[nodiscard]] static std::optional<FileIdentity> fromKey(const QString& key);

    // "device:inode:size:modifiedNs:changedNs" in decimal.
    [[nodiscard]] QString key() const;
    // Whether both name one file (hard links, or one file reached through two paths).
    [[nodiscard]] bool sameFile(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode;
    }

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

inline size_t qHash(const FileIdentity& identity, size_t seed = 0) noexcept
{
    return qHashMulti(seed, identity.device, identity.inode, identity.size, identity.modifiedNs,
                      identity.changedNs);
}

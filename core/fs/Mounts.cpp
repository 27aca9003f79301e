#include "fs/Mounts.h"

#include "fs/PosixIO.h"
#include "model/PathParts.h"

#include <QList>
#include <QStringBuilder>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool isLocalType(const QByteArray& type)
{
    static const QList<QByteArray> remote{"autofs", "nfs", "nfs4", "cifs", "smb3"};
    return !remote.contains(type) && !type.startsWith("fuse.") && type != "fuse";
}

} // namespace

namespace Mounts {

bool isMountRoot(int dirFd, const char* name)
{
    struct statx st
    {
    };
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_INO, &st) != 0)
        return false;
    return (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

QByteArray topDirectoryOf(const QByteArray& resolvedFolder)
{
    QByteArray folder = PathParts::withoutTrailingSlashes(resolvedFolder);
    while (folder != "/" && !folder.isEmpty()) {
        if (isMountRoot(AT_FDCWD, folder.constData()))
            return folder;
        const QByteArray parent = PathParts::parentOf(folder);
        struct stat here
        {
        };
        struct stat above
        {
        };
        if (::stat(folder.constData(), &here) != 0 || ::stat(parent.constData(), &above) != 0 ||
            here.st_dev != above.st_dev)
            return folder;
        folder = parent;
    }
    return QByteArray("/");
}

QByteArray decodeMountInfoField(const QByteArray& field)
{
    QByteArray decoded;
    decoded.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                decoded.append(static_cast<char>(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        decoded.append(c);
    }
    return decoded;
}

QList<QByteArray> localMountPoints()
{
    QList<QByteArray> points;
    const std::optional<QByteArray> text =
        PosixIO::readRegularFile(QStringLiteral("/proc/self/mountinfo"), qint64(16) << 20);
    if (!text)
        return points;
    for (const QByteArray& line : text->split('\n')) {
        // id parent major:minor root mount-point options [optional fields] - type source ...
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf(QByteArray("-"));
        if (fields.size() < 5 || separator < 0 || separator + 1 >= fields.size())
            continue;
        if (!isLocalType(fields[separator + 1]))
            continue;
        const QByteArray point = decodeMountInfoField(fields[4]);
        if (!points.contains(point))
            points.push_back(point);
    }
    return points;
}

} // namespace Mounts

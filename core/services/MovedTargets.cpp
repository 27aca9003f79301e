#include "services/MovedTargets.h"

#include "fs/PosixIO.h"

#include <QFile>
#include <sys/stat.h>

namespace MovedTargets {

std::optional<QString> unreachable(const ModelEntry& entry)
{
    for (const MovedPath& moved : entry.moved) {
        struct stat st
        {
        };
        if (::lstat(QFile::encodeName(moved.link).constData(), &st) != 0 || !S_ISLNK(st.st_mode) ||
            PosixIO::exists(moved.target))
            continue;
        return QStringLiteral("The moved files are not reachable — connect the drive that holds ") +
               moved.target;
    }
    return std::nullopt;
}

} // namespace MovedTargets

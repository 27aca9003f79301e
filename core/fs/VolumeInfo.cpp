#include "fs/VolumeInfo.h"

#include "fs/UniqueFd.h"
#include "model/PathParts.h"

#include <QFile>
#include <QStorageInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace VolumeInfo {

QString label(const QString& path)
{
    const QStorageInfo storage(path);
    if (storage.isValid() && storage.isReady() && !storage.name().isEmpty())
        return storage.name();
    QString trimmed = PathParts::withoutTrailingSlashes(path);
    if (trimmed == QStringLiteral("/"))
        return trimmed;
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

std::optional<Capacity> capacity(const QString& path)
{
    const QStorageInfo storage(path);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    const qint64 available = storage.bytesAvailable();
    const qint64 total = storage.bytesTotal();
    if (available < 0 || total <= 0)
        return std::nullopt;
    return Capacity{available, total};
}

void writeBack(const QString& path)
{
    if (PathParts::holdsNul(path))
        return;
    const UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.isValid())
        (void)::syncfs(fd.get());
}

bool recordsAccessTimes(const QString& path)
{
    struct statvfs st
    {
    };
    int result = 0;
    do {
        result = ::statvfs(QFile::encodeName(path).constData(), &st);
    } while (result != 0 && errno == EINTR);
    return result != 0 || (st.f_flag & ST_NOATIME) == 0;
}

} // namespace VolumeInfo

#include "fs/VolumeInfo.h"

#include "fs/PathParts.h"
#include "fs/UniqueFd.h"

#include <QFile>
#include <QStorageInfo>
#include <fcntl.h>
#include <unistd.h>

namespace VolumeInfo {

QString label(const QString& path)
{
    const QStorageInfo storage(path);
    if (storage.isValid() && storage.isReady() && !storage.name().isEmpty())
        return storage.name();
    const QString trimmed = PathParts::withoutTrailingSlashes(path);
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

} // namespace VolumeInfo

#include "fs/PathParts.h"

#include <QStringBuilder>
#include <cstdlib>

namespace PathParts {

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray join(const QByteArray& folder, const QByteArray& name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

std::optional<QByteArray> resolved(const QByteArray& path)
{
    char* result = ::realpath(path.constData(), nullptr);
    if (result == nullptr)
        return std::nullopt;
    QByteArray bytes(result);
    std::free(result);
    return bytes;
}

} // namespace PathParts

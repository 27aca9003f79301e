#include "model/PathParts.h"

#include <QFile>
#include <cstdlib>

namespace PathParts {

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QString folderName(const QString& path)
{
    const QString folder = withoutTrailingSlashes(path);
    const QString name = folder.mid(folder.lastIndexOf(u'/') + 1);
    return name.isEmpty() ? folder : name;
}

QByteArray join(const QByteArray& folder, const QByteArray& name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

QString join(const QString& folder, const QString& name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

QByteArray withoutTrailingSlashes(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

std::optional<QByteArray> resolved(const QByteArray& path)
{
    if (path.contains('\0'))
        return std::nullopt;
    char* result = ::realpath(path.constData(), nullptr);
    if (result == nullptr)
        return std::nullopt;
    QByteArray bytes(result);
    std::free(result);
    return bytes;
}

std::optional<QString> resolved(const QString& path)
{
    if (holdsNul(path))
        return std::nullopt;
    const std::optional<QByteArray> bytes = resolved(QFile::encodeName(path));
    if (!bytes)
        return std::nullopt;
    return QFile::decodeName(*bytes);
}

bool holdsNul(const QString& path)
{
    return path.contains(QChar(u'\0'));
}

} // namespace PathParts

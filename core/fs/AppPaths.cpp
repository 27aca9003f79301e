#include "fs/AppPaths.h"

#include <QFile>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

QString environmentPath(const char* name)
{
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? QString() : QFile::decodeName(value);
}

QString xdgDirectory(const char* variable, const QString& fallback)
{
    const QString value = environmentPath(variable);
    if (value.startsWith(u'/'))
        return value;
    return AppPaths::home() + u'/' + fallback;
}

} // namespace

namespace AppPaths {

QString home()
{
    QString fromEnvironment = environmentPath("HOME");
    while (fromEnvironment.size() > 1 && fromEnvironment.endsWith(u'/'))
        fromEnvironment.chop(1);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr)
        return QFile::decodeName(result->pw_dir);
    return QStringLiteral("/");
}

QString dataDir()
{
    return home() + QStringLiteral("/.brimvale");
}

QString xdgDataHome()
{
    return xdgDirectory("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString xdgCacheHome()
{
    return xdgDirectory("XDG_CACHE_HOME", QStringLiteral(".cache"));
}

QString xdgConfigHome()
{
    return xdgDirectory("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString homeTrash()
{
    return xdgDataHome() + QStringLiteral("/Trash");
}

QString cacheDir()
{
    return xdgCacheHome() + QStringLiteral("/brimvale");
}

} // namespace AppPaths

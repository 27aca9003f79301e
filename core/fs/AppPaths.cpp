#include "fs/AppPaths.h"

#include "fs/PathParts.h"

#include <QFile>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

QString xdgDirectory(const char* variable, const QString& fallback)
{
    const QString value = AppPaths::fromEnvironment(variable);
    if (value.startsWith(u'/'))
        return value;
    return AppPaths::home() + u'/' + fallback;
}

} // namespace

namespace AppPaths {

QString fromEnvironment(const char* name)
{
    const QString value = QFile::decodeName(qgetenv(name));
    return PathParts::holdsNul(value) ? QString() : value;
}

QString home()
{
    const QString fromHome = PathParts::withoutTrailingSlashes(fromEnvironment("HOME"));
    if (!fromHome.isEmpty())
        return fromHome;
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

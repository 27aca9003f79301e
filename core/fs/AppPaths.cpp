#include "fs/AppPaths.h"

#include "model/PathParts.h"

#include <QFile>
#include <pwd.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QString xdgDirectory(const char* variable, const QString& fallback)
{
    QString value = AppPaths::fromEnvironment(variable);
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

QString expandedFromEnvironment(const char* name)
{
    const QString value = fromEnvironment(name);
    return value.isEmpty() ? value : expandPath(value);
}

QString expandPath(const QString& value)
{
    QString text = value;
    if (text == u"~"_s || text.startsWith(u"~/"_s))
        text.replace(0, 1, home());
    QString out;
    out.reserve(text.size());
    const auto isNameChar = [](QChar c) {
        return c == u'_' || (c.unicode() < 128 && c.isLetterOrNumber());
    };
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] != u'$' || i + 1 >= text.size()) {
            out += text[i++];
            continue;
        }
        qsizetype start = i + 1, end = start;
        const bool braced = text[start] == u'{';
        if (braced) {
            end = text.indexOf(u'}', start + 1);
            if (end < 0) {
                out += text.mid(i);
                break;
            }
            ++start;
        } else {
            while (end < text.size() && isNameChar(text[end]))
                ++end;
        }
        const QString name = text.mid(start, end - start);
        const qsizetype next = braced ? end + 1 : end;
        const QByteArray key = name.toLocal8Bit();
        if (name.isEmpty() || !qEnvironmentVariableIsSet(key.constData())) {
            out += text.mid(i, next - i); // unset: stays as written
        } else {
            const QString found = fromEnvironment(key.constData());
            out += found;
        }
        i = next;
    }
    return out;
}

QString home()
{
    QString fromHome = PathParts::withoutTrailingSlashes(fromEnvironment("HOME"));
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

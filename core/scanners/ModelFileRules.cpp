#include "scanners/ModelFileRules.h"

namespace {

bool isAscii(std::string_view bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWithAsciiCaseless(std::string_view name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (asciiLower(tail[i]) != suffix[i])
            return false;
    }
    return true;
}

} // namespace

namespace ModelFileRules {

QString stem(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? fileName.left(dot) : fileName;
}

bool hasExtension(std::string_view name, std::initializer_list<std::string_view> extensions)
{
    if (isAscii(name)) {
        for (const std::string_view extension : extensions) {
            if (endsWithAsciiCaseless(name, extension))
                return true;
        }
        return false;
    }
    // Unicode lower-casing can turn a non-ASCII letter into an ASCII one (the Kelvin sign).
    const QString lower =
        QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toLower();
    for (const std::string_view extension : extensions) {
        if (lower.endsWith(
                QLatin1String(extension.data(), static_cast<qsizetype>(extension.size()))))
            return true;
    }
    return false;
}

QString fileName(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace ModelFileRules

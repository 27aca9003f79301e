#include "scanners/OllamaManifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isAsciiAlnum(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

std::optional<OllamaManifest::Layer> decodeLayer(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue digest = object.value(QLatin1String("digest"));
    const QJsonValue size = object.value(QLatin1String("size"));
    if (!digest.isString() || !size.isDouble())
        return std::nullopt;
    // toInteger gives its default for anything that is not a whole number within 64 bits, so
    // two different defaults tell such a value from a real one.
    const qint64 bytes = size.toInteger(-1);
    if (bytes < 0 || size.toInteger(-2) != bytes)
        return std::nullopt;
    OllamaManifest::Layer layer{digest.toString(), bytes};
    if (!OllamaManifest::isValidDigest(layer.digest))
        return std::nullopt;
    return layer;
}

} // namespace

namespace OllamaManifest {

ReadResult read(const std::string& path)
{
    ReadResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return result;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return result;
    }
    if (st.st_size > maxBytes) {
        ::close(fd);
        result.status = ReadStatus::tooLarge;
        return result;
    }
    QByteArray content;
    content.reserve(static_cast<qsizetype>(st.st_size));
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return result;
        }
        if (n == 0)
            break;
        content.append(buffer, n);
        if (content.size() > maxBytes) { // grew while being read
            ::close(fd);
            result.status = ReadStatus::tooLarge;
            return result;
        }
    }
    ::close(fd);
    result.status = ReadStatus::ok;
    result.content = std::move(content);
    return result;
}

std::optional<QList<Layer>> decode(const QByteArray& content)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    const QJsonValue layers = root.value(QLatin1String("layers"));
    if (!layers.isArray())
        return std::nullopt;
    const std::optional<Layer> config = decodeLayer(root.value(QLatin1String("config")));
    if (!config)
        return std::nullopt;
    QList<Layer> result{*config};
    const QJsonArray array = layers.toArray();
    result.reserve(array.size() + 1);
    for (const QJsonValue& value : array) {
        std::optional<Layer> layer = decodeLayer(value);
        if (!layer)
            return std::nullopt;
        result.push_back(std::move(*layer));
    }
    return result;
}

bool isValidDigest(const QString& digest)
{
    const qsizetype colon = digest.indexOf(u':');
    if (colon <= 0 || colon == digest.size() - 1)
        return false;
    for (qsizetype i = 0; i < colon; ++i) {
        if (!isAsciiAlnum(digest.at(i).unicode()))
            return false;
    }
    for (qsizetype i = colon + 1; i < digest.size(); ++i) {
        if (!isHexDigit(digest.at(i).unicode()))
            return false;
    }
    return true;
}

QString blobFileName(const QString& digest)
{
    QString name = digest;
    name.replace(u':', u'-');
    return name;
}

} // namespace OllamaManifest

#include "scanners/OllamaManifest.h"

#include "fs/DirectoryListing.h"
#include "fs/FS.h"
#include "fs/JSONStore.h"
#include "fs/PathBytes.h"
#include "fs/UniqueFd.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <utility>

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
    OllamaManifest::Layer layer{digest.toString(), bytes,
                                object.value(QLatin1String("mediaType")).toString()};
    if (!OllamaManifest::isValidDigest(layer.digest))
        return std::nullopt;
    return layer;
}

// Lists one folder of a manifests tree (level 0 is the manifests folder itself), keeping the
// files at level 4 and descending into folders and links to folders above it.
void listFolder(const std::string& path, int level, bool pathIsUtf8,
                std::set<std::pair<dev_t, ino_t>>& seen, OllamaManifest::Tree& tree)
{
    const UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int fd = folder.get();
    struct stat st
    {
    };
    if (!folder.isValid() || ::fstat(fd, &st) != 0) {
        tree.complete = false;
        return;
    }
    if (!seen.insert({st.st_dev, st.st_ino}).second) // a second way in, or a loop
        return;
    std::vector<std::string> names;
    DirectoryListing listing;
    if (!listing.read(fd,
                      [&names](std::string_view name, unsigned char) { names.emplace_back(name); }))
        tree.complete = false;
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        struct stat entry
        {
        };
        if (::fstatat(fd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) // gone meanwhile is fine; anything else hides what is there
                tree.complete = false;
            continue;
        }
        std::string child = path;
        child += '/';
        child += name;
        const bool utf8 = pathIsUtf8 && PathBytes::isValidUtf8(name);
        if (level == 3) {
            if (S_ISREG(entry.st_mode) || S_ISLNK(entry.st_mode)) {
                tree.files.push_back(OllamaManifest::TreeFile{
                    child, S_ISLNK(entry.st_mode), utf8, entry.st_size,
                    FS::dateFrom(entry.st_mtim.tv_sec,
                                 static_cast<qint32>(entry.st_mtim.tv_nsec))});
            }
            continue;
        }
        if (S_ISLNK(entry.st_mode) && ::fstatat(fd, name.c_str(), &entry, 0) != 0) {
            tree.complete = false; // a link that cannot be followed may hide manifests
            continue;
        }
        if (S_ISDIR(entry.st_mode) && !PathBytes::isTrashName(name))
            listFolder(child, level + 1, utf8, seen, tree);
    }
}

} // namespace

namespace OllamaManifest {

Tree list(const QString& manifestsDir)
{
    Tree tree;
    std::set<std::pair<dev_t, ino_t>> seen;
    listFolder(QFile::encodeName(manifestsDir).toStdString(), 0, true, seen, tree);
    return tree;
}

std::optional<QList<Layer>> decode(const QByteArray& content)
{
    const std::optional<QJsonObject> parsed = JSONStore::objectOf(content);
    if (!parsed)
        return std::nullopt;
    const QJsonObject& root = *parsed;
    const QJsonValue layers = root.value(QLatin1String("layers"));
    if (!layers.isArray())
        return std::nullopt;
    const std::optional<Layer> config = decodeLayer(root.value(QLatin1String("config")));
    if (!config)
        return std::nullopt;
    QList<Layer> result{*config};
    const QJsonArray array = layers.toArray();
    result.reserve(array.size() + 1);
    for (const QJsonValue value : array) {
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

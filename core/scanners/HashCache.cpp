#include "scanners/HashCache.h"

#include "fs/AppPaths.h"
#include "fs/JSONStore.h"
#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>

namespace {

constexpr int kVersion = 1;
// The cache holds one short line per large file; anything bigger is not ours.
constexpr qint64 kMaxFileBytes = qint64(64) << 20;

bool isHash(const QString& text)
{
    if (text.size() != 32)
        return false;
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    });
}

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

QString HashCache::defaultPath()
{
    return AppPaths::cacheDir() + QStringLiteral("/hashes.json");
}

HashCache HashCache::load(const QString& path)
{
    HashCache cache;
    const std::optional<QByteArray> bytes = PosixIO::readRegularFile(path, kMaxFileBytes);
    if (!bytes)
        return cache;
    const std::optional<QJsonObject> parsed = JSONStore::objectOf(*bytes);
    if (!parsed)
        return cache;
    const QJsonObject& root = *parsed;
    if (root.value(QStringLiteral("version")).toInteger(-1) != kVersion ||
        !root.value(QStringLiteral("files")).isObject())
        return cache;
    const QJsonObject files = root.value(QStringLiteral("files")).toObject();
    QHash<FileIdentity, QString> loaded;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        const std::optional<FileIdentity> identity = FileIdentity::fromKey(it.key());
        const QString hash = it.value().toString();
        if (!identity || !isHash(hash))
            return cache;
        loaded.insert(*identity, hash);
    }
    cache.m_loaded = std::move(loaded);
    cache.m_fileUsable = true;
    return cache;
}

std::optional<QString> HashCache::find(const FileIdentity& identity) const
{
    const auto found = m_loaded.constFind(identity);
    if (found == m_loaded.constEnd())
        return std::nullopt;
    return *found;
}

void HashCache::keep(const FileIdentity& identity, const QString& hash)
{
    m_latest.insert(identity, hash);
}

bool HashCache::save(const QString& path) const
{
    if (m_fileUsable && m_latest == m_loaded)
        return true;
    if (m_latest.isEmpty() && !PosixIO::lexists(path))
        return true;
    QJsonObject files;
    for (auto it = m_latest.constBegin(); it != m_latest.constEnd(); ++it)
        files.insert(it.key().key(), it.value());
    const QJsonObject root{{QStringLiteral("version"), kVersion}, {QStringLiteral("files"), files}};
    try {
        PosixIO::makePath(folderOf(path));
    } catch (const BrimvaleError&) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

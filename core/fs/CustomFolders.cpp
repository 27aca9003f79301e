#include "fs/CustomFolders.h"

#include "fs/FileLock.h"
#include "fs/JSONStore.h"
#include "model/PathParts.h"

#include <QJsonArray>
#include <algorithm>

namespace {

const QString kFileName = QStringLiteral("custom_paths.json");
const QString kBusy =
    QStringLiteral("Another Brimvale is changing the folder list — try again in a moment");

struct Stored
{
    QStringList paths;
    bool unusable = false; // a file is there but holds no array of strings
};

Stored readStored()
{
    const JSONStore::ReadResult read = JSONStore::read(kFileName);
    if (read.status == JSONStore::ReadStatus::missing)
        return {};
    if (read.status == JSONStore::ReadStatus::unusable || !read.document.isArray())
        return {{}, true};
    QStringList paths;
    for (const QJsonValue value : read.document.array()) {
        if (!value.isString())
            return {{}, true};
        paths.push_back(value.toString());
    }
    return {paths, false};
}

void store(const Stored& before, const QStringList& paths)
{
    JSONStore::write(QJsonDocument(QJsonArray::fromStringList(paths)), kFileName, before.unusable);
}

} // namespace

namespace CustomFolders {

QString normalized(const QString& path)
{
    return PathParts::withoutTrailingSlashes(path);
}

bool sameFolder(const QString& a, const QString& b)
{
    return normalized(a) == normalized(b);
}

QStringList withExtra(const QStringList& stored, const QStringList& extra)
{
    QStringList folders = stored;
    for (const QString& folder : extra) {
        const auto named = [&folder](const QString& listed) { return sameFolder(listed, folder); };
        if (std::none_of(folders.cbegin(), folders.cend(), named))
            folders.push_back(folder);
    }
    return folders;
}

QStringList load()
{
    // An element holding NUL stays stored but is never scanned.
    QStringList usable;
    for (const QString& path : readStored().paths) {
        if (!PathParts::holdsNul(path))
            usable.push_back(path);
    }
    return usable;
}

void add(const QString& path, LockWait wait)
{
    const FileLock lock = FileLock::inDataDir(kFileName, wait, kBusy);
    const Stored stored = readStored();
    const QStringList updated = withExtra(stored.paths, {path});
    if (updated.size() != stored.paths.size())
        store(stored, updated);
}

void remove(const QString& path, LockWait wait)
{
    const FileLock lock = FileLock::inDataDir(kFileName, wait, kBusy);
    const Stored stored = readStored();
    QStringList kept;
    for (const QString& element : stored.paths) {
        if (!sameFolder(element, path))
            kept.push_back(element);
    }
    store(stored, kept);
}

} // namespace CustomFolders

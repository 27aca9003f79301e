#include "TrashFixtures.h"

#include "Fixtures.h"
#include "fs/AppPaths.h"
#include "fs/XdgTrash.h"
#include "model/BrimvaleError.h"
#include "services/TrashLog.h"
#include "services/TrashService.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace TrashFixtures {

ModelEntry model(const QString& id, const QStringList& paths, qint64 reclaimableBytes)
{
    return ModelEntry(id, id + QStringLiteral(" model"), ModelSource::custom, reclaimableBytes + 7,
                      reclaimableBytes, paths.value(0), paths, std::nullopt, DeleteRisk::safe,
                      std::nullopt, std::nullopt);
}

QByteArray digestOf(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::lstat(bytes.constData(), &st) != 0)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (S_ISLNK(st.st_mode)) {
        hash.addData("link:");
        char target[4096];
        const ssize_t n = ::readlink(bytes.constData(), target, sizeof target);
        hash.addData(QByteArray(target, n > 0 ? n : 0));
    } else if (S_ISDIR(st.st_mode)) {
        hash.addData("dir:");
        for (const QString& name : namesIn(path)) {
            hash.addData(QByteArray(name.toUtf8() + '\0'));
            hash.addData(digestOf(path + u'/' + name));
        }
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return "unreadable";
        hash.addData("file:");
        hash.addData(&file);
    }
    return hash.result().toHex();
}

QStringList namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QString homeTrash()
{
    return AppPaths::homeTrash();
}

QString homeTrashFiles()
{
    return homeTrash() + QStringLiteral("/files");
}

QString homeTrashInfo()
{
    return homeTrash() + QStringLiteral("/info");
}

QString trashError(const QString& path)
{
    try {
        (void)XdgTrash::trashItem(path);
    } catch (const BrimvaleError& error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

QByteArray infoOf(const QString& trashedItem)
{
    const qsizetype slash = trashedItem.lastIndexOf(u'/');
    const QString trash = trashedItem.left(trashedItem.lastIndexOf(u'/', slash - 1));
    QFile file(trash + QStringLiteral("/info/") + trashedItem.mid(slash + 1) +
               QStringLiteral(".trashinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray rawLog()
{
    QFile file(AppPaths::dataDir() + QStringLiteral("/trash_log.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeLog(const QByteArray& content)
{
    return Fixtures::writeFile(AppPaths::dataDir() + QStringLiteral("/trash_log.json"), content);
}

bool writeLog(const QList<TrashEntry>& records)
{
    try {
        TrashLog::write(records, {});
    } catch (const BrimvaleError&) {
        return false;
    }
    return true;
}

TrashEntry trashedFile(const QString& path, const QByteArray& content)
{
    Fixtures::writeFile(path, content);
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return TrashService::moveToTrash(model(name, {path})).entry.value_or(TrashEntry{});
}

QString placeInTrash(const QString& name, const QString& original, qint64 at)
{
    const QString item = homeTrashFiles() + u'/' + name;
    const QString info = homeTrashInfo() + u'/' + name + QStringLiteral(".trashinfo");
    Fixtures::writeFile(item, name.toUtf8());
    Fixtures::writeFile(info,
                        XdgTrash::infoContent(XdgTrash::encodePath(QFile::encodeName(original)),
                                              "2020-01-01T00:00:00"));
    Fixtures::setModified(info, at);
    return item;
}

TrashEntry record(const QString& id, const QStringList& originals, const QStringList& trashed,
                  qint64 at)
{
    return TrashEntry{id, id, originals, trashed, at, 1, QStringLiteral("Custom")};
}

QStringList idsOf(const QList<TrashEntry>& entries)
{
    QStringList ids;
    for (const TrashEntry& entry : entries)
        ids << entry.id;
    return ids;
}

} // namespace TrashFixtures

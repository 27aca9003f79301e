#include "TrashFixtures.h"

#include "Fixtures.h"
#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "fs/XdgTrash.h"
#include "model/BrimvaleError.h"

#include <QCryptographicHash>
#include <QDir>
#include <sys/stat.h>
#include <unistd.h>

namespace TrashFixtures {

ModelEntry model(const QString& id, const QStringList& paths, qint64 reclaimableBytes)
{
    return ModelEntry(id, id + u" model"_qs, ModelSource::custom, reclaimableBytes + 7,
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
    QByteArray data;
    char target[4096];
    if (S_ISLNK(st.st_mode))
        data =
            "link:" +
            QByteArray(target, std::max<ssize_t>(0, ::readlink(bytes.constData(), target, 4096)));
    for (const QString& name : S_ISDIR(st.st_mode) ? namesIn(path) : QStringList())
        data += name.toUtf8() + '/' + digestOf(path + u'/' + name) + '\0';
    if (S_ISREG(st.st_mode))
        data = "file:" + PosixIO::readRegularFile(path).value_or("unreadable");
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QStringList namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QString homeTrashFiles()
{
    return AppPaths::homeTrash() + u"/files"_qs;
}

QString homeTrashInfo()
{
    return AppPaths::homeTrash() + u"/info"_qs;
}

QString trashError(const QString& path)
{
    try {
        (void)XdgTrash::trashItem(path);
    } catch (const BrimvaleError& error) {
        return error.message();
    }
    return u"(no error)"_qs;
}

QByteArray infoOf(const QString& trashedItem)
{
    return PosixIO::readRegularFile(XdgTrash::infoPathOf(trashedItem)).value_or(QByteArray());
}

QByteArray rawLog()
{
    return PosixIO::readRegularFile(AppPaths::dataDir() + u"/trash_log.json"_qs)
        .value_or(QByteArray());
}

bool writeLog(const QByteArray& content)
{
    return Fixtures::writeFile(AppPaths::dataDir() + u"/trash_log.json"_qs, content);
}

QString placeInTrash(const QString& name, const QString& original, qint64 at)
{
    const QString item = homeTrashFiles() + u'/' + name;
    const QString info = XdgTrash::infoPathOf(item);
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
    return TrashEntry{id, id, originals, trashed, at, 1, u"Custom"_qs};
}

QStringList idsOf(const QList<TrashEntry>& entries)
{
    QStringList ids;
    for (const TrashEntry& entry : entries)
        ids << entry.id;
    return ids;
}

} // namespace TrashFixtures

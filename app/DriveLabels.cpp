#include "app/DriveLabels.h"

#include "model/PathParts.h"

#include <QStorageInfo>

namespace DriveLabels {

QString read(const QString& path)
{
    const QStorageInfo storage(path);
    if (storage.isValid() && storage.isReady()) {
        if (!storage.name().isEmpty())
            return storage.name();
        return PathParts::folderName(storage.rootPath());
    }
    return fromPath(path);
}

QString fromPath(const QString& path)
{
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    qsizetype at = 0;
    if (parts.value(0) == u"mnt")
        at = 1;
    else if (parts.value(0) == u"media")
        at = 2;
    else if (parts.value(0) == u"run" && parts.value(1) == u"media")
        at = 3;
    return parts.value(at, parts.value(0));
}

QHash<QString, QString> readAll(const QStringList& paths)
{
    QHash<QString, QString> labels;
    for (const QString& path : paths)
        if (!labels.contains(path))
            labels.insert(path, read(path));
    return labels;
}

} // namespace DriveLabels

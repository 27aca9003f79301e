#include "LockWaiters.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <sys/stat.h>

namespace LockWaiters {

bool awaitWaiter(const QString& path)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    const QByteArray inode = ':' + QByteArray::number(quint64(status.st_ino));
    const QDeadlineTimer deadline(60'000);
    while (!deadline.hasExpired()) {
        QFile locks(u"/proc/locks"_qs);
        if (!locks.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : locks.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            // "N: -> FLOCK ADVISORY WRITE PID MAJ:MIN:INODE START END" for a blocked request
            if (fields.size() > 6 && fields[1] == "->" && fields[6].endsWith(inode))
                return true;
        }
        QThread::msleep(5);
    }
    return false;
}

} // namespace LockWaiters

#include "fs/FileLock.h"

#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FileLock::FileLock(const QString& lockFilePath)
{
    m_fd = ::open(QFile::encodeName(lockFilePath).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (m_fd < 0)
        throw BrimvaleError(QStringLiteral("Cannot lock ") + lockFilePath + QStringLiteral(": ") +
                            BrimvaleError::describe(errno));
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        throw BrimvaleError(QStringLiteral("Cannot lock ") + lockFilePath + QStringLiteral(": ") +
                            BrimvaleError::describe(error));
    }
}

FileLock::FileLock(FileLock&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the descriptor releases the lock
}

FileLock FileLock::inDataDir(const QString& name)
{
    PosixIO::makePath(AppPaths::dataDir());
    return FileLock(AppPaths::dataDir() + u'/' + name + QStringLiteral(".lock"));
}

#include "fs/FileLock.h"

#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>

namespace {

[[noreturn]] void throwLockError(const QString& lockFilePath, int error)
{
    throw BrimvaleError(QStringLiteral("Cannot lock ") + lockFilePath + QStringLiteral(": ") +
                        BrimvaleError::describe(error));
}

} // namespace

FileLock::FileLock(const QString& lockFilePath, LockWait wait, const QString& busyMessage)
    : m_fd(::open(QFile::encodeName(lockFilePath).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644))
{
    if (!m_fd.isValid())
        throwLockError(lockFilePath, errno);
    // flock has no timeout: a limited wait polls with LOCK_NB, quickly at first.
    const auto deadline =
        std::chrono::steady_clock::now() + wait.value_or(std::chrono::milliseconds{0});
    auto pause = std::chrono::milliseconds{5};
    while (::flock(m_fd.get(), wait ? LOCK_EX | LOCK_NB : LOCK_EX) != 0) {
        const int error = errno;
        if (error == EINTR)
            continue;
        if (wait && error == EWOULDBLOCK && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds{100});
            continue;
        }
        if (error == EWOULDBLOCK)
            throw BrimvaleError(busyMessage.isEmpty()
                                    ? QStringLiteral("Another Brimvale is working "
                                                     "— try again in a moment")
                                    : busyMessage,
                                BrimvaleError::Kind::busy);
        throwLockError(lockFilePath, error);
    }
}

FileLock FileLock::inDataDir(const QString& name, LockWait wait, const QString& busyMessage)
{
    PosixIO::makePath(AppPaths::dataDir());
    return FileLock(AppPaths::dataDir() + u'/' + name + QStringLiteral(".lock"), wait, busyMessage);
}

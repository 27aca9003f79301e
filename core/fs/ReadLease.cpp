#include "fs/ReadLease.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>

namespace {

// The signal the kernel sends the holder when a writer breaks the lease. By default it would
// end the process; a handler that does nothing is installed once, unless the program already
// handles or ignores it. SA_RESTART keeps interrupted calls of other threads going.
constexpr int kBreakSignal = SIGIO;

void ignoreBreak(int) {}

void handleBreakSignal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current
        {
        };
        if (::sigaction(kBreakSignal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
            (current.sa_flags & SA_SIGINFO) != 0)
            return;
        struct sigaction action
        {
        };
        action.sa_handler = ignoreBreak;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        (void)::sigaction(kBreakSignal, &action, nullptr);
    });
}

} // namespace

ReadLease::ReadLease(int fd)
{
    handleBreakSignal();
    if (::fcntl(fd, F_SETSIG, kBreakSignal) != 0 || ::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
        m_error = errno;
        return;
    }
    m_fd = fd;
}

ReadLease::~ReadLease()
{
    if (m_fd >= 0)
        (void)::fcntl(m_fd, F_SETLEASE, F_UNLCK);
}

bool ReadLease::held() const
{
    return m_fd >= 0 && ::fcntl(m_fd, F_GETLEASE) == F_RDLCK;
}

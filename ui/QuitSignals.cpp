#include "ui/QuitSignals.h"

#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's write end, read by the signal handler.
std::atomic<int> writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

// Async-signal-safe: one write, errno kept. A full pipe already holds a quit request.
void onSignal(int number)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(writeEnd.load(), &byte, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals()
{
    Q_ASSERT(writeEnd.load() == -1);
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Brimvale: no pipe for quit signals; they end the program at once");
        return;
    }
    writeEnd = m_pipe[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
        unsigned char bytes[64];
        while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {
        }
        if (m_window)
            m_window->close();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(handled[i], &action, &m_previous[i]);
}

QuitSignals::~QuitSignals()
{
    if (m_pipe[0] < 0)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(handled[i], &m_previous[i], nullptr);
    writeEnd = -1;
    m_notifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

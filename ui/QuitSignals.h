#pragma once

#include <QPointer>
#include <csignal>
#include <memory>

class QSocketNotifier;
class QWidget;

// Handles SIGTERM, SIGINT and SIGHUP (logout, `kill`, Ctrl+C in a terminal) like closing the
// window: the handler only writes to a pipe, and the GUI thread, reading it, closes the window,
// so running work stops after the item in hand and its records are written before the
// application exits. One at a time in a process; while it lives, every such signal is handled
// this way, including those that arrive while the work ends after the event loop.
class QuitSignals
{
public:
    QuitSignals();
    // Puts back the handlers found.
    ~QuitSignals();

    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // The window closed on a signal. Signals are read by the event loop, so one that came
    // before it ran closes the window once it does.
    void setWindow(QWidget* window) { m_window = window; }

private:
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    QPointer<QWidget> m_window;
    struct sigaction m_previous[3] = {};
};

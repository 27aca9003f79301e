#include "app/JobRunner.h"

#include <QThread>
#include <algorithm>

void JobRunner::Context::setBusyText(const QString& text) const
{
    QMetaObject::invokeMethod(
        m_runner,
        [runner = m_runner, ticket = m_ticket, text] {
            if (runner)
                runner->setBusyText(ticket, text);
        },
        Qt::QueuedConnection);
}

JobRunner::JobRunner(QObject* parent) : QObject(parent)
{
    // Enough threads that a slow update check or Ollama probe never holds back a scan or an
    // action on a machine with few cores.
    m_pool.setMaxThreadCount(std::max(QThread::idealThreadCount(), 6));
}

JobRunner::~JobRunner()
{
    stopAll();
    m_pool.waitForDone();
}

JobRunner::Context JobRunner::begin(const Options& options)
{
    Context context;
    context.m_runner = this;
    context.m_stop = options.stop ? options.stop : std::make_shared<StopToken>();
    if (m_stopping)
        context.m_stop->requestStop();
    context.m_ticket = ++m_nextTicket;
    m_running.push_back({context.m_ticket, options.busy, options.stoppable, context.m_stop});
    if (!options.busy.isEmpty() || options.stoppable)
        emit busyChanged();
    return context;
}

void JobRunner::setBusyText(int ticket, const QString& text)
{
    for (Running& running : m_running)
        if (running.ticket == ticket && !running.busy.isEmpty() && running.busy != text) {
            running.busy = text;
            emit busyChanged();
        }
}

bool JobRunner::end(int ticket, Generation* generation, quint64 startedAt)
{
    const auto found =
        std::find_if(m_running.begin(), m_running.end(),
                     [ticket](const Running& running) { return running.ticket == ticket; });
    if (found != m_running.end()) {
        const bool shown = !found->busy.isEmpty() || found->stoppable;
        m_running.erase(found);
        if (shown)
            emit busyChanged();
    }
    return !generation || generation->number() == startedAt;
}

std::optional<QString> JobRunner::busyText() const
{
    const auto shown = std::find_if(m_running.crbegin(), m_running.crend(),
                                    [](const Running& job) { return !job.busy.isEmpty(); });
    if (shown == m_running.crend())
        return std::nullopt;
    return shown->busy;
}

bool JobRunner::isStoppable() const
{
    return std::any_of(m_running.cbegin(), m_running.cend(),
                       [](const Running& running) { return running.stoppable; });
}

void JobRunner::stopCurrent()
{
    for (const Running& running : m_running)
        if (running.stoppable)
            running.stop->requestStop();
}

void JobRunner::stopAll()
{
    m_stopping = true;
    for (const Running& running : m_running)
        running.stop->requestStop();
}

QString JobRunner::unexpected(const char* what)
{
    return tr("Unexpected error: %1").arg(QString::fromUtf8(what));
}

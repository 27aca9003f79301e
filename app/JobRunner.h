#pragma once

#include "model/StopToken.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

// Owns every background task of the application: each runs on the runner's pool on copies of
// its inputs, holds a busy ticket while it runs, gets a stop token of its own, and hands its
// result (or the text of its failure) to the GUI thread. A task started under a generation whose
// number moved on while it ran is stale: its result is dropped, never handed over.
class JobRunner : public QObject
{
    Q_OBJECT

public:
    // What a task gave: its value, or the failure text when it threw.
    template <typename R> struct Outcome
    {
        std::optional<R> value;
        QString failure; // "Unexpected error: …"
    };

    // A counter the GUI thread moves on when what running tasks read has changed.
    class Generation
    {
    public:
        void advance() { ++m_number; }
        [[nodiscard]] quint64 number() const { return m_number; }

    private:
        quint64 m_number = 0;
    };

    // What a task sees while it runs on the pool.
    class Context
    {
    public:
        [[nodiscard]] const StopToken* stop() const { return m_stop.get(); }
        // Any thread: replaces the task's busy text.
        void setBusyText(const QString& text) const;

    private:
        friend class JobRunner;
        QPointer<JobRunner> m_runner;
        std::shared_ptr<StopToken> m_stop;
        int m_ticket = 0;
    };

    struct Options
    {
        QString busy;                     // shown while it runs; empty: the task is quiet
        Generation* generation = nullptr; // stale once it moved on since the start
        std::function<void()> stale;      // called instead of the result when stale
        bool stoppable = false;           // ended early by stopCurrent
        std::shared_ptr<StopToken> stop;  // the task's token when the caller keeps it too
    };

    explicit JobRunner(QObject* parent = nullptr);
    // Asks every task to stop and waits for them.
    ~JobRunner() override;

    // Starts work(const Context&) on the pool; then(Outcome<R>&&) gets its outcome later on the
    // GUI thread, never inside this call. The busy ticket ends before then runs, whatever the
    // outcome.
    template <typename Work, typename Then> void run(Options options, Work work, Then then);

    // The busy text of the newest busy task; nothing while none runs.
    [[nodiscard]] std::optional<QString> busyText() const;
    // Whether a stoppable task runs now.
    [[nodiscard]] bool isStoppable() const;
    // Asks the stoppable tasks to stop after the item in hand.
    void stopCurrent();
    // Asks every task to stop; tasks started afterwards begin stopped.
    void stopAll();
    [[nodiscard]] bool isStopping() const { return m_stopping; }
    void waitForDone() { m_pool.waitForDone(); }

signals:
    // The busy text or whether a stoppable task runs changed.
    void busyChanged();

private:
    struct Running
    {
        int ticket = 0;
        QString busy;
        bool stoppable = false;
        std::shared_ptr<StopToken> stop;
    };

    [[nodiscard]] Context begin(const Options& options);
    void setBusyText(int ticket, const QString& text);
    // Ends the ticket; true when the result is current and should be handed over.
    [[nodiscard]] bool end(int ticket, Generation* generation, quint64 startedAt);
    [[nodiscard]] static QString unexpected(const char* what);

    QThreadPool m_pool;
    QList<Running> m_running;
    int m_nextTicket = 0;
    bool m_stopping = false;
};

template <typename Work, typename Then> void JobRunner::run(Options options, Work work, Then then)
{
    using R = std::invoke_result_t<Work&, const Context&>;
    const Context context = begin(options);
    const quint64 startedAt = options.generation ? options.generation->number() : 0;
    QtConcurrent::run(&m_pool,
                      [work = std::move(work), context]() mutable -> Outcome<R> {
                          try {
                              return {work(context), {}};
                          } catch (const std::exception& error) {
                              return {std::nullopt, unexpected(error.what())};
                          } catch (...) {
                              return {std::nullopt, unexpected("unknown failure")};
                          }
                      })
        .then(this, [this, options = std::move(options), then = std::move(then), startedAt,
                     ticket = context.m_ticket](Outcome<R> outcome) mutable {
            // Handed over from the event loop even when the work ended before this continuation
            // was attached, so no caller sees its result inside the call that started it.
            auto held = std::make_shared<Outcome<R>>(std::move(outcome));
            QMetaObject::invokeMethod(
                this,
                [this, options = std::move(options), then = std::move(then), startedAt, ticket,
                 held]() mutable {
                    if (end(ticket, options.generation, startedAt))
                        then(std::move(*held));
                    else if (options.stale)
                        options.stale();
                },
                Qt::QueuedConnection);
        });
}

#pragma once

#include "app/Completion.h"
#include "app/JobRunner.h"

#include <QFuture>
#include <QTimer>
#include <memory>

class AppModel;
class CoreCalls;
struct ScanProgress;

// Runs the scans: one at a time, each dropped as stale when something that changes what it
// finds happened while it ran (then a fresh one follows once nothing changes files), and the
// progress text while one runs.
class ScanController
{
public:
    ScanController(AppModel& model, JobRunner& runner, std::shared_ptr<CoreCalls> core);
    ~ScanController();

    // Finished when the next scan is published (at once when stopping).
    QFuture<void> rescan();
    // A change of what a scan finds: makes the running scan stale and stops it.
    void noteChange();
    // Work that changes files begins or ends; no scan is published while some runs.
    void beginChange();
    void endChange();
    // Finishes done after a rescan when wanted, or when one was put off by a change.
    QFuture<void> rescanThen(bool wanted, Completion::Done done);

private:
    struct Found;

    void startScan();
    void finish(JobRunner::Outcome<Found>&& outcome);
    void retry();
    void settleWaiter();
    void refreshProgressText();

    AppModel& m_model;
    JobRunner& m_runner;
    std::shared_ptr<CoreCalls> m_core;
    JobRunner::Generation m_changes;
    int m_changesRunning = 0;
    bool m_rescanWanted = false;
    Completion::Done m_waiter; // finished when the next scan is published
    std::shared_ptr<StopToken> m_stop;
    std::shared_ptr<ScanProgress> m_progress;
    QTimer m_progressTimer;
};

#include "app/ScanController.h"

#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/TrashController.h"
#include "text/Format.h"

#include <QCoreApplication>

struct ScanController::Found
{
    std::optional<ScanResult> scan; // nothing when stopped
    QStringList folders;
    QSet<QString> missing;
    TrashController::List trash;
};

ScanController::ScanController(AppModel& model, JobRunner& runner, std::shared_ptr<CoreCalls> core)
    : m_model(model), m_runner(runner), m_core(std::move(core))
{
    m_progressTimer.setInterval(100);
    QObject::connect(&m_progressTimer, &QTimer::timeout, &m_model,
                     [this] { refreshProgressText(); });
}

ScanController::~ScanController() = default;

QFuture<void> ScanController::rescan()
{
    if (!m_waiter)
        m_waiter = Completion::make();
    QFuture<void> future = m_waiter->future();
    if (m_runner.isStopping())
        settleWaiter();
    else if (m_model.m_isScanning || m_changesRunning > 0)
        m_rescanWanted = m_rescanWanted || m_changesRunning > 0;
    else
        startScan();
    return future;
}

void ScanController::startScan()
{
    m_rescanWanted = false;
    m_model.setIsScanning(true);
    m_stop = std::make_shared<StopToken>();
    m_progress = std::make_shared<ScanProgress>();
    refreshProgressText();
    m_progressTimer.start();
    JobRunner::Options options;
    options.generation = &m_changes;
    options.stop = m_stop;
    options.stale = [this] { retry(); };
    m_runner.run(
        options,
        [core = m_core, loose = m_model.m_includeLoose, progress = m_progress,
         counter = m_model.m_trash->counter()](const JobRunner::Context& job) {
            Found found;
            found.folders = core->customFolders();
            for (const QString& folder : found.folders)
                if (!core->folderExists(folder))
                    found.missing.insert(folder);
            found.scan = core->scan(loose, found.folders, job.stop(), progress.get());
            found.trash = TrashController::load(*core, *counter);
            return found;
        },
        [this](JobRunner::Outcome<Found>&& outcome) { finish(std::move(outcome)); });
}

void ScanController::finish(JobRunner::Outcome<Found>&& outcome)
{
    if (outcome.value && !outcome.value->scan) {
        retry();
        return;
    }
    m_progressTimer.stop();
    if (outcome.value) {
        Found& found = *outcome.value;
        QSet<QString> selectedPaths;
        if (m_model.m_scan)
            for (const ModelEntry& entry : m_model.m_scan->models)
                if (m_model.m_selection.contains(entry.id))
                    selectedPaths.insert(entry.primaryPath);
        m_model.setScan(std::move(found.scan));
        QSet<QString> selection;
        for (const ModelEntry& entry : m_model.m_scan->models)
            if (selectedPaths.contains(entry.primaryPath))
                selection.insert(entry.id);
        m_model.setSelection(selection);
        m_model.setCustomFolders(found.folders);
        m_model.setMissingFolders(found.missing);
        m_model.m_trash->apply(found.trash);
    }
    m_model.setScanProgressText({});
    m_model.setIsScanning(false);
    if (!outcome.value)
        m_model.showToast(outcome.failure, true);
    settleWaiter();
    (void)m_model.refreshCapacity();
    if (m_rescanWanted && !m_runner.isStopping())
        (void)rescan();
}

// Stale or stopped: never shown; a fresh scan follows once nothing changes files.
void ScanController::retry()
{
    m_progressTimer.stop();
    m_model.setIsScanning(false);
    m_model.setScanProgressText({});
    if (m_runner.isStopping())
        settleWaiter();
    else if (m_changesRunning > 0)
        m_rescanWanted = true;
    else
        startScan();
}

void ScanController::settleWaiter()
{
    if (m_waiter) {
        m_waiter->finish();
        m_waiter.reset();
    }
}

void ScanController::refreshProgressText()
{
    if (!m_model.m_isScanning || !m_progress)
        return;
    const CoreCalls::ScanStatus status = m_core->status(*m_progress);
    if (status.checkingDuplicates) {
        m_model.setScanProgressText(
            QCoreApplication::translate("ScanController", "Checking duplicates… %1 of %2")
                .arg(Format::bytes(status.bytesRead), Format::bytes(status.bytesToRead)));
        return;
    }
    m_model.setScanProgressText(
        QCoreApplication::translate("ScanController", "Scanning… %1 of %2 sources · %3 files")
            .arg(status.sourcesDone)
            .arg(status.sourcesTotal)
            .arg(Format::displayLocale().toString(status.filesWalked)));
}

void ScanController::noteChange()
{
    m_changes.advance();
    if (m_model.m_isScanning && m_stop)
        m_stop->requestStop();
}

void ScanController::beginChange()
{
    ++m_changesRunning;
    noteChange();
}

void ScanController::endChange()
{
    --m_changesRunning;
    m_changes.advance();
}

QFuture<void> ScanController::rescanThen(bool wanted, Completion::Done done)
{
    if (wanted || (m_rescanWanted && m_changesRunning == 0 && !m_model.m_isScanning))
        rescan().then(&m_model, [done] { done->finish(); });
    else
        done->finish();
    return done->future();
}

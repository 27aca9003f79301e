#pragma once

#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "fs/AppPaths.h"
#include "fs/AppSettings.h"
#include "fs/CustomFolders.h"
#include "text/Format.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <mutex>
#include <stdexcept>

namespace AppModelFixtures {

// The real core, except that calls can be held, canned or refused, and nothing goes to the
// network.
class FakeCore : public CoreCalls
{
public:
    std::mutex mutex;
    std::optional<ScanResult> canned; // set under the mutex once scans may run
    QSemaphore gate;                  // held scans wait here
    std::atomic<bool> holdScans{false};
    std::atomic<int> scans{0};
    std::atomic<ScanProgress*> progress{nullptr};
    QSemaphore workGate; // held trash, restore, move and dedupe steps and held log reads wait here
    std::atomic<bool> holdWork{false};
    std::atomic<int> restores{0};
    std::atomic<int> deletes{0};
    bool failTrash = false;
    std::optional<QString> trashRefusal;
    std::optional<bool> ollama;
    bool fakeMove = false;
    std::atomic<int> copying{0}; // items the fake move has begun
    bool refuseFolders = false;
    std::optional<QList<TrashEntry>> listed; // under the mutex
    std::atomic<int> listHolds{0};
    QSemaphore updateGate;
    std::atomic<bool> holdUpdate{false};
    std::atomic<bool> updateReturned{false};
    // Dedupe: the plan and both outcomes are canned; a held run waits on the work gate.
    DedupePlan::Plan plan;
    QSet<QString> noSharing; // files on filesystems that cannot share blocks
    DedupeOutcome dryRun;
    DedupeOutcome freed;
    std::optional<ScanResult> plannedFrom; // under the mutex
    QList<bool> hardLinks;                 // of each call, dry or not; under the mutex
    std::atomic<int> dedupes{0};           // runs that were not dry

    std::optional<ScanResult> scan(bool loose, const QStringList& folders, const StopToken* stop,
                                   ScanProgress* scanProgress) override
    {
        std::unique_lock lock(mutex);
        const std::optional<ScanResult> found = canned; // what the files held when it began
        lock.unlock();
        progress = scanProgress;
        ++scans;
        if (holdScans)
            gate.acquire();
        if (StopToken::requested(stop))
            return std::nullopt;
        return found ? found : CoreCalls::scan(loose, folders, stop, scanProgress);
    }
    QList<TrashEntry> trashEntries() override
    {
        std::unique_lock lock(mutex);
        if (!listed)
            return CoreCalls::trashEntries();
        const QList<TrashEntry> answer = *listed;
        lock.unlock();
        if (listHolds.fetch_sub(1) > 0)
            workGate.acquire();
        return answer;
    }
    QList<TrashOutcome> trash(const QList<ModelEntry>& entries, const StopToken* stop) override
    {
        if (failTrash)
            throw std::runtime_error("boom");
        held();
        if (!trashRefusal)
            return CoreCalls::trash(entries, stop);
        TrashOutcome refused;
        refused.error = trashRefusal;
        refused.errorKind = BrimvaleError::Kind::busy;
        return QList<TrashOutcome>(entries.size(), refused);
    }
    std::optional<QString> restore(const QString& id) override
    {
        ++restores;
        held();
        return CoreCalls::restore(id);
    }
    std::optional<QString> deletePermanently(const QString& id) override
    {
        ++deletes;
        return CoreCalls::deletePermanently(id);
    }
    // The fake copies each item in two halves and stops between them when asked.
    MoveResult move(const QList<ModelEntry>& entries, const QString& to, const StopToken* stop,
                    const CopyProgress& copied) override
    {
        if (!fakeMove)
            return CoreCalls::move(entries, to, stop, copied);
        MoveResult result;
        for (const ModelEntry& entry : entries) {
            ++copying;
            copied(result.movedFrom.size() * 1000 + 500, entries.size() * 1000);
            workGate.acquire();
            if (StopToken::requested(stop)) {
                result.error = QStringLiteral("Stopped — the remaining items were not moved");
                break;
            }
            result.movedFrom << entry.primaryPath;
            result.movedTo << to + u'/' + entry.name;
        }
        return result;
    }
    DedupePlan::Plan planDedupe(const ScanResult& scan, const QList<ModelEntry>&) override
    {
        const std::lock_guard lock(mutex);
        plannedFrom = scan;
        return plan;
    }
    bool canShareBlocks(const QString& path) override { return !noSharing.contains(path); }
    // A stopped run ends with the error the service gives.
    DedupeOutcome dedupe(const DedupePlan::Plan&, bool hardLink, bool dry,
                         const StopToken* stop) override
    {
        {
            const std::lock_guard lock(mutex);
            hardLinks << hardLink;
        }
        if (dry)
            return dryRun;
        ++dedupes;
        held();
        DedupeOutcome outcome = freed;
        if (StopToken::requested(stop))
            outcome.error = QStringLiteral("Stopped");
        return outcome;
    }
    bool ollamaRunning() override { return ollama.value_or(false); }
    std::optional<UpdateInfo> checkForUpdate() override
    {
        if (holdUpdate)
            (void)updateGate.tryAcquire(1, 120000);
        updateReturned = true;
        return std::nullopt;
    }
    bool includeLoose() const override { return false; }
    QString volumeLabel(const QString&) override { return QStringLiteral("Archive"); }
    std::optional<QString> addFolder(const QString& path) override
    {
        return refuseFolders ? std::nullopt : CoreCalls::addFolder(path);
    }

private:
    void held()
    {
        if (holdWork)
            workGate.acquire();
    }
};

class FakeDialogs : public Dialogs
{
public:
    QStringList folders;
    int savePanels = 0;
    QList<Question> questions;
    std::function<void(bool)> answer; // of the last question
    void chooseFolders(const FolderPanel&, std::function<void(const QStringList&)> chosen) override
    {
        chosen(folders);
    }
    void ask(const Question& question, std::function<void(bool)> answered) override
    {
        questions << question;
        answer = std::move(answered);
    }
    void chooseSaveFile(const SavePanel&,
                        std::function<void(const std::optional<QString>&)> chosen) override
    {
        ++savePanels;
        chosen(std::nullopt);
    }
    void reveal(const QStringList&) override {}
    void openUrl(const QUrl&) override {}
};

inline ModelEntry entry(const QString& id, const QString& path, qint64 size = 1000)
{
    ModelEntry model = TrashFixtures::model(id, {path}, size);
    model.sizeBytes = size;
    return model;
}

inline ScanResult scanOf(const QList<ModelEntry>& models)
{
    ScanResult result;
    result.models = models;
    return result;
}

inline QStringList ids(const QList<ModelEntry>& models)
{
    QStringList list;
    for (const ModelEntry& model : models)
        list << model.id;
    return list;
}

} // namespace AppModelFixtures

// What every application-model test starts from: a test home, a fake core and fake dialogs, and
// a model over them made anew for each test function.
namespace AppModelFixtures {

class AppModelRig
{
protected:
    std::unique_ptr<TestHome> m_home;
    std::shared_ptr<FakeCore> m_core;
    FakeDialogs m_dialogs;
    std::unique_ptr<AppModel> m_model;

    bool wait(const QFuture<void>& future)
    {
        return QTest::qWaitFor([&] { return future.isFinished(); }, 60000);
    }
    // Real files in the test home, one per id, in a scan the model publishes.
    QList<ModelEntry> publishFiles(const QStringList& names)
    {
        QList<ModelEntry> models;
        for (const QString& name : names) {
            const QString path =
                m_home->file(QStringLiteral("models/") + name + QStringLiteral(".gguf"));
            Fixtures::writeFile(path, "x");
            models << entry(name, path, 1000);
        }
        m_core->canned = scanOf(models);
        (void)wait(m_model->rescan());
        return models;
    }

    // The first count of a, b and c.
    QList<ModelEntry> publishFiles(int count)
    {
        return publishFiles(
            QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}.mid(0,
                                                                                           count));
    }

    void setUp()
    {
        m_home = std::make_unique<TestHome>();
        m_core = std::make_shared<FakeCore>();
        m_core->lockWait = std::chrono::milliseconds(300); // the desktop's wait, made short
        m_dialogs = FakeDialogs();
        m_model = std::make_unique<AppModel>(m_core, m_dialogs);
    }
    void tearDown()
    {
        m_core->gate.release(10);
        m_core->workGate.release(10);
        m_core->updateGate.release();
        m_model.reset();
        m_home.reset();
    }
};

} // namespace AppModelFixtures

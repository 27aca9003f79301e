#pragma once

#include "TestHome.h"
#include "app/AppItemModels.h"
#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/ScanFilterProxy.h"
#include "app/ScanItemModel.h"
#include "app/SidebarModel.h"
#include "app/TrashItemModel.h"
#include "app/TrashSortProxy.h"

#include <QAbstractItemModelTester>
#include <QSemaphore>
#include <QTest>
#include <mutex>

// A core that answers from canned lists and can hold the trash, restore and delete calls open,
// and dialogs that only count; for the widget tests of the two detail pages.
namespace ViewFixtures {

class FakeCore : public CoreCalls
{
public:
    std::mutex mutex;
    ScanResult scanned;
    QList<TrashEntry> trashed;
    QSemaphore gate;
    std::atomic<bool> hold{false};

    std::optional<ScanResult> scan(bool, const QStringList&, const StopToken*,
                                   ScanProgress*) override
    {
        const std::lock_guard lock(mutex);
        return scanned;
    }
    QList<TrashEntry> trashEntries() override
    {
        const std::lock_guard lock(mutex);
        return trashed;
    }
    QList<TrashOutcome> trash(const QList<ModelEntry>&, const StopToken*) override
    {
        wait();
        return {};
    }
    std::optional<QString> restore(const QString&) override
    {
        wait();
        return std::nullopt;
    }
    std::optional<QString> deletePermanently(const QString&) override
    {
        wait();
        return std::nullopt;
    }
    // Every entry's file is a duplicate of 2 KB, stored twice.
    DedupePlan::Plan planDedupe(const ScanResult&, const QList<ModelEntry>& entries) override
    {
        DedupePlan::Plan plan;
        for (const ModelEntry& entry : entries)
            plan.items << DedupeItem{entry.id, entry.primaryPath, {}, {}, {}, {}};
        return plan;
    }
    bool canShareBlocks(const QString&) override { return true; }
    DedupeOutcome dedupe(const DedupePlan::Plan& plan, bool, bool, const StopToken*) override
    {
        DedupeOutcome outcome;
        for (const DedupeItem& item : plan.items)
            outcome.files << DedupedFile{item.entryId, item.path, item.keepPath, 2000, false, {}};
        return outcome;
    }
    std::optional<UpdateInfo> checkForUpdate() override { return std::nullopt; }
    bool includeLoose() const override { return false; }
    void setIncludeLoose(bool) override {}
    QStringList folders; // under the mutex
    QStringList customFolders() override
    {
        const std::lock_guard lock(mutex);
        return folders;
    }

private:
    void wait()
    {
        if (hold)
            gate.acquire();
    }
};

class FakeDialogs : public Dialogs
{
public:
    QList<QStringList> revealed;
    QList<Question> questions;
    void chooseFolders(const FolderPanel&, std::function<void(const QStringList&)>) override {}
    void ask(const Question& question, std::function<void(bool)>) override
    {
        questions << question;
    }
    void chooseSaveFile(const SavePanel&,
                        std::function<void(const std::optional<QString>&)>) override
    {}
    void reveal(const QStringList& paths) override { revealed << paths; }
    void openUrl(const QUrl&) override {}
};

// Item models checked by Qt's model tester on every change, failing at once.
class ItemModelTesters
{
public:
    explicit ItemModelTesters(const QList<QAbstractItemModel*>& models)
    {
        for (QAbstractItemModel* model : models)
            m_testers.push_back(std::make_unique<QAbstractItemModelTester>(
                model, QAbstractItemModelTester::FailureReportingMode::Fatal));
    }
    // Every item model of the application model.
    explicit ItemModelTesters(const AppModel& model)
        : ItemModelTesters({&model.itemModels().scan(), &model.itemModels().visible(),
                            &model.itemModels().trash(), &model.itemModels().trashSorted(),
                            &model.itemModels().sidebar()})
    {}

private:
    std::vector<std::unique_ptr<QAbstractItemModelTester>> m_testers;
};

// A test home, the fakes and an application model over them, its item models under the tester.
struct Setup
{
    TestHome home;
    std::shared_ptr<FakeCore> core = std::make_shared<FakeCore>();
    FakeDialogs dialogs;
    AppModel model{core, dialogs};
    ItemModelTesters testers{model};

    ~Setup() { core->gate.release(100); }

    [[nodiscard]] static bool wait(const QFuture<void>& future)
    {
        return QTest::qWaitFor([&] { return future.isFinished(); }, 30000);
    }
    // Publishes a scan of the entries through a rescan.
    bool publish(const QList<ModelEntry>& models)
    {
        {
            const std::lock_guard lock(core->mutex);
            core->scanned = ScanResult{models, {}, false, {}};
        }
        return wait(model.rescan());
    }
    bool publishTrash(const QList<TrashEntry>& entries)
    {
        {
            const std::lock_guard lock(core->mutex);
            core->trashed = entries;
        }
        return wait(model.reloadTrash());
    }
};

inline ModelEntry entry(const QString& id, qint64 size, qint64 reclaimable = -1)
{
    ModelEntry model;
    model.id = id;
    model.name = id;
    model.sizeBytes = size;
    model.reclaimableBytes = reclaimable < 0 ? size : reclaimable;
    model.primaryPath = QStringLiteral("/models/") + id + QStringLiteral(".gguf");
    model.allPaths = {model.primaryPath};
    return model;
}

inline TrashEntry trashEntry(const QString& id, qint64 size, qint64 at,
                             const QString& source = QStringLiteral("Ollama"))
{
    return TrashEntry{
        id, id, {QStringLiteral("/models/") + id}, {QStringLiteral("/t/") + id}, at, size, source};
}

} // namespace ViewFixtures

#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "app/AppModel.h"
#include "fs/CustomFolders.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <mutex>
#include <stdexcept>

namespace {

// The real core, except that scans can be held and canned, and nothing goes to the network.
class FakeCore : public CoreCalls
{
public:
    std::mutex mutex;
    std::optional<ScanResult> canned; // set under the mutex once scans may run
    QSemaphore gate;
    std::atomic<bool> holdScans{false};
    std::atomic<int> scans{0};
    bool failTrash = false;

    std::optional<ScanResult> scan(bool loose, const QStringList& folders, const StopToken* stop,
                                   ScanProgress* progress) override
    {
        std::unique_lock lock(mutex);
        const std::optional<ScanResult> found = canned; // what the files held when it began
        lock.unlock();
        ++scans;
        if (holdScans)
            gate.acquire();
        if (StopToken::requested(stop))
            return std::nullopt;
        return found ? found : CoreCalls::scan(loose, folders, stop, progress);
    }
    QList<TrashOutcome> trash(const QList<ModelEntry>& entries, const StopToken* stop) override
    {
        if (failTrash)
            throw std::runtime_error("boom");
        return CoreCalls::trash(entries, stop);
    }
    std::optional<UpdateInfo> checkForUpdate() override { return std::nullopt; }
    bool includeLoose() const override { return false; }
    QString volumeLabel(const QString&) override { return QStringLiteral("Archive"); }
};

class FakeDialogs : public Dialogs
{
public:
    QStringList folders;
    int savePanels = 0;
    QStringList chooseFolders(const FolderPanel&) override { return folders; }
    std::optional<QString> chooseSaveFile(const SavePanel&) override
    {
        ++savePanels;
        return std::nullopt;
    }
    void reveal(const QStringList&) override {}
    void openUrl(const QUrl&) override {}
};

ModelEntry entry(const QString& id, const QString& path, qint64 size = 1000)
{
    ModelEntry model = TrashFixtures::model(id, {path}, size);
    model.sizeBytes = size;
    return model;
}

ScanResult scanOf(const QList<ModelEntry>& models)
{
    ScanResult result;
    result.models = models;
    return result;
}

QStringList ids(const QList<ModelEntry>& models)
{
    QStringList list;
    for (const ModelEntry& model : models)
        list << model.id;
    return list;
}

} // namespace

class AppModelTest : public QObject
{
    Q_OBJECT

private:
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

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_core = std::make_shared<FakeCore>();
        m_dialogs = FakeDialogs();
        m_model = std::make_unique<AppModel>(m_core, m_dialogs);
    }
    void cleanup()
    {
        m_core->gate.release(10);
        m_model.reset();
        m_home.reset();
    }

    void quickRescansRunOneScan()
    {
        m_core->canned = scanOf({});
        m_core->holdScans = true;
        const QFuture<void> first = m_model->rescan();
        const QFuture<void> second = m_model->rescan();
        QVERIFY(m_model->isScanning());
        m_core->gate.release();
        QVERIFY(wait(first) && wait(second));
        QCOMPARE(m_core->scans.load(), 1);
        QVERIFY(!m_model->isScanning());
    }

    void scanDuringTrashPublishesNothingStale()
    {
        const QList<ModelEntry> models = publishFiles({QStringLiteral("a")});
        m_model->removeFromScan({QStringLiteral("a")});
        bool staleSeen = false;
        connect(m_model.get(), &AppModel::scanChanged, this, [&] {
            staleSeen = staleSeen || !m_model->models(QSet<QString>{QStringLiteral("a")}).isEmpty();
        });
        m_core->holdScans = true;
        const QFuture<void> scanned = m_model->rescan();
        QTRY_COMPARE(m_core->scans.load(), 2);
        QVERIFY(wait(m_model->trash(models)));
        {
            const std::lock_guard lock(m_core->mutex);
            m_core->canned = scanOf({});
        }
        m_core->gate.release(2);
        QVERIFY(wait(scanned));
        QTRY_VERIFY(!m_model->isScanning());
        QVERIFY(!staleSeen);
        QCOMPARE(m_core->scans.load(), 3);
    }

    void visibleModels_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("blank search shows all, largest first")
            << QStringLiteral(" \t ") << QString()
            << QStringList{QStringLiteral("ab"), QStringLiteral("a"), QStringLiteral("bin")};
        QTest::newRow("upper-case extension")
            << QStringLiteral("GGUF") << QString() << QStringList{QStringLiteral("a")};
        QTest::newRow("folder excludes a longer sibling")
            << QString() << QStringLiteral("/Models/a/") << QStringList{QStringLiteral("a")};
    }
    void visibleModels()
    {
        QFETCH(QString, search);
        QFETCH(QString, folder);
        QFETCH(QStringList, expected);
        m_core->canned = scanOf({entry(QStringLiteral("a"), QStringLiteral("/Models/a/x.gguf"), 5),
                                 entry(QStringLiteral("ab"), QStringLiteral("/Models/ab/y.bin"), 9),
                                 entry(QStringLiteral("bin"), QStringLiteral("/Other/z.bin"), 1)});
        QVERIFY(wait(m_model->rescan()));
        m_model->setSearch(search);
        if (!folder.isEmpty())
            m_model->setSidebar(SidebarItem::ofFolder(folder));
        QCOMPARE(ids(m_model->visibleModels()), expected);
    }

    void selectionFollowsPaths()
    {
        m_core->canned = scanOf({entry(QStringLiteral("m"), QStringLiteral("/p/1")),
                                 entry(QStringLiteral("m~1"), QStringLiteral("/p/2")),
                                 entry(QStringLiteral("gone"), QStringLiteral("/p/3"))});
        QVERIFY(wait(m_model->rescan()));
        m_model->setSelection({QStringLiteral("m"), QStringLiteral("gone")});
        m_core->canned = scanOf({entry(QStringLiteral("m"), QStringLiteral("/p/2")),
                                 entry(QStringLiteral("m~1"), QStringLiteral("/p/1"))});
        QVERIFY(wait(m_model->rescan()));
        QCOMPARE(m_model->selection(), QSet<QString>{QStringLiteral("m~1")});
    }

    void riskyEntryHoldsBackAll()
    {
        QList<ModelEntry> five;
        for (int i = 0; i < 5; ++i)
            five << entry(QString::number(i), QStringLiteral("/x/") + QString::number(i));
        five[3].deleteRisk = DeleteRisk::risky;
        QVERIFY(wait(m_model->requestTrash(five)));
        QCOMPARE(m_model->pendingRiskyTrash(), five);
        QVERIFY(!m_model->busyMessage());
    }

    void trashToasts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("oneGone");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1 << false
                             << QStringLiteral("Moved \"a model\" to Trash · 1 KB freed");
        QTest::newRow("two") << 2 << false << QStringLiteral("Moved 2 items to Trash · 2 KB freed");
        QTest::newRow("one of three gone")
            << 3 << true
            << QStringLiteral("Trashed 2 of 3. Nothing left to trash — files are already gone.");
    }
    void trashToasts()
    {
        QFETCH(int, count);
        QFETCH(bool, oneGone);
        QFETCH(QString, text);
        const QList<ModelEntry> models = publishFiles(
            QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}.mid(0,
                                                                                           count));
        if (oneGone)
            QFile::remove(models[1].primaryPath);
        QSignalSpy busy(m_model.get(), &AppModel::busyMessageChanged);
        const QFuture<void> done = m_model->requestTrash(models);
        QVERIFY(m_model->busyMessage());
        QVERIFY(wait(done));
        QVERIFY(!m_model->busyMessage());
        QCOMPARE(m_model->toast()->text, text);
        QCOMPARE(m_model->toast()->isError, oneGone);
        QCOMPARE(m_model->toast()->undoEntryIDs.size(), oneGone ? 0 : count);
        QCOMPARE(m_model->trashEntries().size(), oneGone ? 2 : count);
        QCOMPARE(m_model->scan()->models.size(), oneGone ? 1 : 0);
    }

    void restoreToasts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("gone");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << false << QStringLiteral("Restored 0 items");
        QTest::newRow("one") << 1 << false << QStringLiteral("Restored to its original location");
        QTest::newRow("two") << 2 << false << QStringLiteral("Restored 2 items");
        QTest::newRow("items already gone")
            << 1 << true
            << QStringLiteral("Nothing left to restore — the items are no longer in the Trash");
    }
    void restoreToasts()
    {
        QFETCH(int, count);
        QFETCH(bool, gone);
        QFETCH(QString, text);
        const QList<ModelEntry> models =
            publishFiles(QStringList{QStringLiteral("a"), QStringLiteral("b")}.mid(0, count));
        QVERIFY(wait(m_model->trash(models)));
        QStringList undo = m_model->toast() ? m_model->toast()->undoEntryIDs : QStringList();
        if (gone)
            QFile::remove(m_model->trashEntries()[0].trashedPaths[0]);
        QVERIFY(wait(m_model->restore(undo)));
        QCOMPARE(m_model->toast()->text, text);
        QCOMPARE(m_model->toast()->isError, gone);
        QVERIFY(m_model->trashEntries().isEmpty());
    }

    void undoOfThree()
    {
        const QList<ModelEntry> models =
            publishFiles({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        QVERIFY(wait(m_model->trash(models)));
        const QFuture<void> undone = m_model->undo();
        QVERIFY(!m_model->toast());
        QVERIFY(wait(undone));
        QCOMPARE(m_model->toast()->text, QStringLiteral("Restored 3 items"));
        for (const ModelEntry& model : models)
            QVERIFY(QFile::exists(model.primaryPath));
    }

    void deleteUnknownId()
    {
        QVERIFY(wait(m_model->deletePermanently({QStringLiteral("nope")})));
        QCOMPARE(m_model->toast()->text, QStringLiteral("Trash entry not found"));
    }

    void moveTexts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("busy");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1 << QStringLiteral("Moving a model to Archive…")
                             << QStringLiteral(
                                    "Moved \"a model\" to Archive · symlinks left in place");
        QTest::newRow("three") << 3 << QStringLiteral("Moving 3 models to Archive…")
                               << QStringLiteral(
                                      "Moved 3 models to Archive · symlinks left in place");
    }
    void moveTexts()
    {
        QFETCH(int, count);
        QFETCH(QString, busy);
        QFETCH(QString, text);
        const QList<ModelEntry> models = publishFiles(
            QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}.mid(0,
                                                                                           count));
        m_dialogs.folders = {m_home->file(QStringLiteral("archive"))};
        QVERIFY(QDir().mkpath(m_dialogs.folders[0]));
        const QFuture<void> done = m_model->move(models);
        QCOMPARE(m_model->busyMessage(), busy);
        QVERIFY(wait(done));
        QCOMPARE(m_model->toast()->text, text);
        QVERIFY(m_model->scan()->models.isEmpty());
    }

    void removeFolderKeepsLongerSibling()
    {
        CustomFolders::add(QStringLiteral("/Models/a"));
        CustomFolders::add(QStringLiteral("/Models/ab"));
        ModelEntry a = entry(QStringLiteral("a"), QStringLiteral("/Models/a/x.gguf"));
        ModelEntry ab = entry(QStringLiteral("ab"), QStringLiteral("/Models/ab/y.gguf"));
        a.detail = m_core->customFolderDetail(QStringLiteral("/Models/a"));
        ab.detail = m_core->customFolderDetail(QStringLiteral("/Models/ab"));
        m_core->canned = scanOf({a, ab});
        QVERIFY(wait(m_model->rescan()));
        QVERIFY(wait(m_model->removeFolder(QStringLiteral("/Models/a"))));
        QCOMPARE(ids(m_model->scan()->models), QStringList{QStringLiteral("ab")});
        QCOMPARE(m_model->customFolders(), QStringList{QStringLiteral("/Models/ab")});
    }

    void exportWithoutScanDoesNothing()
    {
        m_model->exportReport();
        QCOMPARE(m_dialogs.savePanels, 0);
    }

    void toastsLiveTheirOwnTime()
    {
        QList<std::pair<std::chrono::milliseconds, std::function<void()>>> timers;
        m_model->setToastTimer([&](std::chrono::milliseconds after, std::function<void()> call) {
            timers.push_back({after, std::move(call)});
        });
        m_model->showToast(QStringLiteral("first"), false);
        m_model->showToast(QStringLiteral("second"), false, {QStringLiteral("id")});
        QCOMPARE(timers[0].first, AppModel::toastTime);
        QCOMPARE(timers[1].first, AppModel::undoToastTime);
        timers[0].second();
        QCOMPARE(m_model->toast()->text, QStringLiteral("second"));
        timers[1].second();
        QVERIFY(!m_model->toast());
    }

    void failingTaskClearsBusy()
    {
        m_core->failTrash = true;
        QVERIFY(wait(m_model->trash({entry(QStringLiteral("a"), QStringLiteral("/x/a"))})));
        QVERIFY(!m_model->busyMessage());
        QCOMPARE(m_model->toast()->text, QStringLiteral("Unexpected error: boom"));
    }
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "tst_appmodel.moc"

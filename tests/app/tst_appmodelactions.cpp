#include "AppModelRig.h"

using namespace AppModelFixtures;
using namespace Qt::StringLiterals;

// The model's actions (trash, restore, delete, move, folders, report), its toasts and undo, the
// stored setting and the progress texts.
class AppModelActionsTest : public QObject, private AppModelFixtures::AppModelRig
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Every trash ends busy with one toast: what went, or the first failure.
    void trashToasts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("fault"); // "gone" (the second file), "throws", "refused"
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1 << ""
                             << "Moved \"a model\" to Trash · 1 KB freed";
        QTest::newRow("two") << 2 << ""
                             << "Moved 2 items to Trash · 2 KB freed";
        QTest::newRow("one of three gone")
            << 3 << "gone"
            << "Trashed 2 of 3. Nothing left to trash — files are already gone.";
        QTest::newRow("task throws") << 2 << "throws"
                                     << "Unexpected error: boom";
        QTest::newRow("lock held elsewhere")
            << 2 << "refused"
            << "Another Brimvale is working on the Trash — try again in a moment";
    }
    void trashToasts()
    {
        QFETCH(int, count);
        QFETCH(QString, fault);
        QFETCH(QString, text);
        const QList<ModelEntry> models = publishFiles(count);
        if (fault == u"gone")
            QFile::remove(models[1].primaryPath);
        m_core->failTrash = fault == u"throws";
        if (fault == u"refused")
            m_core->trashRefusal = text;
        QSignalSpy toasts(m_model.get(), &AppModel::toastChanged);
        const QFuture<void> done = m_model->requestTrash(models);
        QVERIFY(m_model->busyMessage());
        QVERIFY(wait(done));
        QVERIFY(!m_model->busyMessage());
        QCOMPARE(toasts.count(), 1);
        QCOMPARE(m_model->toast()->text, text);
        QCOMPARE(m_model->toast()->isError, !fault.isEmpty());
        const int trashed = fault.isEmpty() ? count : fault == u"gone" ? count - 1 : 0;
        QCOMPARE(m_model->toast()->undoEntryIDs.size(), fault.isEmpty() ? count : 0);
        QCOMPARE(m_model->trashEntries().size(), trashed);
        QCOMPARE(m_model->scan()->models.size(), count - trashed);
        QCOMPARE(QFile::exists(models[0].primaryPath), trashed == 0);
    }

    void restoreToasts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("how"); // "restore", "undo" or "gone" (restored once gone)
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << "restore"
                              << "Restored 0 items";
        QTest::newRow("one") << 1 << "restore"
                             << "Restored to its original location";
        QTest::newRow("two") << 2 << "restore"
                             << "Restored 2 items";
        QTest::newRow("three through Undo") << 3 << "undo"
                                            << "Restored 3 items";
        QTest::newRow("items already gone")
            << 1 << "gone"
            << "Nothing left to restore — the items are no longer in the Trash";
    }
    void restoreToasts()
    {
        QFETCH(int, count);
        QFETCH(QString, how);
        QFETCH(QString, text);
        const QList<ModelEntry> models = publishFiles(count);
        QVERIFY(wait(m_model->trash(models)));
        QStringList undo = m_model->toast() ? m_model->toast()->undoEntryIDs : QStringList();
        if (how == u"gone")
            QFile::remove(m_model->trashEntries()[0].trashedPaths[0]);
        const QFuture<void> done = how == u"undo" ? m_model->undo() : m_model->restore(undo);
        if (how == u"undo")
            QVERIFY(!m_model->toast()); // Undo hides its toast at once
        QVERIFY(wait(done));
        QCOMPARE(m_model->toast()->text, text);
        QCOMPARE(m_model->toast()->isError, how == u"gone");
        QVERIFY(m_model->trashEntries().isEmpty());
        QCOMPARE(QFile::exists(models.value(0).primaryPath), count > 0 && how != u"gone");
    }

    void deleteUnknownId()
    {
        QVERIFY(wait(m_model->deletePermanently({QStringLiteral("nope")})));
        QCOMPARE(m_model->toast()->text, QStringLiteral("Trash entry not found"));
    }

    // A move's busy text and its one toast; a stop asked for is no error and says what moved.
    void moveTexts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("stopAfter"); // items arrived before the stop; -1: no stop
        QTest::addColumn<QString>("busy");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1 << -1 << "Moving a model to Archive…"
                             << "Moved \"a model\" to Archive · symlinks left in place";
        QTest::newRow("three") << 3 << -1 << "Moving 3 models to Archive…"
                               << "Moved 3 models to Archive · symlinks left in place";
        QTest::newRow("stopped, one of three arrived") << 3 << 1 << "Moving 3 models to Archive…"
                                                       << "Stopped — moved 1 of 3";
        QTest::newRow("stopped in the first") << 3 << 0 << "Moving 3 models to Archive…"
                                              << "Stopped — nothing was moved";
    }
    void moveTexts()
    {
        QFETCH(int, count);
        QFETCH(int, stopAfter);
        QFETCH(QString, busy);
        QFETCH(QString, text);
        const QList<ModelEntry> models = publishFiles(count);
        m_core->fakeMove = stopAfter >= 0;
        m_dialogs.folders = {m_home->file(QStringLiteral("archive"))};
        QVERIFY(QDir().mkpath(m_dialogs.folders[0]));
        const int scans = m_core->scans;
        QStringList busyTexts;
        connect(m_model.get(), &AppModel::busyMessageChanged, this,
                [&] { busyTexts << m_model->busyMessage().value_or(QString()); });
        const QFuture<void> moved = m_model->move(models);
        if (stopAfter >= 0) {
            QTRY_COMPARE(m_model->busyMessage(),
                         QStringLiteral("Moving 3 models to Archive (%1 of %2)…")
                             .arg(Format::bytes(500), Format::bytes(3000)));
            m_core->workGate.release(stopAfter);
            QTRY_COMPARE(m_core->copying.load(), stopAfter + 1); // the next item is in hand
            QVERIFY(m_model->isStoppable());
            m_model->stopCurrent();
            m_core->workGate.release();
        }
        QVERIFY(wait(moved));
        QCOMPARE(busyTexts.value(0), busy);
        QCOMPARE(m_model->toast()->text, text);
        QVERIFY(!m_model->toast()->isError && !m_model->isStoppable());
        // Scanned again, so the moved entries come back listed at their links.
        QCOMPARE(m_core->scans, scans + (stopAfter == 0 ? 0 : 1));
    }

    void moveBackTexts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << 1 << QStringLiteral("Moved a model back");
        QTest::newRow("three") << 3 << QStringLiteral("Moved 3 items back");
        QTest::newRow("link re-pointed") << -1 << QStringLiteral("Could not move back ");
    }
    // Move Back asks nothing, brings the files home and says so in one toast.
    void moveBackTexts()
    {
        QFETCH(int, count);
        QFETCH(QString, text);
        QList<ModelEntry> models = publishFiles(std::abs(count));
        const QString archive = m_home->file(QStringLiteral("archive"));
        QVERIFY(QDir().mkpath(archive));
        for (ModelEntry& model : models) {
            const QString target = archive + u'/' + QFileInfo(model.primaryPath).fileName();
            QVERIFY(QFile::rename(model.primaryPath, target) &&
                    QFile::link(count < 0 ? archive : target, model.primaryPath));
            model.moved = {{model.primaryPath, target, true}};
        }
        m_core->canned = scanOf(models);
        QVERIFY(wait(m_model->rescan()));
        QVERIFY(wait(m_model->moveBack(models)));
        QVERIFY(m_dialogs.questions.isEmpty());
        QVERIFY2(m_model->toast()->text.startsWith(text), qPrintable(m_model->toast()->text));
        for (const ModelEntry& model : models)
            QCOMPARE(Fixtures::isSymlink(model.primaryPath), count < 0);
    }

    void removeFolder_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("rescans");
        QTest::newRow("longer sibling") << QStringLiteral("/Models/ab") << false;
        QTest::newRow("nested folder") << QStringLiteral("/Models/a/in") << true;
    }
    void removeFolder()
    {
        QFETCH(QString, other);
        QFETCH(bool, rescans);
        CustomFolders::add(QStringLiteral("/Models/a"));
        CustomFolders::add(other);
        ModelEntry a = entry(QStringLiteral("a"), QStringLiteral("/Models/a/x.gguf"));
        ModelEntry o = entry(QStringLiteral("o"), other + QStringLiteral("/y.gguf"));
        a.folderRoot = QStringLiteral("/Models/a/");
        o.folderRoot = other;
        a.source = o.source = ModelSource::custom;
        m_core->canned = scanOf({a, o});
        QVERIFY(wait(m_model->rescan()));
        m_core->holdScans = true;
        const QFuture<void> removed = m_model->removeFolder(QStringLiteral("/Models/a"));
        QTRY_COMPARE(m_model->customFolders(), QStringList{other});
        QCOMPARE(ids(m_model->scan()->models), QStringList{QStringLiteral("o")});
        QCOMPARE(removed.isFinished(), !rescans);
        m_core->gate.release();
        QVERIFY(wait(removed));
    }

    void addFolderSelectsWhatWasStored_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("toast");
        QTest::newRow("stored") << "stored" << QString();
        QTest::newRow("refused by the store") << "refused" << QString();
        QTest::newRow("list locked by another process")
            << "locked"
            << "Another Brimvale is changing the folder list — try again in a moment";
    }
    void addFolderSelectsWhatWasStored()
    {
        QFETCH(QString, kind);
        QFETCH(QString, toast);
        m_core->canned = scanOf({});
        m_core->refuseFolders = kind == u"refused";
        m_dialogs.folders = {m_home->file(QStringLiteral("mine"))};
        QProcess holder;
        if (kind == u"locked") {
            QVERIFY(QDir().mkpath(AppPaths::dataDir()));
            holder.start(u"flock"_s, {AppPaths::dataDir() + u"/custom_paths.json.lock"_s, u"-c"_s,
                                      u"echo held; sleep 120"_s});
            QVERIFY(holder.waitForReadyRead(30000));
        }
        const QFuture<void> added = m_model->addFolder();
        QVERIFY(!m_model->toast()); // the wait for the lock is not on this thread
        QVERIFY(wait(added));
        holder.kill();
        holder.waitForFinished();
        QCOMPARE(m_model->toast() ? m_model->toast()->text : QString(), toast);
        QCOMPARE(m_model->sidebar(), kind != u"stored"
                                         ? SidebarItem::all()
                                         : SidebarItem::ofFolder(m_dialogs.folders[0]));
    }

    void includeLooseStoresAndRescans()
    {
        m_core->canned = scanOf({});
        m_core->holdScans = true;
        const QFuture<void> scanned = m_model->rescan();
        QTRY_COMPARE(m_core->scans.load(), 1);
        m_model->setIncludeLoose(true);
        m_core->gate.release(2);
        QVERIFY(wait(scanned));
        QTRY_COMPARE(m_core->scans.load(), 2);
        QVERIFY(AppSettings::includeLoose());
    }

    void scanProgressText()
    {
        m_core->canned = scanOf({});
        m_core->holdScans = true;
        const QFuture<void> scanned = m_model->rescan();
        QTRY_VERIFY(m_core->progress.load());
        ScanProgress& progress = *m_core->progress;
        progress.sourcesTotal = 7;
        progress.sourcesDone = 3;
        progress.entriesWalked = 1234567;
        QTRY_COMPARE(m_model->scanProgressText(),
                     QStringLiteral("Scanning… 3 of 7 sources · 1,234,567 files"));
        progress.bytesToHash = 9'000'000'000;
        progress.bytesHashed = 2'000'000'000;
        QTRY_COMPARE(m_model->scanProgressText(),
                     QStringLiteral("Checking duplicates… %1 of %2")
                         .arg(Format::bytes(2'000'000'000), Format::bytes(9'000'000'000)));
        m_core->gate.release();
        QVERIFY(wait(scanned));
        QVERIFY(m_model->scanProgressText().isEmpty());
    }

    void trashConfirmation_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("held");
        QTest::newRow("a risky entry holds back all, asking nothing") << "risky" << true;
        QTest::newRow("Ollama started since the scan") << "running" << true;
        QTest::newRow("Ollama still stopped") << "stopped" << false;
        QTest::newRow("a blob is no tag: no probe") << "blob" << false;
    }
    void trashConfirmation()
    {
        QFETCH(QString, kind);
        QFETCH(bool, held);
        QList<ModelEntry> models = publishFiles(2);
        models[1].source = ModelSource::ollama;
        if (kind != u"blob")
            models[1].kind = ModelEntry::Kind::ollamaTag;
        if (kind == u"risky")
            models[0].deleteRisk = DeleteRisk::risky;
        m_core->canned = scanOf(models);
        QVERIFY(wait(m_model->rescan()));
        m_core->ollama = kind != u"stopped";
        const QFuture<void> done = m_model->requestTrash(models);
        QCOMPARE(m_model->busyMessage() == u"Checking whether Ollama is running…"_s,
                 kind == u"running" || kind == u"stopped");
        QVERIFY(wait(done));
        QCOMPARE(m_model->pendingRiskyTrash(), held ? std::optional(models) : std::nullopt);
        QCOMPARE(QFile::exists(models[1].primaryPath), held);
    }

    void busyIsCounted()
    {
        m_core->canned = scanOf({});
        m_core->holdWork = true;
        const QFuture<void> trashed =
            m_model->trash({entry(QStringLiteral("a"), QStringLiteral("/x/a"))});
        m_model->showToast(QStringLiteral("t"), false, {QStringLiteral("id")});
        const QFuture<void> undone = m_model->undo(); // runs although a trash is busy
        QTRY_COMPARE(m_core->restores.load(), 1);
        QVERIFY(m_model->deletePermanently({QStringLiteral("id")}).isFinished());
        QCOMPARE(m_core->deletes.load(), 0);
        m_core->workGate.release();
        QTRY_VERIFY(m_model->toast()); // one of the two has ended
        QVERIFY(m_model->busyMessage());
        m_core->workGate.release();
        QVERIFY(wait(trashed) && wait(undone));
        QVERIFY(!m_model->busyMessage());
    }

    void laterTrashLoadWins()
    {
        TrashEntry older;
        TrashEntry newer;
        older.id = QStringLiteral("older");
        newer.id = QStringLiteral("newer");
        m_core->listed = QList<TrashEntry>{older};
        m_core->listHolds = 1;
        const QFuture<void> first = m_model->reloadTrash();
        QTRY_COMPARE(m_core->listHolds.load(), 0); // the first load has read and waits
        {
            const std::lock_guard lock(m_core->mutex);
            m_core->listed = QList<TrashEntry>{newer};
        }
        const QFuture<void> second = m_model->reloadTrash();
        m_core->workGate.release();
        QVERIFY(wait(first) && wait(second));
        QCOMPARE(m_model->trashEntries(), QList<TrashEntry>{newer});
    }

    void loneSurvivorRescans_data()
    {
        QTest::addColumn<bool>("duplicate");
        QTest::newRow("duplicate trashed") << true;
        QTest::newRow("plain entry trashed") << false;
    }
    void loneSurvivorRescans()
    {
        QFETCH(bool, duplicate);
        QList<ModelEntry> models = publishFiles(2);
        models[0].isDuplicate = models[1].isDuplicate = duplicate;
        m_core->canned = scanOf(models);
        QVERIFY(wait(m_model->rescan()));
        const int before = m_core->scans;
        QVERIFY(wait(m_model->trash({models[0]})));
        QCOMPARE(m_core->scans - before, duplicate ? 1 : 0);
    }

    void hangingUpdateCheckLeavesModelResponsive()
    {
        m_core->holdUpdate = true;
        m_core->holdScans = true;
        m_core->canned = scanOf({});
        const QFuture<void> started = m_model->start();
        QTRY_COMPARE(m_core->scans.load(), 1);
        QVERIFY(wait(m_model->reloadTrash())); // beside the hanging check and a running scan
        m_core->gate.release();
        QVERIFY(wait(started));
        QVERIFY(!m_core->updateReturned);
        QVERIFY(!m_model->update() && !m_model->toast());
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
};

QTEST_GUILESS_MAIN(AppModelActionsTest)
#include "tst_appmodelactions.moc"

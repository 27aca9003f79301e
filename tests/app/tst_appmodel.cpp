#include "AppModelRig.h"
#include "app/JobRunner.h"

#include <QThread>

using namespace AppModelFixtures;
using namespace Qt::StringLiterals;

// The model's state, scanning, search, sorting and selection; the job runner; freeing
// duplicates in place (what it works out and asks, the run with its busy text and its one
// toast, and the duplicate groups it plans from).
class AppModelTest : public QObject, private AppModelFixtures::AppModelRig
{
    Q_OBJECT

private:
    static constexpr qint64 gb = 1'000'000'000;

    // a, b and c hold one content, in a published scan with their group; the canned plan and
    // dry run free b's and c's copies against a's, 1 GB each.
    QList<ModelEntry> publishCopies()
    {
        QList<ModelEntry> models;
        DuplicateGroup group{QStringLiteral("h"), gb, {}};
        for (const QString& id : {u"a"_qs, u"b"_qs, u"c"_qs}) {
            models << entry(id, QStringLiteral("/m/") + id, gb);
            group.copies << DuplicateCopy{models.last().primaryPath, {}, {}, {id}};
        }
        ScanResult scan = scanOf(models);
        scan.duplicateGroups = {group};
        m_core->canned = scan;
        (void)wait(m_model->rescan());
        for (const ModelEntry& copy : models.mid(1)) {
            m_core->plan.items << DedupeItem{copy.id, copy.primaryPath, {}, models[0].primaryPath,
                                             {},      group.hash};
            m_core->dryRun.files << DedupedFile{
                copy.id, copy.primaryPath, models[0].primaryPath, gb, false, {}};
        }
        m_core->freed = m_core->dryRun;
        return models;
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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

    // The runner behind every background task: what it hands to the GUI thread, and when.
    void jobRunner_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<QString>("delivered");
        QTest::newRow("runs off the GUI thread") << "thread"
                                                 << "pool";
        QTest::newRow("a failure is delivered and ends busy") << "throws"
                                                              << "Unexpected error: boom";
        QTest::newRow("a stale result is never delivered") << "stale"
                                                           << "stale";
    }
    void jobRunner()
    {
        QFETCH(QString, work);
        QFETCH(QString, delivered);
        JobRunner runner;
        JobRunner::Generation generation;
        QSemaphore gate;
        QStringList got;
        JobRunner::Options options;
        options.busy = u"Working…"_s;
        options.generation = &generation;
        options.stale = [&] { got << u"stale"_s; };
        QThread* const gui = QThread::currentThread();
        runner.run(
            options,
            [&gate, work, gui](const JobRunner::Context&) {
                gate.acquire();
                if (work == u"throws")
                    throw std::runtime_error("boom");
                return QThread::currentThread() == gui ? u"GUI"_s : u"pool"_s;
            },
            [&](JobRunner::Outcome<QString>&& outcome) {
                QCOMPARE(QThread::currentThread(), gui);
                got << outcome.value.value_or(outcome.failure);
            });
        QCOMPARE(runner.busyText(), u"Working…"_s);
        if (work == u"stale")
            generation.advance();
        gate.release();
        QTRY_VERIFY(!runner.busyText());
        QCOMPARE(got, QStringList{delivered});
    }

    // What it asks (the dry run's hard-link need told), then the run with its busy text and its
    // one toast; a declined question runs nothing.
    void freeDuplicates_data()
    {
        QTest::addColumn<bool>("shareable");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<bool>("skipped");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("text");
        QTest::newRow("blocks shared, declined")
            << true << false << false << QString() << QString() << false << QString();
        QTest::newRow("hard links only, declined")
            << false << false << false << QString() << QString() << false << QString();
        QTest::newRow("all freed")
            << false << true << false << QString() << QString() << false << "Freed 2 GB";
        QTest::newRow("a skipped file leads, the rest freed")
            << false << true << true << QString() << QString() << false << "Freed 2 GB";
        QTest::newRow("one refused")
            << false << true << true << "Changed since the scan" << QString() << false
            << "Freed 1 GB of 2 GB. Changed since the scan";
        QTest::newRow("the run's error comes first")
            << false << true << false << "Changed since the scan"
            << "Another Brimvale is freeing space" << false
            << "Freed 1 GB of 2 GB. Another Brimvale is freeing space";
        QTest::newRow("stopped") << false << true << false << "Not started" << QString() << true
                                 << "Freed 1 GB of 2 GB. Stopped";
    }
    void freeDuplicates()
    {
        QFETCH(bool, shareable);
        QFETCH(bool, confirmed);
        QFETCH(bool, skipped);
        QFETCH(QString, refused);
        QFETCH(QString, error);
        QFETCH(bool, stop);
        QFETCH(QString, text);
        m_model->setToastTimer([](std::chrono::milliseconds, std::function<void()>) {});
        const QList<ModelEntry> models = publishCopies();
        if (skipped) {
            const DedupedFile lone{u"d"_s, u"/m/d"_s, {}, 0, false, u"No copy elsewhere"_s};
            m_core->plan.skipped = {lone};
            m_core->dryRun.files.prepend(lone);
            m_core->freed.files.prepend(lone);
        }
        if (!refused.isEmpty()) {
            m_core->freed.files.last().reason = refused;
            m_core->freed.files.last().bytesShared = 0;
        }
        if (!error.isEmpty())
            m_core->freed.error = error;
        if (!shareable)
            m_core->noSharing = {models[2].primaryPath};
        m_core->holdWork = true;
        QStringList busy; // the check may end before the next line runs
        connect(m_model.get(), &AppModel::busyMessageChanged, this,
                [&] { busy << m_model->busyMessage().value_or(QString()); });
        const QFuture<void> done = m_model->freeDuplicates(models.mid(1));
        QTRY_COMPARE(m_dialogs.questions.size(), 1);
        QCOMPARE(busy, (QStringList{u"Checking what can be freed…"_s, QString()}));
        const QString once = u"Both copies stay where they are and keep working; the disk "
                             u"stores their data once."_s;
        const QString links = u" On this drive the copy is replaced by a hard link to the one "
                              u"that stays, so both paths show one file."_s;
        QCOMPARE(m_dialogs.questions[0],
                 (Dialogs::Question{u"Free 2 GB by sharing identical data?"_s,
                                    shareable ? once : once + links, u"Free Space"_s}));
        QCOMPARE(m_core->plannedFrom->duplicateGroups, m_model->scan()->duplicateGroups);
        QSignalSpy toasts(m_model.get(), &AppModel::toastChanged);
        const int scans = m_core->scans;
        m_dialogs.answer(confirmed);
        if (confirmed) {
            QCOMPARE(m_model->busyMessage(), u"Freeing duplicates…"_s);
            QVERIFY(m_model->isStoppable());
            QTRY_COMPARE(m_core->dedupes.load(), 1);
        }
        if (stop)
            m_model->stopCurrent();
        m_core->workGate.release();
        QVERIFY(wait(done));
        QVERIFY(!m_model->busyMessage() && !m_model->isStoppable());
        QCOMPARE(m_core->dedupes.load(), confirmed ? 1 : 0);
        QCOMPARE(toasts.count(), confirmed ? 1 : 0);
        QCOMPARE(m_model->toast() ? m_model->toast()->text : QString(), text);
        QCOMPARE(m_model->toast() && m_model->toast()->isError, text.contains(u". "));
        QCOMPARE(m_core->hardLinks, QList<bool>(confirmed ? 2 : 1, !shareable));
        QCOMPARE(m_core->scans - scans, confirmed ? 1 : 0);
    }

    void nothingToFreeIsAToast_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("error");
        QTest::newRow("first skip reason") << "Already stored once with another copy"
                                           << "Stopped";
        QTest::newRow("the run refused") << QString() << "Another Brimvale is freeing space";
    }
    void nothingToFreeIsAToast()
    {
        QFETCH(QString, reason);
        QFETCH(QString, error);
        const QList<ModelEntry> models = publishCopies();
        m_core->dryRun.files.clear();
        if (!reason.isEmpty())
            for (const QString& path : {models[1].primaryPath, models[2].primaryPath})
                m_core->dryRun.files << DedupedFile{{}, path, {}, 0, false, reason + path};
        m_core->dryRun.error = error;
        QVERIFY(wait(m_model->freeDuplicates(models.mid(1))));
        QVERIFY(m_dialogs.questions.isEmpty());
        QCOMPARE(m_model->toast()->text, reason.isEmpty() ? error : reason + models[1].primaryPath);
        QCOMPARE(m_core->dedupes.load(), 0);
    }

    void duplicateGroupsFollowTheScan()
    {
        const QList<ModelEntry> models = publishCopies();
        const ScanResult withGroups = *m_core->canned;
        m_core->canned->duplicateGroups.clear();
        QVERIFY(wait(m_model->rescan()));
        QVERIFY(m_model->scan()->duplicateGroups.isEmpty());
        m_core->canned = withGroups;
        QVERIFY(wait(m_model->rescan()));
        m_model->removeFromScan({models[0].id}); // a's copy may be gone
        QCOMPARE(m_model->scan()->duplicateGroups[0].copies.size(), 2);
    }
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "tst_appmodel.moc"

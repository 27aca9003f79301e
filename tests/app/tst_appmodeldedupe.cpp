#include "AppModelRig.h"

using namespace AppModelFixtures;

// Freeing duplicates in place from the application model: what it works out and asks, the run
// with its busy text and its one toast, and the duplicate groups it plans from.
class AppModelDedupeTest : public QObject, private AppModelFixtures::AppModelRig
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

    void freeDuplicatesAsks_data()
    {
        QTest::addColumn<bool>("shareable");
        QTest::addColumn<QString>("message");
        const QString once = QStringLiteral("Both copies stay where they are and keep working; "
                                            "the disk stores their data once.");
        QTest::newRow("blocks shared") << true << once;
        QTest::newRow("hard links only")
            << false
            << once + QStringLiteral(" On this drive the copy is replaced by a hard link to the "
                                     "one that stays, so both paths show one file.");
    }
    void freeDuplicatesAsks()
    {
        QFETCH(bool, shareable);
        QFETCH(QString, message);
        const QList<ModelEntry> models = publishCopies();
        if (!shareable)
            m_core->noSharing = {models[2].primaryPath};
        const int scans = m_core->scans;
        QStringList busy; // the check may end before the next line runs
        connect(m_model.get(), &AppModel::busyMessageChanged, this,
                [&] { busy << m_model->busyMessage().value_or(QString()); });
        const QFuture<void> done = m_model->freeDuplicates(models.mid(1));
        QTRY_COMPARE(m_dialogs.questions.size(), 1);
        QCOMPARE(busy, (QStringList{QStringLiteral("Checking what can be freed…"), QString()}));
        QCOMPARE(m_dialogs.questions[0],
                 (Dialogs::Question{QStringLiteral("Free 2 GB by sharing identical data?"), message,
                                    QStringLiteral("Free Space")}));
        QCOMPARE(m_core->hardLinks, QList<bool>{!shareable}); // the dry run's
        QCOMPARE(m_core->plannedFrom->duplicateGroups, m_model->scan()->duplicateGroups);
        m_dialogs.answer(false);
        QVERIFY(wait(done));
        QCOMPARE(m_core->dedupes.load(), 0);
        QVERIFY(!m_model->toast() && !m_model->busyMessage());
        QCOMPARE(m_core->scans.load(), scans);
    }

    void freeDuplicatesToasts_data()
    {
        QTest::addColumn<bool>("skipped");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("text");
        QTest::newRow("all freed") << false << QString() << QString() << false << "Freed 2 GB";
        QTest::newRow("a skipped file leads, the rest freed")
            << true << QString() << QString() << false << "Freed 2 GB";
        QTest::newRow("one refused") << true << "Changed since the scan" << QString() << false
                                     << "Freed 1 GB of 2 GB. Changed since the scan";
        QTest::newRow("the run's error comes first")
            << false << "Changed since the scan"
            << "Another Brimvale is freeing space" << false
            << "Freed 1 GB of 2 GB. Another Brimvale is freeing space";
        QTest::newRow("stopped") << false << "Not started" << QString() << true
                                 << "Freed 1 GB of 2 GB. Stopped";
    }
    void freeDuplicatesToasts()
    {
        QFETCH(bool, skipped);
        QFETCH(QString, refused);
        QFETCH(QString, error);
        QFETCH(bool, stop);
        QFETCH(QString, text);
        m_model->setToastTimer([](std::chrono::milliseconds, std::function<void()>) {});
        const QList<ModelEntry> models = publishCopies();
        if (skipped) {
            const DedupedFile lone{QStringLiteral("d"),
                                   QStringLiteral("/m/d"),
                                   {},
                                   0,
                                   false,
                                   QStringLiteral("No copy of this model elsewhere")};
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
        m_core->noSharing = {models[1].primaryPath};
        m_core->holdWork = true;
        const QFuture<void> done = m_model->freeDuplicates(models.mid(1));
        QTRY_COMPARE(m_dialogs.questions.size(), 1);
        QSignalSpy toasts(m_model.get(), &AppModel::toastChanged);
        const int scans = m_core->scans;
        m_dialogs.answer(true);
        QCOMPARE(m_model->busyMessage(), QStringLiteral("Freeing duplicates…"));
        QVERIFY(m_model->isStoppable());
        QTRY_COMPARE(m_core->dedupes.load(), 1);
        if (stop)
            m_model->stopCurrent();
        m_core->workGate.release();
        QVERIFY(wait(done));
        QVERIFY(!m_model->busyMessage() && !m_model->isStoppable());
        QCOMPARE(toasts.count(), 1);
        QCOMPARE(m_model->toast()->text, text);
        QCOMPARE(m_model->toast()->isError, text.contains(u". "));
        QCOMPARE(m_core->hardLinks, (QList<bool>{true, true}));
        QCOMPARE(m_core->scans - scans, 1);
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

QTEST_GUILESS_MAIN(AppModelDedupeTest)
#include "tst_appmodeldedupe.moc"

#include "AppModelRig.h"
#include "app/JobRunner.h"

#include <QThread>

using namespace AppModelFixtures;
using namespace Qt::StringLiterals;

// The model's state, scanning, search, sorting and selection.
class AppModelTest : public QObject, private AppModelFixtures::AppModelRig
{
    Q_OBJECT

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

    // The runner behind every background task: what it hands to the GUI thread, and when.
    void jobRunner_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<QString>("delivered");
        QTest::newRow("runs off the GUI thread") << "thread" << "pool";
        QTest::newRow("a failure is delivered and ends busy") << "throws"
                                                              << "Unexpected error: boom";
        QTest::newRow("a stale result is never delivered") << "stale" << "stale";
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
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "tst_appmodel.moc"

// Kills `brimvale-cli move-back` with SIGKILL at random moments of bringing 20 items back from
// /dev/shm (another filesystem) and checks after every kill that nothing was lost: each old path
// is a link to the whole moved item, or the whole item back (its moved copy whole, or being
// deleted under its aside name); at most one partial copy stands beside the links. A rerun for
// the items still moved then brings every item back.
// BRIMVALE_MOVE_FAULT_KILLS sets the number of kills (20 by default).
#include "../core/MoveTestSupport.h"
#include "FaultSeed.h"
#include "scanners/MovedLink.h"
#include "services/MoveService.h"

using namespace MoveTestSupport;

class MoveBackFaultTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUp();
        m_home->setEnv("HF_HOME", QFile::encodeName(m_home->file(u"hf"_qs)));
        for (int i = 0; i < 20; ++i) { // sixteen files of a custom folder, four repositories
            const qint64 size = 1'000'000 + 100'000 * i;
            const QString id = i < 16 ? u"custom-m%1-%2"_qs.arg(i).arg(size)
                                      : u"hf-models--org--repo%1"_qs.arg(i - 16);
            const QString path = i < 16 ? m_source + u"/m%1.gguf"_qs.arg(i)
                                        : m_home->file(u"hf/hub/"_qs + id.mid(3));
            m_items.push_back({id, path, path.section(u'/', -1), {}});
        }
    }

    void cleanupTestCase() { tearDown(); }

    void killedMoveBackLosesNothing()
    {
        const int wantedKills = FaultSeed::kills("BRIMVALE_MOVE_FAULT_KILLS", 20);
        QStringList ids;
        for (const Item& item : std::as_const(m_items))
            ids.push_back(item.id);
        QRandomGenerator random = FaultSeed::generator("move-back");
        int kills = 0;
        for (int attempt = 0; kills < wantedKills && attempt < wantedKills * 4; ++attempt) {
            const QString destination = m_second + u"/run%1"_qs.arg(attempt);
            const QString setUpProblem = setUpRun(destination);
            QVERIFY2(setUpProblem.isEmpty(), qPrintable(setUpProblem));
            const std::optional<qint64> delayUs = FaultSeed::killDelay(random, attempt, m_runUs);
            kills += runCli(ids, delayUs) ? 1 : 0;
            const QString problem = check(destination);
            QVERIFY2(problem.isEmpty(), FaultSeed::afterKill(delayUs, problem).constData());
            QStringList left;
            for (const Item& item : std::as_const(m_items))
                if (Fixtures::isSymlink(item.oldPath))
                    left.push_back(item.id);
            if (!left.isEmpty())
                runCli(left, std::nullopt);
            for (const Item& item : std::as_const(m_items))
                QVERIFY2(!Fixtures::isSymlink(item.oldPath) && treeOf(item.oldPath) == item.content,
                         qPrintable(u"not back after the rerun: "_qs + item.oldPath));
            std::error_code ignored;
            std::filesystem::remove_all(QFile::encodeName(destination).toStdString(), ignored);
        }
        qInfo("%d kills; the last whole run took %lld ms", kills, m_runUs / 1000);
        QVERIFY(kills >= wantedKills);
    }

private:
    struct Item
    {
        QString id;
        QString oldPath;
        QString name;
        Tree content;
    };

    // Fresh items, moved to the destination with links left: the state a move back starts from.
    QString setUpRun(const QString& destination)
    {
        for (const QString& folder : {u"models"_qs, u"hf"_qs})
            QDir(m_home->file(folder)).removeRecursively();
        QList<ModelEntry> entries;
        for (int i = 0; i < m_items.size(); ++i) {
            Item& item = m_items[i];
            if (i < 16) {
                Fixtures::writeFile(item.oldPath,
                                    Fixtures::headBytes(quint32(i + 1), 1'000'000 + 100'000 * i));
            } else {
                makeTree(item.oldPath, u"refs/main=abc;snapshots/abc/empty/;"
                                       "snapshots/abc/w.bin->../../blobs/b"_qs);
                Fixtures::writeFile(item.oldPath + u"/blobs/b"_qs,
                                    Fixtures::headBytes(quint32(100 + i), 900'000));
            }
            item.content = treeOf(item.oldPath);
            entries.push_back(entryWith({item.oldPath}));
        }
        QDir().mkpath(destination);
        const MoveOutcome moved = MoveService::move(entries, destination, true);
        return moved.succeeded() ? QString() : u"setting up: "_qs + *moved.error;
    }

    // Runs the CLI's move back of the ids, killing it after the delay when one is given (else
    // timing the whole run); whether it was killed while running.
    bool runCli(const QStringList& ids, std::optional<qint64> killAfterUs)
    {
        const FaultSeed::KilledRun run = FaultSeed::runCli(
            QStringList{u"move-back"_qs, u"--no-loose"_qs, u"--folder"_qs, m_source} + ids,
            killAfterUs);
        if (!killAfterUs) {
            m_runUs = std::max<qint64>(1, run.elapsedUs);
            if (run.exitCode != 0)
                qWarning("move-back failed: %s", run.err.constData());
        }
        return run.killed;
    }

    // An empty text when every rule holds, else what broke.
    QString check(const QString& destination) const
    {
        QStringList partials;
        for (const QString& parent : {m_source, m_home->file(u"hf/hub"_qs)})
            for (const QString& name : namesIn(parent).filter(u".brimvale-partial-"_qs))
                partials.push_back(parent + u'/' + name);
        if (partials.size() > 1)
            return u"several partial copies: "_qs + partials.join(u' ');
        for (const Item& item : m_items) {
            const QString moved = destination + u'/' + item.name;
            const Tree there = treeOf(moved);
            if (Fixtures::isSymlink(item.oldPath)) {
                if (linkTarget(item.oldPath) != moved || there != item.content)
                    return u"a link to no whole item: "_qs + item.oldPath;
            } else if (treeOf(item.oldPath) != item.content) {
                return u"not whole at its old path: "_qs + item.oldPath;
            } else if (!there.empty() && there != item.content) {
                return u"part of the moved item deleted under its name: "_qs + moved;
            }
        }
        return {};
    }

    QList<Item> m_items;
    qint64 m_runUs = 20'000; // the last whole run: kills follow the machine's load both ways
};

QTEST_GUILESS_MAIN(MoveBackFaultTest)
#include "tst_movebackfault.moc"

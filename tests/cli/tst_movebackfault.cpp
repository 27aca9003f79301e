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

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

using namespace MoveTestSupport;

class MoveBackFaultTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { tearDown(); }
    void killedMoveBackLosesNothing();

private:
    struct Item
    {
        QString id;
        QString oldPath;
        QString name;
        Tree content;
    };

    QString setUpRun(const QString& destination);
    bool runCli(const QStringList& ids, std::optional<qint64> killAfterUs);
    QString check(const QString& destination) const;

    QList<Item> m_items;
    qint64 m_runMs = 20; // the last whole run: kills follow the machine's load both ways
};

void MoveBackFaultTest::initTestCase()
{
    setUp();
    m_home->setEnv("HF_HOME", QFile::encodeName(m_home->file(QStringLiteral("hf"))));
    for (int i = 0; i < 20; ++i) { // sixteen files of a custom folder, four repositories
        const qint64 size = 1'000'000 + 100'000 * i;
        const QString id = i < 16 ? QStringLiteral("custom-m%1-%2").arg(i).arg(size)
                                  : QStringLiteral("hf-models--org--repo%1").arg(i - 16);
        const QString path = i < 16 ? m_source + QStringLiteral("/m%1.gguf").arg(i)
                                    : m_home->file(QStringLiteral("hf/hub/") + id.mid(3));
        m_items.push_back({id, path, path.section(u'/', -1), {}});
    }
}

// Fresh items, moved to the destination with links left: the state a move back starts from.
QString MoveBackFaultTest::setUpRun(const QString& destination)
{
    for (const QString& folder : {QStringLiteral("models"), QStringLiteral("hf")})
        QDir(m_home->file(folder)).removeRecursively();
    QList<ModelEntry> entries;
    for (int i = 0; i < m_items.size(); ++i) {
        Item& item = m_items[i];
        if (i < 16) {
            Fixtures::writeFile(item.oldPath,
                                Fixtures::headBytes(quint32(i + 1), 1'000'000 + 100'000 * i));
        } else {
            makeTree(item.oldPath, QStringLiteral("refs/main=abc;snapshots/abc/empty/;"
                                                  "snapshots/abc/w.bin->../../blobs/b"));
            Fixtures::writeFile(item.oldPath + QStringLiteral("/blobs/b"),
                                Fixtures::headBytes(quint32(100 + i), 900'000));
        }
        item.content = treeOf(item.oldPath);
        entries.push_back(entryWith({item.oldPath}));
    }
    QDir().mkpath(destination);
    const MoveOutcome moved = MoveService::move(entries, destination, true);
    return moved.succeeded() ? QString() : QStringLiteral("setting up: ") + *moved.error;
}

// Runs the CLI's move back of the ids, killing it after the delay when one is given (else timing
// the whole run); whether it was killed while running.
bool MoveBackFaultTest::runCli(const QStringList& ids, std::optional<qint64> killAfterUs)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(BRIMVALE_CLI_PATH),
                  QStringList{QStringLiteral("move-back"), QStringLiteral("--no-loose"),
                              QStringLiteral("--folder"), m_source} +
                      ids);
    bool killed = false;
    if (killAfterUs && process.waitForStarted()) {
        QThread::usleep(static_cast<unsigned long>(*killAfterUs));
        killed = process.state() == QProcess::Running;
        process.kill();
    }
    process.waitForFinished(300000);
    if (!killAfterUs) {
        m_runMs = std::max<qint64>(1, clock.elapsed());
        if (process.exitCode() != 0)
            qWarning("move-back failed: %s", process.readAllStandardError().constData());
    }
    return killed && process.exitStatus() == QProcess::CrashExit;
}

// An empty text when every rule holds, else what broke.
QString MoveBackFaultTest::check(const QString& destination) const
{
    QStringList partials;
    for (const QString& parent : {m_source, m_home->file(QStringLiteral("hf/hub"))})
        for (const QString& name : namesIn(parent).filter(QStringLiteral(".brimvale-partial-")))
            partials.push_back(parent + u'/' + name);
    if (partials.size() > 1)
        return QStringLiteral("several partial copies: ") + partials.join(u' ');
    for (const Item& item : m_items) {
        const QString moved = destination + u'/' + item.name;
        const Tree there = treeOf(moved);
        if (Fixtures::isSymlink(item.oldPath)) {
            if (linkTarget(item.oldPath) != moved || there != item.content)
                return QStringLiteral("a link to no whole item: ") + item.oldPath;
        } else if (treeOf(item.oldPath) != item.content) {
            return QStringLiteral("not whole at its old path: ") + item.oldPath;
        } else if (!there.empty() && there != item.content) {
            return QStringLiteral("part of the moved item deleted under its name: ") + moved;
        }
    }
    return {};
}

void MoveBackFaultTest::killedMoveBackLosesNothing()
{
    const int wantedKills = qEnvironmentVariableIsSet("BRIMVALE_MOVE_FAULT_KILLS")
                                ? qEnvironmentVariableIntValue("BRIMVALE_MOVE_FAULT_KILLS")
                                : 20;
    QStringList ids;
    for (const Item& item : std::as_const(m_items))
        ids.push_back(item.id);
    QRandomGenerator random = FaultSeed::generator("move-back");
    int kills = 0;
    for (int attempt = 0; kills < wantedKills && attempt < wantedKills * 4; ++attempt) {
        const QString destination = m_second + QStringLiteral("/run%1").arg(attempt);
        const QString setUpProblem = setUpRun(destination);
        QVERIFY2(setUpProblem.isEmpty(), qPrintable(setUpProblem));
        const std::optional<qint64> delayUs =
            attempt % 10 < 2 ? std::nullopt
                             : std::optional<qint64>(random.bounded(double(m_runMs) * 1100.0));
        kills += runCli(ids, delayUs) ? 1 : 0;
        QString problem = check(destination);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("after a kill at %1 ms: %2")
                                                   .arg(double(delayUs.value_or(-1)) / 1000.0)
                                                   .arg(problem)));
        QStringList left;
        for (const Item& item : std::as_const(m_items))
            if (Fixtures::isSymlink(item.oldPath))
                left.push_back(item.id);
        if (!left.isEmpty())
            runCli(left, std::nullopt);
        for (const Item& item : std::as_const(m_items))
            QVERIFY2(!Fixtures::isSymlink(item.oldPath) && treeOf(item.oldPath) == item.content,
                     qPrintable(QStringLiteral("not back after the rerun: ") + item.oldPath));
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(destination).toStdString(), ignored);
    }
    qInfo("%d kills; the last whole run took %lld ms", kills, m_runMs);
    QVERIFY(kills >= wantedKills);
}

QTEST_GUILESS_MAIN(MoveBackFaultTest)
#include "tst_movebackfault.moc"

// Kills `brimvale-cli move` with SIGKILL at random moments of a move from the temporary home to
// /dev/shm (another filesystem) and checks after every kill that nothing was lost: each item is
// whole at its old path, or whole at the destination with a link or nothing at the old path;
// the leftovers of an interrupted item are at most one partial copy and one set-aside source.
// BRIMVALE_MOVE_FAULT_KILLS sets the number of kills (20 by default).
#include "../core/MoveTestSupport.h"
#include "FaultSeed.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

using namespace MoveTestSupport;

class MoveFaultTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { tearDown(); }
    void killedMoveLosesNothing();

private:
    struct Item
    {
        QString oldPath;
        QString name;
        Tree content;
    };

    QString moveAll(const QString& destination, std::optional<qint64> killAfterUs, bool& killed);
    QString check(const QString& destination) const;

    QStringList m_ids;
    QList<Item> m_items;
    qint64 m_runMs = 20; // the last whole run: kills follow the machine's load both ways
};

void MoveFaultTest::initTestCase()
{
    setUp();
    m_home->setEnv("HF_HOME", QFile::encodeName(m_home->file(QStringLiteral("hf"))));
    for (int i = 0; i < 8; ++i) { // five files of a custom folder, three Hugging Face repositories
        m_ids.push_back(i < 5 ? QStringLiteral("custom-m%1-%2").arg(i).arg(1'500'000 + 400'000 * i)
                              : QStringLiteral("hf-models--org--repo%1").arg(i - 5));
        const QString path = i < 5 ? m_source + QStringLiteral("/m%1.gguf").arg(i)
                                   : m_home->file(QStringLiteral("hf/hub/") + m_ids[i].mid(3));
        m_items.push_back({path, path.section(u'/', -1), {}});
    }
}

// Moves every item from fresh sources, killing the CLI after the delay when one is given (else
// timing the whole run), and tells what broke (empty when nothing did).
QString MoveFaultTest::moveAll(const QString& destination, std::optional<qint64> killAfterUs,
                               bool& killed)
{
    for (const QString& folder : {QStringLiteral("models"), QStringLiteral("hf")})
        QDir(m_home->file(folder)).removeRecursively();
    for (int i = 0; i < 5; ++i)
        Fixtures::writeFile(m_items[i].oldPath,
                            Fixtures::headBytes(quint32(i + 1), 1'500'000 + 400'000 * i));
    for (int r = 0; r < 3; ++r) { // blobs, snapshot links to them, a ref and an empty folder
        QString tree = QStringLiteral("refs/main=abc;snapshots/abc/empty/");
        for (int b = 0; b < 3; ++b) {
            Fixtures::writeFile(m_items[5 + r].oldPath + QStringLiteral("/blobs/blob%1").arg(b),
                                Fixtures::headBytes(quint32(100 + r * 10 + b), 700'000 * (b + 1)));
            tree += QStringLiteral(";snapshots/abc/file%1.bin->../../blobs/blob%1").arg(b);
        }
        makeTree(m_items[5 + r].oldPath, tree);
    }
    for (Item& item : m_items)
        item.content = treeOf(item.oldPath);
    QDir().mkpath(destination);
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(BRIMVALE_CLI_PATH),
                  QStringList{QStringLiteral("move"), QStringLiteral("--no-loose"),
                              QStringLiteral("--folder"), m_source, QStringLiteral("--to"),
                              destination} +
                      m_ids);
    if (killAfterUs && process.waitForStarted()) {
        QThread::usleep(static_cast<unsigned long>(*killAfterUs));
        killed = process.state() == QProcess::Running;
        process.kill();
    }
    process.waitForFinished(300000);
    killed = killed && process.exitStatus() == QProcess::CrashExit;
    if (!killAfterUs)
        m_runMs = std::max<qint64>(1, clock.elapsed());
    QString problem = !killAfterUs && process.exitCode() != 0
                          ? QStringLiteral("a move without a kill failed: ") +
                                QString::fromUtf8(process.readAllStandardError())
                          : check(destination);
    for (const Item& item : m_items)
        if (!killAfterUs && problem.isEmpty() && !Fixtures::isSymlink(item.oldPath))
            problem = QStringLiteral("not moved: ") + item.oldPath;
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(destination).toStdString(), ignored);
    return problem;
}

// An empty text when every rule holds after a kill, else what broke.
QString MoveFaultTest::check(const QString& destination) const
{
    QStringList expectedNames = namesIn(destination).filter(QStringLiteral(".brimvale-partial-"));
    if (expectedNames.size() > 1)
        return QStringLiteral("several partial copies: ") + expectedNames.join(u' ');
    QStringList asides;
    for (const QString& parent : {m_source, m_home->file(QStringLiteral("hf/hub"))})
        for (const QString& name : namesIn(parent).filter(QStringLiteral(".brimvale-moved-")))
            asides.push_back(parent + u'/' + name);
    if (asides.size() > 1)
        return QStringLiteral("several set-aside sources: ") + asides.join(u' ');
    for (const Item& item : m_items)
        expectedNames.push_back(item.name);
    for (const QString& name : namesIn(destination))
        if (!expectedNames.contains(name))
            return QStringLiteral("stray entry in the destination: ") + name;

    for (const Item& item : m_items) {
        const QString moved = destination + u'/' + item.name;
        const Tree there = treeOf(moved);
        const bool movedWhole = there == item.content;
        const QString aside =
            item.oldPath.section(u'/', 0, -2) + QStringLiteral("/.brimvale-moved-") + item.name;
        const Tree here = treeOf(item.oldPath);
        if (!there.empty() && !movedWhole)
            return QStringLiteral("incomplete item at its final name: ") + moved;
        if (!movedWhole &&
            (asides.contains(aside) || here.empty() || Fixtures::isSymlink(item.oldPath)))
            return QStringLiteral("gone from its old path before it was whole: ") + item.oldPath;
        if (Fixtures::isSymlink(item.oldPath) ? linkTarget(item.oldPath) != moved
                                              : !here.empty() && here != item.content)
            return QStringLiteral("changed at its old path: ") + item.oldPath;
    }
    return {};
}

void MoveFaultTest::killedMoveLosesNothing()
{
    const int wantedKills = qEnvironmentVariableIsSet("BRIMVALE_MOVE_FAULT_KILLS")
                                ? qEnvironmentVariableIntValue("BRIMVALE_MOVE_FAULT_KILLS")
                                : 20;
    // Whole runs (two of every ten) tell how long a move takes as the machine's load changes;
    // kills are spread over that time.
    QRandomGenerator random = FaultSeed::generator("move");
    int kills = 0;
    for (int attempt = 0; kills < wantedKills && attempt < wantedKills * 4; ++attempt) {
        bool killed = false;
        const std::optional<qint64> delayUs =
            attempt % 10 < 2 ? std::nullopt
                             : std::optional<qint64>(random.bounded(double(m_runMs) * 1100.0));
        const QString problem =
            moveAll(m_second + QStringLiteral("/run%1").arg(attempt), delayUs, killed);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("after a kill at %1 ms: %2")
                                                   .arg(double(delayUs.value_or(-1)) / 1000.0)
                                                   .arg(problem)));
        kills += killed ? 1 : 0;
    }
    qInfo("%d kills; the last whole run took %lld ms", kills, m_runMs);
    QVERIFY(kills >= wantedKills);
}

QTEST_GUILESS_MAIN(MoveFaultTest)
#include "tst_movefault.moc"

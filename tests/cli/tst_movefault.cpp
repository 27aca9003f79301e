// Kills `brimvale-cli move` with SIGKILL at random moments of a move from the temporary home to
// /dev/shm (another filesystem) and checks after every kill that nothing was lost: each item is
// whole at its old path, or whole at the destination with a link or nothing at the old path;
// the leftovers of an interrupted item are at most one partial copy and one set-aside source.
// BRIMVALE_MOVE_FAULT_KILLS sets the number of kills (20 by default).
#include "../core/MoveTestSupport.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

using namespace MoveTestSupport;

namespace {

QStringList namesWithPrefix(const QString& folder, const QString& prefix)
{
    return QDir(folder).entryList({prefix + u'*'}, QDir::AllEntries | QDir::Hidden | QDir::System);
}

struct Item
{
    QString oldPath;
    QString name;
    Tree content;
};

} // namespace

class MoveFaultTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUp();
        m_home->setEnv("HF_HOME", QFile::encodeName(m_home->file(QStringLiteral("hf"))));
    }
    void cleanupTestCase() { tearDown(); }
    void killedMoveLosesNothing();

private:
    void makeSources(); // a fresh source tree under the home, the same ids every time
    QString check(const QString& destination) const;
    QString moveAll(const QString& destination, std::optional<qint64> killAfterUs, bool& killed);

    QStringList m_ids;
    QList<Item> m_items;
    qint64 m_runMs = 20; // the longest whole run measured so far
};

void MoveFaultTest::makeSources()
{
    for (const QString& folder : {QStringLiteral("models"), QStringLiteral("hf")})
        QDir(m_home->file(folder)).removeRecursively();
    // File entries of a custom folder.
    for (int i = 0; i < 5; ++i)
        QVERIFY(Fixtures::writeFile(m_source + QStringLiteral("/m%1.gguf").arg(i),
                                    Fixtures::headBytes(quint32(i + 1), 1'500'000 + 400'000 * i)));
    // Folder entries: Hugging Face repositories with blobs, snapshot links and a ref.
    for (int r = 0; r < 3; ++r) {
        const QString repo = m_home->file(QStringLiteral("hf/hub/models--org--repo%1").arg(r));
        QStringList tree{QStringLiteral("refs/main=abc"), QStringLiteral("snapshots/abc/empty/")};
        for (int b = 0; b < 3; ++b) {
            QVERIFY(Fixtures::writeFile(
                repo + QStringLiteral("/blobs/blob%1").arg(b),
                Fixtures::headBytes(quint32(100 + r * 10 + b), 700'000 + 300'000 * b)));
            tree.push_back(QStringLiteral("snapshots/abc/file%1.bin->../../blobs/blob%1").arg(b));
        }
        QVERIFY(Fixtures::makeTree(repo, tree));
    }
}

// An empty text when every rule holds after a kill, else what broke.
QString MoveFaultTest::check(const QString& destination) const
{
    const QStringList partials = namesWithPrefix(destination, QStringLiteral(".brimvale-partial-"));
    if (partials.size() > 1)
        return QStringLiteral("several partial copies: ") + partials.join(u' ');
    QStringList asides;
    QStringList expectedNames = partials;
    for (const Item& item : m_items) {
        const QString parent = item.oldPath.left(item.oldPath.lastIndexOf(u'/'));
        for (const QString& name : namesWithPrefix(parent, QStringLiteral(".brimvale-moved-")))
            if (!asides.contains(parent + u'/' + name))
                asides.push_back(parent + u'/' + name);
        expectedNames.push_back(item.name);
    }
    if (asides.size() > 1)
        return QStringLiteral("several set-aside sources: ") + asides.join(u' ');
    for (const QString& name : namesIn(destination))
        if (!expectedNames.contains(name))
            return QStringLiteral("stray entry in the destination: ") + name;

    for (const Item& item : m_items) {
        const QString moved = destination + u'/' + item.name;
        const Tree there = treeOf(moved);
        const bool movedWhole = there == item.content;
        if (!there.empty() && !movedWhole)
            return QStringLiteral("incomplete item at its final name: ") + moved;
        const QString aside = item.oldPath.left(item.oldPath.lastIndexOf(u'/') + 1) +
                              QStringLiteral(".brimvale-moved-") + item.name;
        if (asides.contains(aside) && !movedWhole)
            return QStringLiteral("set aside without a whole copy: ") + aside;
        if (Fixtures::isSymlink(item.oldPath)) {
            if (linkTarget(item.oldPath) != moved || !movedWhole)
                return QStringLiteral("link to an incomplete item: ") + item.oldPath;
            continue;
        }
        const Tree here = treeOf(item.oldPath);
        if (here.empty() ? !movedWhole : here != item.content)
            return QStringLiteral("lost or changed at its old path: ") + item.oldPath;
    }
    return {};
}

// Moves every item from fresh sources, killing the CLI after the delay when one is given (else
// timing the whole run), and tells what broke (empty when nothing did).
QString MoveFaultTest::moveAll(const QString& destination, std::optional<qint64> killAfterUs,
                               bool& killed)
{
    makeSources();
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
        m_runMs = std::max(m_runMs, clock.elapsed());
    if (!killAfterUs && process.exitCode() != 0)
        return QStringLiteral("a move without a kill failed: ") +
               QString::fromUtf8(process.readAllStandardError());
    QString problem = check(destination);
    for (const Item& item : m_items)
        if (!killAfterUs && problem.isEmpty() && !Fixtures::isSymlink(item.oldPath))
            problem = QStringLiteral("not moved: ") + item.oldPath;
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(destination).toStdString(), ignored);
    return problem;
}

void MoveFaultTest::killedMoveLosesNothing()
{
    const int wantedKills = qEnvironmentVariableIsSet("BRIMVALE_MOVE_FAULT_KILLS")
                                ? qEnvironmentVariableIntValue("BRIMVALE_MOVE_FAULT_KILLS")
                                : 20;
    // Learn the ids and paths from a scan of the same tree.
    makeSources();
    QProcess scan;
    scan.start(QStringLiteral(BRIMVALE_CLI_PATH),
               {QStringLiteral("scan"), QStringLiteral("--json"), QStringLiteral("--no-loose"),
                QStringLiteral("--folder"), m_source});
    QVERIFY(scan.waitForFinished(120000));
    const QJsonArray models =
        QJsonDocument::fromJson(scan.readAllStandardOutput()).object().value(u"models").toArray();
    for (const QJsonValue& model : models) {
        m_ids.push_back(model.toObject().value(u"id").toString());
        for (const QJsonValue& path : model.toObject().value(u"allPaths").toArray())
            m_items.push_back({path.toString(), path.toString().section(u'/', -1), {}});
    }
    QCOMPARE(m_items.size(), 8); // five files and three repositories

    // Whole runs tell how long a move takes (the longest of them, measured again now and then as
    // the machine's load changes); kills are spread over that time.
    int kills = 0;
    for (int attempt = 0; kills < wantedKills && attempt < wantedKills * 4; ++attempt) {
        bool killed = false;
        const QString destination = m_second + QStringLiteral("/run%1").arg(attempt);
        const std::optional<qint64> delayUs =
            attempt % 10 < 2 ? std::nullopt
                             : std::optional<qint64>(
                                   QRandomGenerator::global()->bounded(double(m_runMs) * 1100.0));
        const QString problem = moveAll(destination, delayUs, killed);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("after a kill at %1 ms: %2")
                                                   .arg(double(delayUs.value_or(-1)) / 1000.0)
                                                   .arg(problem)));
        kills += killed ? 1 : 0;
    }
    qInfo("%d kills; a run takes up to %lld ms", kills, m_runMs);
    QVERIFY(kills >= wantedKills);
}

QTEST_GUILESS_MAIN(MoveFaultTest)
#include "tst_movefault.moc"

// Kills `brimvale-cli move` with SIGKILL at random moments of a move from the temporary home to
// /dev/shm (another filesystem) and checks after every kill that nothing was lost: each item is
// whole at its old path, or whole at the destination with a link or nothing at the old path;
// the leftovers of an interrupted item are at most one partial copy and one set-aside source.
// BRIMVALE_MOVE_FAULT_KILLS sets the number of kills (20 by default).
#include "Fixtures.h"
#include "TestHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <QUuid>
#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// What one entry of a tree holds: 'f' with a digest, 'd', or 'l' with a target.
struct Node
{
    char type = '?';
    QByteArray digest;
    std::string target;
    friend bool operator==(const Node&, const Node&) = default;
};
using Tree = std::map<std::string, Node>;

QByteArray digestOf(const fs::path& path)
{
    QFile file(QFile::decodeName(QByteArray::fromStdString(path.string())));
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result();
}

Node nodeOf(const fs::path& path)
{
    const fs::file_status status = fs::symlink_status(path);
    if (fs::is_symlink(status))
        return {'l', {}, fs::read_symlink(path).string()};
    if (fs::is_directory(status))
        return {'d', {}, {}};
    if (fs::is_regular_file(status))
        return {'f', digestOf(path), {}};
    return {};
}

// The tree at the path, read without following links; empty when nothing is there.
Tree treeOf(const QString& root)
{
    const fs::path base(QFile::encodeName(root).toStdString());
    Tree tree;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(base, error)))
        return tree;
    tree[""] = nodeOf(base);
    if (tree[""].type == 'd') {
        for (const auto& entry : fs::recursive_directory_iterator(base, error))
            tree[entry.path().lexically_relative(base).string()] = nodeOf(entry.path());
    }
    return tree;
}

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

// Where a move sets the source aside once its copy is in place.
QString asidePathOf(const Item& item)
{
    return item.oldPath.left(item.oldPath.lastIndexOf(u'/') + 1) +
           QStringLiteral(".brimvale-moved-") + item.name;
}

} // namespace

class MoveFaultTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void killedMoveLosesNothing();

private:
    // A fresh source tree under the home (the same ids every time) and a fresh destination.
    void makeSources();
    QString check(const QString& destination) const;
    QStringList moveArguments(const QString& destination) const;

    std::unique_ptr<TestHome> m_home;
    QString m_second;
    QStringList m_ids;
    QList<Item> m_items;
};

void MoveFaultTest::initTestCase()
{
    m_home = std::make_unique<TestHome>();
    struct stat home
    {
    };
    struct stat shm
    {
    };
    if (::stat("/dev/shm", &shm) != 0 || !S_ISDIR(shm.st_mode))
        QSKIP("No /dev/shm here: no second filesystem to move across");
    QVERIFY(::stat(QFile::encodeName(m_home->path()).constData(), &home) == 0);
    if (home.st_dev == shm.st_dev)
        QSKIP("/dev/shm is on the same filesystem as the temporary home: nothing to cross");
    m_second = QStringLiteral("/dev/shm/brimvale-move-fault-") +
               QUuid::createUuid().toString(QUuid::WithoutBraces);
    QVERIFY(QDir().mkpath(m_second));
    m_home->setEnv("HF_HOME", QFile::encodeName(m_home->file(QStringLiteral("hf"))));
}

void MoveFaultTest::cleanupTestCase()
{
    if (!m_second.isEmpty()) {
        std::error_code ignored;
        fs::remove_all(QFile::encodeName(m_second).toStdString(), ignored);
    }
    m_home.reset();
}

void MoveFaultTest::makeSources()
{
    for (const QString& folder : {QStringLiteral("models"), QStringLiteral("hf")})
        QDir(m_home->file(folder)).removeRecursively();
    // File entries of a custom folder.
    for (int i = 0; i < 5; ++i)
        QVERIFY(Fixtures::writeFile(m_home->file(QStringLiteral("models/m%1.gguf").arg(i)),
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

QStringList MoveFaultTest::moveArguments(const QString& destination) const
{
    return QStringList{QStringLiteral("move"),     QStringLiteral("--no-loose"),
                       QStringLiteral("--folder"), m_home->file(QStringLiteral("models")),
                       QStringLiteral("--to"),     destination} +
           m_ids;
}

// An empty text when every rule holds after a kill, else what broke.
QString MoveFaultTest::check(const QString& destination) const
{
    const QStringList partials = namesWithPrefix(destination, QStringLiteral(".brimvale-partial-"));
    if (partials.size() > 1)
        return QStringLiteral("several partial copies: ") + partials.join(u' ');
    QStringList asides;
    for (const Item& item : m_items) {
        const QString parent = item.oldPath.left(item.oldPath.lastIndexOf(u'/'));
        for (const QString& name : namesWithPrefix(parent, QStringLiteral(".brimvale-moved-")))
            if (!asides.contains(parent + u'/' + name))
                asides.push_back(parent + u'/' + name);
    }
    if (asides.size() > 1)
        return QStringLiteral("several set-aside sources: ") + asides.join(u' ');
    const QStringList expectedNames = [&] {
        QStringList names;
        for (const Item& item : m_items)
            names.push_back(item.name);
        return names + partials;
    }();
    for (const QString& name :
         QDir(destination)
             .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (!expectedNames.contains(name))
            return QStringLiteral("stray entry in the destination: ") + name;

    for (const Item& item : m_items) {
        const QString moved = destination + u'/' + item.name;
        const Tree there = treeOf(moved);
        const bool movedWhole = there == item.content;
        if (!there.empty() && !movedWhole)
            return QStringLiteral("incomplete item at its final name: ") + moved;
        const QString aside = asidePathOf(item);
        if (asides.contains(aside) && !movedWhole)
            return QStringLiteral("set aside without a whole copy: ") + aside;
        if (Fixtures::isSymlink(item.oldPath)) {
            if (QFile::symLinkTarget(item.oldPath) != moved || !movedWhole)
                return QStringLiteral("link to an incomplete item: ") + item.oldPath;
            continue;
        }
        const Tree here = treeOf(item.oldPath);
        if (here.empty()) {
            if (!movedWhole)
                return QStringLiteral("gone from its old path before it was whole: ") +
                       item.oldPath;
        } else if (here != item.content) {
            return QStringLiteral("changed at its old path: ") + item.oldPath;
        }
    }
    return {};
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
                QStringLiteral("--folder"), m_home->file(QStringLiteral("models"))});
    QVERIFY(scan.waitForFinished(120000));
    const QJsonArray models =
        QJsonDocument::fromJson(scan.readAllStandardOutput()).object().value(u"models").toArray();
    for (const QJsonValue& model : models) {
        const QJsonObject object = model.toObject();
        m_ids.push_back(object.value(u"id").toString());
        for (const QJsonValue& path : object.value(u"allPaths").toArray())
            m_items.push_back({path.toString(), path.toString().section(u'/', -1), {}});
    }
    QCOMPARE(m_items.size(), 8); // five files and three repositories
    for (Item& item : m_items)
        item.content = treeOf(item.oldPath);

    // Whole runs tell how long a move takes (the longest of them, measured again now and then as
    // the machine's load changes); kills are spread over that time.
    qint64 runMs = 20;
    int wholeRuns = 0;
    const auto measureWholeRun = [&]() -> QString {
        makeSources();
        const QString destination = m_second + QStringLiteral("/whole%1").arg(++wholeRuns);
        QDir().mkpath(destination);
        QElapsedTimer clock;
        clock.start();
        QProcess whole;
        whole.start(QStringLiteral(BRIMVALE_CLI_PATH), moveArguments(destination));
        if (!whole.waitForFinished(300000) || whole.exitCode() != 0)
            return QStringLiteral("a move without a kill failed: ") +
                   QString::fromUtf8(whole.readAllStandardError());
        runMs = std::max(runMs, clock.elapsed());
        for (const Item& item : m_items)
            if (!Fixtures::isSymlink(item.oldPath))
                return QStringLiteral("not moved: ") + item.oldPath;
        const QString problem = check(destination);
        std::error_code ignored;
        fs::remove_all(QFile::encodeName(destination).toStdString(), ignored);
        return problem;
    };
    for (int i = 0; i < 2; ++i) {
        const QString problem = measureWholeRun();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    int kills = 0;
    int finishedFirst = 0;
    int leftPartial = 0;
    int leftAside = 0;
    int attempts = 0;
    std::map<int, int> linkedAtKill; // items already moved when the process died -> kills
    QElapsedTimer budget;
    budget.start();
    while (kills < wantedKills && attempts < wantedKills * 4) {
        ++attempts;
        if (attempts % 10 == 0) {
            const QString problem = measureWholeRun();
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
        makeSources();
        const QString destination = m_second + QStringLiteral("/run%1").arg(attempts);
        QVERIFY(QDir().mkpath(destination));
        QProcess process;
        process.start(QStringLiteral(BRIMVALE_CLI_PATH), moveArguments(destination));
        QVERIFY(process.waitForStarted());
        const qint64 delayUs = qint64(QRandomGenerator::global()->bounded(double(runMs) * 1100.0));
        QThread::usleep(static_cast<unsigned long>(delayUs));
        const bool running = process.state() == QProcess::Running;
        process.kill();
        QVERIFY(process.waitForFinished(60000));
        const bool killed = running && process.exitStatus() == QProcess::CrashExit;
        if (killed) {
            ++kills;
            if (!namesWithPrefix(destination, QStringLiteral(".brimvale-partial-")).isEmpty())
                ++leftPartial;
            int linked = 0;
            for (const Item& item : m_items) {
                if (!treeOf(asidePathOf(item)).empty())
                    ++leftAside;
                if (Fixtures::isSymlink(item.oldPath))
                    ++linked;
            }
            ++linkedAtKill[linked];
        } else {
            ++finishedFirst;
        }
        const QString problem = check(destination);
        QVERIFY2(
            problem.isEmpty(),
            qPrintable(
                QStringLiteral("after a kill at %1 ms: %2").arg(delayUs / 1000.0).arg(problem)));
        std::error_code ignored;
        fs::remove_all(QFile::encodeName(destination).toStdString(), ignored);
    }
    QString spread;
    for (const auto& [linked, count] : linkedAtKill)
        spread += QStringLiteral(" %1:%2").arg(linked).arg(count);
    qInfo("%d kills (%d runs finished first); a run takes up to %lld ms; %d kills left a partial "
          "copy, "
          "%d a set-aside source; items moved when killed (items:kills):%s; %d whole runs; %lld s "
          "in all",
          kills, finishedFirst, runMs, leftPartial, leftAside, qPrintable(spread), wholeRuns,
          budget.elapsed() / 1000);
    QVERIFY(kills >= wantedKills);
}

QTEST_GUILESS_MAIN(MoveFaultTest)
#include "tst_movefault.moc"

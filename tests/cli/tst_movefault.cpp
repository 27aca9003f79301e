// Kills `brimvale-cli move` with SIGKILL at random moments of a move from the temporary home to
// /dev/shm (another filesystem) and checks after every kill that nothing was lost: each item is
// whole at its old path, or whole at the destination with a link or nothing at the old path;
// the leftovers of an interrupted item are at most one partial copy and one set-aside source.
// BRIMVALE_MOVE_FAULT_KILLS sets the number of kills (20 by default).
#include "../core/MoveTestSupport.h"
#include "FaultSeed.h"

using namespace MoveTestSupport;

class MoveFaultTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUp();
        m_home->setEnv("HF_HOME", QFile::encodeName(m_home->file(u"hf"_qs)));
        for (int i = 0; i < 8;
             ++i) { // five files of a custom folder, three Hugging Face repositories
            m_ids.push_back(i < 5 ? u"custom-m%1-%2"_qs.arg(i).arg(1'500'000 + 400'000 * i)
                                  : u"hf-models--org--repo%1"_qs.arg(i - 5));
            const QString path = i < 5 ? m_source + u"/m%1.gguf"_qs.arg(i)
                                       : m_home->file(u"hf/hub/"_qs + m_ids[i].mid(3));
            m_items.push_back({path, path.section(u'/', -1), {}});
        }
    }

    void cleanupTestCase() { tearDown(); }

    void killedMoveLosesNothing()
    {
        const int wantedKills = FaultSeed::kills("BRIMVALE_MOVE_FAULT_KILLS", 20);
        QRandomGenerator random = FaultSeed::generator("move");
        int kills = 0;
        for (int attempt = 0; kills < wantedKills && attempt < wantedKills * 4; ++attempt) {
            bool killed = false;
            const std::optional<qint64> delayUs = FaultSeed::killDelay(random, attempt, m_runUs);
            const QString problem = moveAll(m_second + u"/run%1"_qs.arg(attempt), delayUs, killed);
            QVERIFY2(problem.isEmpty(), FaultSeed::afterKill(delayUs, problem).constData());
            kills += killed ? 1 : 0;
        }
        qInfo("%d kills; the last whole run took %lld ms", kills, m_runUs / 1000);
        QVERIFY(kills >= wantedKills);
    }

private:
    struct Item
    {
        QString oldPath;
        QString name;
        Tree content;
    };

    // Moves every item from fresh sources, killing the CLI after the delay when one is given (else
    // timing the whole run), and tells what broke (empty when nothing did).
    QString moveAll(const QString& destination, std::optional<qint64> killAfterUs, bool& killed)
    {
        for (const QString& folder : {u"models"_qs, u"hf"_qs})
            QDir(m_home->file(folder)).removeRecursively();
        for (int i = 0; i < 5; ++i)
            Fixtures::writeFile(m_items[i].oldPath,
                                Fixtures::headBytes(quint32(i + 1), 1'500'000 + 400'000 * i));
        for (int r = 0; r < 3; ++r) { // blobs, snapshot links to them, a ref and an empty folder
            QString tree = u"refs/main=abc;snapshots/abc/empty/"_qs;
            for (int b = 0; b < 3; ++b) {
                Fixtures::writeFile(
                    m_items[5 + r].oldPath + u"/blobs/blob%1"_qs.arg(b),
                    Fixtures::headBytes(quint32(100 + r * 10 + b), 700'000 * (b + 1)));
                tree += u";snapshots/abc/file%1.bin->../../blobs/blob%1"_qs.arg(b);
            }
            makeTree(m_items[5 + r].oldPath, tree);
        }
        for (Item& item : m_items)
            item.content = treeOf(item.oldPath);
        QDir().mkpath(destination);
        const FaultSeed::KilledRun run =
            FaultSeed::runCli(QStringList{u"move"_qs, u"--no-loose"_qs, u"--folder"_qs, m_source,
                                          u"--to"_qs, destination} +
                                  m_ids,
                              killAfterUs);
        killed = run.killed;
        if (!killAfterUs)
            m_runUs = std::max<qint64>(1, run.elapsedUs);
        QString problem = !killAfterUs && run.exitCode != 0
                              ? u"a move without a kill failed: "_qs + QString::fromUtf8(run.err)
                              : check(destination);
        for (const Item& item : m_items)
            if (!killAfterUs && problem.isEmpty() && !Fixtures::isSymlink(item.oldPath))
                problem = u"not moved: "_qs + item.oldPath;
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(destination).toStdString(), ignored);
        return problem;
    }

    // An empty text when every rule holds after a kill, else what broke.
    QString check(const QString& destination) const
    {
        QStringList expectedNames = namesIn(destination).filter(u".brimvale-partial-"_qs);
        if (expectedNames.size() > 1)
            return u"several partial copies: "_qs + expectedNames.join(u' ');
        QStringList asides;
        for (const QString& parent : {m_source, m_home->file(u"hf/hub"_qs)})
            for (const QString& name : namesIn(parent).filter(u".brimvale-moved-"_qs))
                asides.push_back(parent + u'/' + name);
        if (asides.size() > 1)
            return u"several set-aside sources: "_qs + asides.join(u' ');
        for (const Item& item : m_items)
            expectedNames.push_back(item.name);
        for (const QString& name : namesIn(destination))
            if (!expectedNames.contains(name))
                return u"stray entry in the destination: "_qs + name;

        for (const Item& item : m_items) {
            const QString moved = destination + u'/' + item.name;
            const Tree there = treeOf(moved);
            const bool movedWhole = there == item.content;
            const QString aside =
                item.oldPath.section(u'/', 0, -2) + u"/.brimvale-moved-"_qs + item.name;
            const Tree here = treeOf(item.oldPath);
            if (!there.empty() && !movedWhole)
                return u"incomplete item at its final name: "_qs + moved;
            if (!movedWhole &&
                (asides.contains(aside) || here.empty() || Fixtures::isSymlink(item.oldPath)))
                return u"gone from its old path before it was whole: "_qs + item.oldPath;
            if (Fixtures::isSymlink(item.oldPath) ? linkTarget(item.oldPath) != moved
                                                  : !here.empty() && here != item.content)
                return u"changed at its old path: "_qs + item.oldPath;
        }
        return {};
    }

    QStringList m_ids;
    QList<Item> m_items;
    qint64 m_runUs = 20'000; // the last whole run: kills follow the machine's load both ways
};

QTEST_GUILESS_MAIN(MoveFaultTest)
#include "tst_movefault.moc"

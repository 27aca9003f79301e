// Kills a hard-link dedupe of 20 files (DedupeService::run in a forked child) with SIGKILL at
// random moments and checks after every kill that nothing was lost: each duplicate and each
// copy that stays is at its path, whole, with its content; a temporary name left beside the
// duplicates is only ever a link to a copy that stays. A last run without a kill frees every
// file and leaves no temporary name. BRIMVALE_DEDUPE_FAULT_KILLS sets the number of kills (60 by
// default).
#include "DedupeTestSupport.h"
#include "FaultSeed.h"
#include "services/DedupeService.h"

#include <QElapsedTimer>
#include <csignal>
#include <sys/wait.h>

using namespace DedupeTestSupport;

class DedupeFaultTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        for (int k = 0; k < 2; ++k) {
            m_keeps.push_back(m_home->file(u"keep/model%1.gguf"_qs.arg(k)));
            m_contents.push_back(randomBytes(quint32(k + 1), 600'000 + 250'000 * k));
            QVERIFY(writeSynced(m_keeps[k], m_contents[k]));
            m_hashes.push_back(hashOf(m_keeps[k]));
        }
        m_folders = {m_home->file(u"tool-a"_qs), m_home->file(u"tool-b"_qs)};
        for (int i = 0; i < 20; ++i)
            m_duplicates.push_back(m_folders[i / 10] + u"/copy%1.gguf"_qs.arg(i));
    }

    void killedDedupeLosesNothing()
    {
        const int wantedKills = FaultSeed::kills("BRIMVALE_DEDUPE_FAULT_KILLS", 60);
        QRandomGenerator random = FaultSeed::generator("dedupe");
        int kills = 0;
        int leftovers = 0; // kills that left a temporary name
        for (int attempt = 0; kills < wantedKills && attempt < wantedKills * 6; ++attempt) {
            const DedupePlan::Plan plan = freshPlan();
            QCOMPARE(plan.items.size(), m_duplicates.size());
            const std::optional<qint64> delayUs = FaultSeed::killDelay(random, attempt, m_runUs);
            const bool ended = runChild(plan, delayUs);
            QVERIFY2(delayUs || ended, "a run without a kill failed");
            const QString problem = check();
            QVERIFY2(problem.isEmpty(), FaultSeed::afterKill(delayUs, problem).constData());
            kills += delayUs && ended ? 1 : 0;
            leftovers +=
                int(delayUs && ended &&
                    !(temporaryNames(m_folders[0]) + temporaryNames(m_folders[1])).isEmpty());
        }
        qInfo("%d kills (%d left a temporary name); the last whole run took %lld ms", kills,
              leftovers, m_runUs / 1000);
        QVERIFY(kills >= wantedKills);

        QVERIFY(runChild(freshPlan(), std::nullopt));
        QCOMPARE(check(), QString());
        for (int i = 0; i < m_duplicates.size(); ++i)
            QVERIFY(identityOf(m_duplicates[i]).sameFile(identityOf(m_keeps[i % 2])));
        QCOMPARE(temporaryNames(m_folders[0]) + temporaryNames(m_folders[1]), QStringList());
    }

private:
    // Writes every duplicate afresh (a file of its own) and plans them against their copies.

    DedupePlan::Plan freshPlan()
    {
        for (int i = 0; i < m_duplicates.size(); ++i) {
            ::unlink(QFile::encodeName(m_duplicates[i]).constData()); // it may be a link by now
            if (!Fixtures::writeFile(m_duplicates[i], m_contents[i % 2]))
                return {};
        }
        // The scan, once every copy has its final link count.
        DedupePlan::Plan plan;
        for (int i = 0; i < m_duplicates.size(); ++i)
            plan.items.push_back(itemOf(m_duplicates[i], m_keeps[i % 2]));
        return plan;
    }

    // Runs the plan in a child, killed after the delay when one is given (else timed); tells
    // whether it was killed while it ran, or (without a delay) whether it succeeded.

    bool runChild(const DedupePlan::Plan& plan, std::optional<qint64> killAfterUs)
    {
        QElapsedTimer clock;
        clock.start();
        const pid_t child = ::fork();
        if (child == 0) {
            DedupeService::Options options;
            options.hardLink = true;
            const DedupeOutcome outcome = DedupeService::run(plan, options);
            if (!outcome.succeeded())
                qWarning("%s", qPrintable(outcome.error.value_or(QString())));
            ::_exit(outcome.succeeded() ? 0 : 1);
        }
        if (child < 0)
            return false;
        bool killed = false;
        if (killAfterUs) {
            ::usleep(useconds_t(*killAfterUs));
            killed = ::waitpid(child, nullptr, WNOHANG) == 0 && ::kill(child, SIGKILL) == 0;
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (killAfterUs)
            return killed && WIFSIGNALED(status);
        m_runUs = clock.nsecsElapsed() / 1000;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // An empty text when every file is whole, else what broke.

    QString check() const
    {
        for (int i = 0; i < m_duplicates.size() + m_keeps.size(); ++i) {
            const bool keep = i >= m_duplicates.size();
            const QString& path = keep ? m_keeps[i - m_duplicates.size()] : m_duplicates[i];
            const int k = keep ? i - int(m_duplicates.size()) : i % 2;
            const FileIdentity identity = identityOf(path);
            if (identity.inode == 0)
                return u"missing: "_qs + path;
            if (identity.size != m_contents[k].size() || hashOf(path) != m_hashes[k])
                return u"not whole: "_qs + path;
        }
        for (const QString& folder : m_folders)
            for (const QString& name : temporaryNames(folder)) {
                const FileIdentity identity = identityOf(folder + u'/' + name);
                if (!identity.sameFile(identityOf(m_keeps[0])) &&
                    !identity.sameFile(identityOf(m_keeps[1])))
                    return u"a temporary name that is no link to a copy: "_qs + name;
            }
        return {};
    }

    std::unique_ptr<TestHome> m_home;
    QStringList m_folders;
    QStringList m_keeps;
    QList<QByteArray> m_contents; // of each copy that stays
    QStringList m_hashes;
    QStringList m_duplicates; // duplicate i holds m_contents[i % 2]
    qint64 m_runUs = 20'000;  // the last whole run
};

QTEST_GUILESS_MAIN(DedupeFaultTest)
#include "tst_dedupefault.moc"

// `trash` and Ollama tags while an Ollama server runs: a listener on 127.0.0.1:11434 stands in.
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/PosixIO.h"
#include "services/TrashLog.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace TrashFixtures;

namespace {

// Whether something answers on the Ollama port.
bool somethingListens()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, 11434);
    return socket.waitForConnected(5000);
}

} // namespace

class TestCliTrashRisky : public QObject
{
    Q_OBJECT
private slots:
    void trash_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("force");
        QTest::newRow("refused, nothing moved, while Ollama runs") << true << false;
        QTest::newRow("--force trashes every item of the tag while Ollama runs") << true << true;
        QTest::newRow("tags trashed freely when Ollama is not running") << false << false;
    }

    void trash()
    {
        QFETCH(bool, running);
        QFETCH(bool, force);
        const TestHome home;
        // One Ollama tag, llama3:latest, with its own config and weights blobs.
        const QStringList tag =
            Fixtures::ollamaTag(home.path(), u"llama3"_qs, u"latest"_qs, u'b', 2000, "weights");
        const QString safe = home.file(u"models/safe.gguf"_qs);
        Fixtures::makeSparseFile(safe, 1'000'000, "safe");
        QTcpServer ollama; // connections queue and are never taken
        if (running && !ollama.listen(QHostAddress::LocalHost, 11434) && !somethingListens())
            QSKIP("cannot listen on 127.0.0.1:11434 here");
        if (!running && somethingListens())
            QSKIP("something listens on 127.0.0.1:11434 here");
        const CliRun run =
            runCli(QStringList{u"trash"_qs} + (force ? QStringList{u"--force"_qs} : QStringList()) +
                   QStringList{u"--folder"_qs, home.file(u"models"_qs), u"custom-safe-1000000"_qs,
                               u"ollama-llama3-latest"_qs});
        const bool refused = running && !force;
        QCOMPARE(run.err, refused ? QByteArray("Ollama is running. Quit it before trashing Ollama "
                                               "models, or use --force.\n")
                                  : QByteArray());
        QCOMPARE(run.exitCode, refused ? 1 : 0);
        QCOMPARE(run.out.count('\n'), refused ? 0 : 4);
        for (const QString& path : tag + QStringList{safe})
            QCOMPARE(PosixIO::lexists(path), refused);
        if (refused) {
            QVERIFY(rawLog().isEmpty());
            return;
        }
        const QList<TrashEntry> log = TrashLog::read().entries;
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[1].originalPaths, tag);
        QCOMPARE(log[1].source, u"Ollama"_qs);
        QCOMPARE(log[1].modelName, u"llama3:latest"_qs);
    }
};

QTEST_GUILESS_MAIN(TestCliTrashRisky)
#include "tst_clitrashrisky.moc"

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

// One Ollama tag, llama3:latest, with its own config and weights blobs; returns its paths.
QStringList makeOllamaTag(const TestHome& home)
{
    const QString store = home.file(u".ollama/models"_qs);
    const QString manifest = store + u"/manifests/registry.ollama.ai/library/llama3/latest"_qs;
    const QString a(64, u'a'), b(64, u'b');
    Fixtures::writeFile(manifest, R"({"config":{"digest":"sha256:)" + a.toUtf8() +
                                      R"(","size":10},"layers":[{"digest":"sha256:)" + b.toUtf8() +
                                      R"(","size":2000}]})");
    const QString config = store + u"/blobs/sha256-"_qs + a;
    const QString weights = store + u"/blobs/sha256-"_qs + b;
    Fixtures::makeSparseFile(config, 10, "config");
    Fixtures::makeSparseFile(weights, 2000, "weights");
    return {manifest, config, weights};
}

} // namespace

class TestCliTrashRisky : public QObject
{
    Q_OBJECT
private slots:
    void refusesEverythingWhileOllamaRuns();
    void forceTrashesEveryItemOfTheTag();
    void trashesTagsFreelyWhenOllamaIsNotRunning();
};

void TestCliTrashRisky::refusesEverythingWhileOllamaRuns()
{
    const TestHome home;
    const QStringList tag = makeOllamaTag(home);
    Fixtures::makeSparseFile(home.file(u"models/safe.gguf"_qs), 1'000'000, "safe");
    QTcpServer ollama; // connections queue and are never taken
    if (!ollama.listen(QHostAddress::LocalHost, 11434) && !somethingListens())
        QSKIP("cannot listen on 127.0.0.1:11434 here");
    const CliRun run = runCli({u"trash"_qs, u"--folder"_qs, home.file(u"models"_qs),
                               u"custom-safe-1000000"_qs, u"ollama-llama3-latest"_qs});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray("Ollama is running. Quit it before trashing Ollama models, or use "
                                 "--force.\n"));
    for (const QString& path : tag + QStringList{home.file(u"models/safe.gguf"_qs)})
        QVERIFY(PosixIO::lexists(path));
    QVERIFY(rawLog().isEmpty());
}

void TestCliTrashRisky::forceTrashesEveryItemOfTheTag()
{
    const TestHome home;
    const QStringList tag = makeOllamaTag(home);
    QTcpServer ollama; // connections queue and are never taken
    if (!ollama.listen(QHostAddress::LocalHost, 11434) && !somethingListens())
        QSKIP("cannot listen on 127.0.0.1:11434 here");
    const CliRun run = runCli({u"trash"_qs, u"--force"_qs, u"ollama-llama3-latest"_qs});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.count('\n'), 3);
    const QList<TrashEntry> log = TrashLog::read().entries;
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].originalPaths, tag);
    QCOMPARE(log[0].source, u"Ollama"_qs);
    QCOMPARE(log[0].modelName, u"llama3:latest"_qs);
}

void TestCliTrashRisky::trashesTagsFreelyWhenOllamaIsNotRunning()
{
    if (somethingListens())
        QSKIP("something listens on 127.0.0.1:11434 here");
    const TestHome home;
    const QStringList tag = makeOllamaTag(home);
    const CliRun run = runCli({u"trash"_qs, u"ollama-llama3-latest"_qs});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    for (const QString& path : tag)
        QVERIFY(!PosixIO::lexists(path));
}

QTEST_GUILESS_MAIN(TestCliTrashRisky)
#include "tst_clitrashrisky.moc"

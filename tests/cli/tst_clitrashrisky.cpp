// `trash` and Ollama tags while an Ollama server runs: a listener on 127.0.0.1:11434 stands in.
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/PosixIO.h"
#include "services/TrashLog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace TrashFixtures;

namespace {

const QString kRefusal =
    QStringLiteral("Ollama is running. Quit it before trashing Ollama models, or use --force.\n");

// Listens on the Ollama port for the object's lifetime; connections queue and are never taken.
class FakeOllama
{
public:
    FakeOllama()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(11434);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_listening =
            ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(m_fd, 16) == 0;
    }
    ~FakeOllama() { ::close(m_fd); }
    FakeOllama(const FakeOllama&) = delete;
    FakeOllama& operator=(const FakeOllama&) = delete;

    [[nodiscard]] bool listening() const { return m_listening; }

private:
    int m_fd = -1;
    bool m_listening = false;
};

bool somethingListens()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(11434);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

QString digest(char c)
{
    return QStringLiteral("sha256:") + QString(64, QLatin1Char(c));
}

// One Ollama tag, llama3:latest, with its own config and weights blobs; returns its paths.
QStringList makeOllamaTag(const TestHome& home)
{
    const QString store = home.file(QStringLiteral(".ollama/models"));
    const QString manifest =
        store + QStringLiteral("/manifests/registry.ollama.ai/library/llama3/latest");
    const QJsonObject json{
        {QStringLiteral("config"),
         QJsonObject{{QStringLiteral("digest"), digest('a')}, {QStringLiteral("size"), 10}}},
        {QStringLiteral("layers"), QJsonArray{QJsonObject{{QStringLiteral("digest"), digest('b')},
                                                          {QStringLiteral("size"), 2000}}}},
    };
    Fixtures::writeFile(manifest, QJsonDocument(json).toJson());
    const QString config = store + QStringLiteral("/blobs/sha256-") + QString(64, u'a');
    const QString weights = store + QStringLiteral("/blobs/sha256-") + QString(64, u'b');
    Fixtures::makeSparseFile(config, 10, "config");
    Fixtures::makeSparseFile(weights, 2000, "weights");
    return {manifest, config, weights};
}

QString customModel(const TestHome& home)
{
    Fixtures::makeSparseFile(home.file(QStringLiteral("models/safe.gguf")), 1'000'000, "safe");
    return QStringLiteral("custom-safe-1000000");
}

} // namespace

class TestCliTrashRisky : public QObject
{
    Q_OBJECT

private slots:
    void refusesEverythingWhileOllamaRuns_data();
    void refusesEverythingWhileOllamaRuns();
    void forceTrashesEveryItemOfTheTag();
    void trashesTagsFreelyWhenOllamaIsNotRunning();
};

void TestCliTrashRisky::refusesEverythingWhileOllamaRuns_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("plain") << false;
    QTest::newRow("json") << true;
}

void TestCliTrashRisky::refusesEverythingWhileOllamaRuns()
{
    QFETCH(bool, json);
    TestHome home;
    const QStringList tag = makeOllamaTag(home);
    const QString safe = customModel(home);
    FakeOllama ollama;
    if (!ollama.listening() && !somethingListens())
        QSKIP("cannot listen on 127.0.0.1:11434 here");
    QStringList arguments{QStringLiteral("trash"), QStringLiteral("--folder"),
                          home.file(QStringLiteral("models")), safe,
                          QStringLiteral("ollama-llama3-latest")};
    if (json)
        arguments << QStringLiteral("--json");

    const CliRun run = runCli(arguments);

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err), kRefusal);
    for (const QString& path : tag)
        QVERIFY(PosixIO::lexists(path));
    QVERIFY(PosixIO::lexists(home.file(QStringLiteral("models/safe.gguf"))));
    QVERIFY(rawLog().isEmpty());
}

void TestCliTrashRisky::forceTrashesEveryItemOfTheTag()
{
    TestHome home;
    const QStringList tag = makeOllamaTag(home);
    FakeOllama ollama;
    if (!ollama.listening() && !somethingListens())
        QSKIP("cannot listen on 127.0.0.1:11434 here");

    const CliRun run = runCli({QStringLiteral("trash"), QStringLiteral("--force"),
                               QStringLiteral("ollama-llama3-latest")});

    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.count('\n'), 3);
    for (const QString& path : tag)
        QVERIFY(!PosixIO::lexists(path));
    const QList<TrashEntry> log = TrashLog::read().entries;
    QCOMPARE(log.size(), 1);
    QCOMPARE(log[0].originalPaths, tag);
    QCOMPARE(log[0].source, QStringLiteral("Ollama"));
    QCOMPARE(log[0].modelName, QStringLiteral("llama3:latest"));
}

void TestCliTrashRisky::trashesTagsFreelyWhenOllamaIsNotRunning()
{
    if (somethingListens())
        QSKIP("something listens on 127.0.0.1:11434 here");
    TestHome home;
    const QStringList tag = makeOllamaTag(home);

    const CliRun run = runCli({QStringLiteral("trash"), QStringLiteral("ollama-llama3-latest")});

    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    for (const QString& path : tag)
        QVERIFY(!PosixIO::lexists(path));
}

QTEST_GUILESS_MAIN(TestCliTrashRisky)
#include "tst_clitrashrisky.moc"

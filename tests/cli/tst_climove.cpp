// brimvale-cli move: usage errors, unknown ids, a refused plan, plain and JSON output.
#include "Fixtures.h"
#include "TestHome.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runCli(const QStringList& arguments, const QString& workingDirectory = {})
{
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QString linkTarget(const QString& path)
{
    return QFileInfo(path).isSymLink() ? QFileInfo(path).symLinkTarget() : QString();
}

} // namespace

class CliMoveTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void usageErrors_data();
    void usageErrors();
    void unknownIdMovesNothing_data();
    void unknownIdMovesNothing();
    void refusedPlan_data();
    void refusedPlan();
    void movesWithPlainOutput();
    void movesWithJsonOutput_data();
    void movesWithJsonOutput();

private:
    // "move" over the models folder alone to the destination, with --json first when asked.
    QStringList moveArguments(const QString& to, const QStringList& ids, bool json) const;

    std::unique_ptr<TestHome> m_home;
    QString m_models;
    QString m_a; // custom-a-1000000
    QString m_b; // custom-b-2000000
};

void CliMoveTest::init()
{
    m_home = std::make_unique<TestHome>();
    m_models = m_home->file(QStringLiteral("models"));
    m_a = m_models + QStringLiteral("/a.gguf");
    m_b = m_models + QStringLiteral("/sub/b.safetensors");
    QVERIFY(Fixtures::writeFile(m_a, Fixtures::headBytes(1, 1'000'000)));
    QVERIFY(Fixtures::writeFile(m_b, Fixtures::headBytes(2, 2'000'000)));
    QVERIFY(QDir().mkpath(m_home->file(QStringLiteral("dest"))));
}

void CliMoveTest::cleanup()
{
    m_home.reset();
}

QStringList CliMoveTest::moveArguments(const QString& to, const QStringList& ids, bool json) const
{
    QStringList arguments{QStringLiteral("move"),     QStringLiteral("--no-loose"),
                          QStringLiteral("--folder"), m_models,
                          QStringLiteral("--to"),     to};
    arguments += ids;
    if (json)
        arguments.insert(1, QStringLiteral("--json"));
    return arguments;
}

void CliMoveTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no --to") << QStringList{QStringLiteral("move"),
                                            QStringLiteral("custom-a-1000000")};
    QTest::newRow("--to without a value") << QStringList{
        QStringLiteral("move"), QStringLiteral("custom-a-1000000"), QStringLiteral("--to")};
    QTest::newRow("no ids") << QStringList{QStringLiteral("move"), QStringLiteral("--to"),
                                           QStringLiteral("/tmp")};
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("move"), QStringLiteral("--force"), QStringLiteral("--to"),
                       QStringLiteral("/tmp"), QStringLiteral("x")};
}

void CliMoveTest::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Run run = runCli(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.contains("Usage:"));
    QVERIFY(QFileInfo(m_a).isFile() && !QFileInfo(m_a).isSymLink());
}

void CliMoveTest::unknownIdMovesNothing_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("plain") << false;
    QTest::newRow("json") << true;
}

void CliMoveTest::unknownIdMovesNothing()
{
    QFETCH(bool, json);
    const Run run = runCli(
        moveArguments(m_home->file(QStringLiteral("dest")),
                      {QStringLiteral("custom-a-1000000"), QStringLiteral("no-such-id")}, json));
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, QByteArray("No entry with id no-such-id\n"));
    QVERIFY(QFileInfo(m_a).isFile() && !QFileInfo(m_a).isSymLink());
    QVERIFY(QDir(m_home->file(QStringLiteral("dest"))).isEmpty());
}

void CliMoveTest::refusedPlan_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("plain") << false;
    QTest::newRow("json") << true;
}

void CliMoveTest::refusedPlan()
{
    QFETCH(bool, json);
    const Run run = runCli(moveArguments(m_home->file(QStringLiteral("missing")),
                                         {QStringLiteral("custom-a-1000000")}, json));
    QCOMPARE(run.exitCode, 1);
    if (json) {
        const QJsonObject object = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(object.value(QStringLiteral("movedTo")).toArray(), QJsonArray());
        QCOMPARE(object.value(QStringLiteral("symlinksCreated")).toArray(), QJsonArray());
        QCOMPARE(object.value(QStringLiteral("error")).toString(),
                 QStringLiteral("Destination must be an existing folder"));
    } else {
        QCOMPARE(run.out, QByteArray());
    }
    QCOMPARE(run.err, QByteArray("Destination must be an existing folder\n"));
    QVERIFY(QFileInfo(m_a).isFile() && !QFileInfo(m_a).isSymLink());
}

void CliMoveTest::movesWithPlainOutput()
{
    // --to relative to the working directory, with a trailing slash: made absolute and cleaned.
    const Run run =
        runCli({QStringLiteral("move"), QStringLiteral("--no-loose"), QStringLiteral("--folder"),
                m_models, QStringLiteral("--to"), QStringLiteral("./dest/"),
                QStringLiteral("custom-b-2000000"), QStringLiteral("custom-a-1000000")},
               m_home->path());
    QCOMPARE(run.exitCode, 0);
    const QString dest = m_home->file(QStringLiteral("dest"));
    QCOMPARE(QString::fromUtf8(run.out), m_b + u'\t' + dest + QStringLiteral("/b.safetensors\n") +
                                             m_a + u'\t' + dest + QStringLiteral("/a.gguf\n"));
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(linkTarget(m_a), dest + QStringLiteral("/a.gguf"));
    QCOMPARE(linkTarget(m_b), dest + QStringLiteral("/b.safetensors"));
}

void CliMoveTest::movesWithJsonOutput_data()
{
    QTest::addColumn<bool>("symlinks");
    QTest::newRow("with symlinks") << true;
    QTest::newRow("--no-symlinks") << false;
}

void CliMoveTest::movesWithJsonOutput()
{
    QFETCH(bool, symlinks);
    const QString dest = m_home->file(QStringLiteral("dest"));
    QStringList arguments{QStringLiteral("move"),
                          QStringLiteral("--json"),
                          QStringLiteral("--no-loose"),
                          QStringLiteral("--folder"),
                          m_models,
                          QStringLiteral("--to"),
                          dest,
                          QStringLiteral("custom-a-1000000")};
    if (!symlinks)
        arguments.insert(1, QStringLiteral("--no-symlinks"));
    const Run run = runCli(arguments);
    QCOMPARE(run.exitCode, 0);
    const QJsonObject object = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(object.keys(), (QStringList{QStringLiteral("error"), QStringLiteral("movedTo"),
                                         QStringLiteral("symlinksCreated")}));
    QVERIFY(object.value(QStringLiteral("error")).isNull());
    QCOMPARE(object.value(QStringLiteral("movedTo")).toArray(),
             QJsonArray{QJsonValue(dest + QStringLiteral("/a.gguf"))});
    QCOMPARE(object.value(QStringLiteral("symlinksCreated")).toArray(),
             symlinks ? QJsonArray{QJsonValue(m_a)} : QJsonArray());
    QCOMPARE(QFileInfo::exists(m_a) || QFileInfo(m_a).isSymLink(), symlinks);
    QVERIFY(QFileInfo(dest + QStringLiteral("/a.gguf")).isFile());
}

QTEST_GUILESS_MAIN(CliMoveTest)
#include "tst_climove.moc"

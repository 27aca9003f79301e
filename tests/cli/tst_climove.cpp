// brimvale-cli move: what it reads from its arguments and how it reports a move's outcome, in
// plain and JSON output (the move itself is proven by the service's tests).
#include "Fixtures.h"
#include "TestHome.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

class CliMoveTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_home.reset(); }
    void reports_data();
    void reports();
    void movesBack();

private:
    std::unique_ptr<TestHome> m_home;
};

void CliMoveTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(Fixtures::writeFile(m_home->file(QStringLiteral("models/a.gguf")),
                                Fixtures::headBytes(1, 1'000'000)));
    QVERIFY(Fixtures::writeFile(m_home->file(QStringLiteral("models/line\nfeed/b.safetensors")),
                                Fixtures::headBytes(2, 2'000'000)));
    QVERIFY(QDir().mkpath(m_home->file(QStringLiteral("dest"))));
}

void CliMoveTest::reports_data()
{
    // "{home}" stands for the temporary home; JSON is compared in its compact form.
    QTest::addColumn<QString>("arguments"); // after "move --no-loose --folder {home}/models"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("plain, one line per item, --to relative with a trailing slash")
        << QStringLiteral("--no-symlinks --to ./dest/ custom-b-2000000 custom-a-1000000") << 0
        << QStringLiteral("{home}/models/line feed/b.safetensors\t{home}/dest/b.safetensors\n"
                          "{home}/models/a.gguf\t{home}/dest/a.gguf\n")
        << QString();
    QTest::newRow("JSON")
        << QStringLiteral("--json --to {home}/dest custom-a-1000000") << 0
        << QStringLiteral(R"({"error":null,"items":[{"from":"{home}/models/a.gguf","linked":true,)"
                          R"("to":"{home}/dest/a.gguf"}],"movedTo":["{home}/dest/a.gguf"],)"
                          R"("symlinksCreated":["{home}/models/a.gguf"]})")
        << QString();
    QTest::newRow("JSON, refused plan")
        << QStringLiteral("--json --to {home}/missing custom-a-1000000") << 1
        << QStringLiteral(R"({"error":"Destination must be an existing folder","items":[],)"
                          R"("movedTo":[],"symlinksCreated":[]})")
        << QStringLiteral("Destination must be an existing folder\n");
    QTest::newRow("no --to") << QStringLiteral("custom-a-1000000") << 2 << QString()
                             << QStringLiteral("brimvale-cli: missing --to DIR\n");
    QTest::newRow("no ids") << QStringLiteral("--to /tmp") << 2 << QString()
                            << QStringLiteral("brimvale-cli: no ids given\n");
    QTest::newRow("unknown option")
        << QStringLiteral("--force --to /tmp custom-a-1000000") << 2 << QString()
        << QStringLiteral("brimvale-cli: unknown option: --force\n");
    QTest::newRow("unknown id moves nothing")
        << QStringLiteral("--to {home}/dest custom-a-1000000 no-such-id") << 1 << QString()
        << QStringLiteral("No entry with id no-such-id\n");
}

void CliMoveTest::reports()
{
    QFETCH(QString, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const QString home = m_home->path();
    QProcess cli;
    cli.setWorkingDirectory(home);
    cli.start(QStringLiteral(BRIMVALE_CLI_PATH),
              QStringList{QStringLiteral("move"), QStringLiteral("--no-loose"),
                          QStringLiteral("--folder"), home + QStringLiteral("/models")} +
                  arguments.replace(QStringLiteral("{home}"), home).split(u' '));
    QVERIFY(cli.waitForFinished(120000));
    QCOMPARE(cli.exitCode(), exitCode);
    QByteArray printed = cli.readAllStandardOutput();
    if (arguments.contains(QStringLiteral("--json")))
        printed = QJsonDocument::fromJson(printed).toJson(QJsonDocument::Compact);
    QCOMPARE(QString::fromUtf8(printed), out.replace(QStringLiteral("{home}"), home));
    const QString printedErr = QString::fromUtf8(cli.readAllStandardError());
    // A usage error is followed by the usage.
    QVERIFY2(exitCode == 2 ? printedErr.startsWith(err) : printedErr == err,
             qPrintable(printedErr));
    QCOMPARE(Fixtures::isSymlink(m_home->file(QStringLiteral("models/a.gguf"))),
             exitCode == 0 && !arguments.contains(QStringLiteral("--no-symlinks")));
}

// move-back reports like move: the paths put back, in plain and JSON output; an entry that was
// not moved is refused.
void CliMoveTest::movesBack()
{
    const QString home = m_home->path();
    const auto run = [&](const QStringList& arguments) {
        QProcess cli;
        cli.start(QStringLiteral(BRIMVALE_CLI_PATH),
                  QStringList{QStringLiteral("move-back"), QStringLiteral("--no-loose"),
                              QStringLiteral("--folder"), home + QStringLiteral("/models")} +
                      arguments);
        return cli.waitForFinished(120000) && cli.exitCode() == 0
                   ? QJsonDocument::fromJson(cli.readAllStandardOutput())
                         .toJson(QJsonDocument::Compact)
                   : QByteArray("failed: ") + cli.readAllStandardError();
    };
    const QString file = m_home->file(QStringLiteral("models/a.gguf"));
    QCOMPARE(run({QStringLiteral("--json"), QStringLiteral("custom-a-1000000")}),
             QByteArray("failed: a.gguf was not moved — there is nothing to move back\n"));
    QVERIFY(QFile::rename(file, home + QStringLiteral("/dest/a.gguf")) &&
            QFile::link(home + QStringLiteral("/dest/a.gguf"), file));
    const QString expected =
        QStringLiteral(R"({"error":null,"items":[{"from":"{home}/dest/a.gguf","linked":false,)"
                       R"("to":"{home}/models/a.gguf"}],"movedTo":["{home}/models/a.gguf"],)"
                       R"("symlinksCreated":[]})");
    QCOMPARE(QString::fromUtf8(run({QStringLiteral("--json"), QStringLiteral("custom-a-1000000")})),
             QString(expected).replace(QStringLiteral("{home}"), home));
    QVERIFY(!Fixtures::isSymlink(file) && QFileInfo(file).size() == 1'000'000);
}

QTEST_GUILESS_MAIN(CliMoveTest)
#include "tst_climove.moc"

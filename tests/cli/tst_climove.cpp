// brimvale-cli move and move-back: what they read from their arguments and how they report an
// outcome, in plain and JSON output (the move itself is proven by the service's tests).
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>

class CliMoveTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_home.reset(); }
    void reports_data();
    void reports();

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
    // "move-back" first runs that command; a row named "... after a move" moves a.gguf first.
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
    const QString notMoved = QStringLiteral("a.gguf was not moved — there is nothing to move back");
    QTest::newRow("move-back refuses an entry not moved")
        << QStringLiteral("move-back --json custom-a-1000000") << 1
        << QStringLiteral(R"({"error":")") + notMoved +
               QStringLiteral(R"(","items":[],"movedTo":[],"symlinksCreated":[]})")
        << notMoved + u'\n';
    QTest::newRow("move-back, JSON, after a move")
        << QStringLiteral("move-back --json custom-a-1000000") << 0
        << QStringLiteral(R"({"error":null,"items":[{"from":"{home}/dest/a.gguf","linked":false,)"
                          R"("to":"{home}/models/a.gguf"}],"movedTo":["{home}/models/a.gguf"],)"
                          R"("symlinksCreated":[]})")
        << QString();
}

void CliMoveTest::reports()
{
    QFETCH(QString, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const QString home = m_home->path();
    const QString file = m_home->file(QStringLiteral("models/a.gguf"));
    if (QByteArray(QTest::currentDataTag()).endsWith("after a move"))
        QVERIFY(QFile::rename(file, home + QStringLiteral("/dest/a.gguf")) &&
                QFile::link(home + QStringLiteral("/dest/a.gguf"), file));
    QStringList words = arguments.replace(QStringLiteral("{home}"), home).split(u' ');
    const QString command =
        words[0] == QStringLiteral("move-back") ? words.takeFirst() : QStringLiteral("move");
    QVERIFY(QDir::setCurrent(home));
    const TrashFixtures::CliRun run = TrashFixtures::runCli(
        QStringList{command, QStringLiteral("--no-loose"), QStringLiteral("--folder"),
                    home + QStringLiteral("/models")} +
        words);
    QCOMPARE(run.exitCode, exitCode);
    QByteArray printed = run.out;
    if (arguments.contains(QStringLiteral("--json")))
        printed = QJsonDocument::fromJson(printed).toJson(QJsonDocument::Compact);
    QCOMPARE(QString::fromUtf8(printed), out.replace(QStringLiteral("{home}"), home));
    const QString printedErr = QString::fromUtf8(run.err);
    // A usage error is followed by the usage.
    QVERIFY2(exitCode == 2 ? printedErr.startsWith(err) : printedErr == err,
             qPrintable(printedErr));
    QCOMPARE(Fixtures::isSymlink(file), exitCode == 0 && command == QStringLiteral("move") &&
                                            !arguments.contains(QStringLiteral("--no-symlinks")));
    const bool gone = exitCode == 0 && arguments.contains(QStringLiteral("--no-symlinks"));
    QCOMPARE(QFileInfo(file).size(), gone ? 0 : 1'000'000);
}

QTEST_GUILESS_MAIN(CliMoveTest)
#include "tst_climove.moc"

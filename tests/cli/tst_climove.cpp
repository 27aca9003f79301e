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
    QVERIFY(
        Fixtures::writeFile(m_home->file(u"models/a.gguf"_qs), Fixtures::headBytes(1, 1'000'000)));
    QVERIFY(Fixtures::writeFile(m_home->file(u"models/line\nfeed/b.safetensors"_qs),
                                Fixtures::headBytes(2, 2'000'000)));
    QVERIFY(QDir().mkpath(m_home->file(u"dest"_qs)));
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
        << u"--no-symlinks --to ./dest/ custom-b-2000000 custom-a-1000000"_qs << 0
        << u"{home}/models/line feed/b.safetensors\t{home}/dest/b.safetensors\n"
           "{home}/models/a.gguf\t{home}/dest/a.gguf\n"_qs
        << QString();
    QTest::newRow("JSON")
        << u"--json --to {home}/dest custom-a-1000000"_qs << 0
        << uR"({"error":null,"items":[{"from":"{home}/models/a.gguf","linked":true,)"
           R"("to":"{home}/dest/a.gguf"}],"movedTo":["{home}/dest/a.gguf"],)"
           R"("symlinksCreated":["{home}/models/a.gguf"]})"_qs
        << QString();
    QTest::newRow("JSON, refused plan")
        << u"--json --to {home}/missing custom-a-1000000"_qs << 1
        << uR"({"error":"Destination must be an existing folder","items":[],)"
           R"("movedTo":[],"symlinksCreated":[]})"_qs
        << u"Destination must be an existing folder\n"_qs;
    QTest::newRow("no --to") << u"custom-a-1000000"_qs << 2 << QString()
                             << u"brimvale-cli: missing --to DIR\n"_qs;
    QTest::newRow("no ids") << u"--to /tmp"_qs << 2 << QString()
                            << u"brimvale-cli: no ids given\n"_qs;
    QTest::newRow("unknown option") << u"--force --to /tmp custom-a-1000000"_qs << 2 << QString()
                                    << u"brimvale-cli: unknown option: --force\n"_qs;
    QTest::newRow("unknown id moves nothing")
        << u"--to {home}/dest custom-a-1000000 no-such-id"_qs << 1 << QString()
        << u"No entry with id no-such-id\n"_qs;
    const QString notMoved = u"a.gguf was not moved — there is nothing to move back"_qs;
    QTest::newRow("move-back refuses an entry not moved")
        << u"move-back --json custom-a-1000000"_qs << 1
        << uR"({"error":")"_qs + notMoved + uR"(","items":[],"movedTo":[],"symlinksCreated":[]})"_qs
        << notMoved + u'\n';
    QTest::newRow("move-back, JSON, after a move")
        << u"move-back --json custom-a-1000000"_qs << 0
        << uR"({"error":null,"items":[{"from":"{home}/dest/a.gguf","linked":false,)"
           R"("to":"{home}/models/a.gguf"}],"movedTo":["{home}/models/a.gguf"],)"
           R"("symlinksCreated":[]})"_qs
        << QString();
}

void CliMoveTest::reports()
{
    QFETCH(QString, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const QString home = m_home->path();
    const QString file = m_home->file(u"models/a.gguf"_qs);
    if (QByteArray(QTest::currentDataTag()).endsWith("after a move"))
        QVERIFY(QFile::rename(file, home + u"/dest/a.gguf"_qs) &&
                QFile::link(home + u"/dest/a.gguf"_qs, file));
    QStringList words = arguments.replace(u"{home}"_qs, home).split(u' ');
    const QString command = words[0] == u"move-back"_qs ? words.takeFirst() : u"move"_qs;
    QVERIFY(QDir::setCurrent(home));
    const TrashFixtures::CliRun run = TrashFixtures::runCli(
        QStringList{command, u"--no-loose"_qs, u"--folder"_qs, home + u"/models"_qs} + words);
    QCOMPARE(run.exitCode, exitCode);
    QByteArray printed = run.out;
    if (arguments.contains(u"--json"_qs))
        printed = QJsonDocument::fromJson(printed).toJson(QJsonDocument::Compact);
    QCOMPARE(QString::fromUtf8(printed), out.replace(u"{home}"_qs, home));
    const QString printedErr = QString::fromUtf8(run.err);
    // A usage error is followed by the usage.
    QVERIFY2(exitCode == 2 ? printedErr.startsWith(err) : printedErr == err,
             qPrintable(printedErr));
    QCOMPARE(Fixtures::isSymlink(file),
             exitCode == 0 && command == u"move"_qs && !arguments.contains(u"--no-symlinks"_qs));
    const bool gone = exitCode == 0 && arguments.contains(u"--no-symlinks"_qs);
    QCOMPARE(QFileInfo(file).size(), gone ? 0 : 1'000'000);
}

QTEST_GUILESS_MAIN(CliMoveTest)
#include "tst_climove.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using TrashFixtures::runCli;

// What the CLI itself decides: arguments, output and exit statuses. What it prints comes from
// the core, whose own tests prove it.
class TestCliScan : public QObject
{
    Q_OBJECT

private slots:
    void statuses_data();
    void statuses();
    void scanUsesStoredSettingsAndFolders();
    void plainOutputHasNoControlCharacters();
    void relativePaths();
    void tableFitsTheTerminal();
    void laterSourcesInTheTotals();
    void unusedFor();
};

void TestCliScan::statuses_data()
{
    // Arguments split at blanks; on success stdout starts with the text, otherwise stderr holds it.
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    const QList<std::tuple<QString, int, QString>> rows{
        {u"--version"_qs, 0, u"brimvale-cli " BRIMVALE_VERSION "\n"_qs},
        {u"--help"_qs, 0, u"Usage:"_qs},
        {u"scan"_qs, 0, u"No models found.\n\nTotal reclaimable: Zero KB\n"_qs},
        {u"report"_qs, 0, u"# Brimvale — Model Report\n**Generated:** "_qs},
        {QString(), 2, u"no command given"_qs},
        {u"frobnicate"_qs, 2, u"unknown command or option: frobnicate"_qs},
        {u"--version x"_qs, 2, u"unknown command or option: --version"_qs},
        {u"scan x"_qs, 2, u"unexpected argument: x"_qs},
        {u"scan --folder"_qs, 2, u"missing value for --folder"_qs},
        {u"scan --unused-for"_qs, 2, u"missing value for --unused-for"_qs},
        {u"scan --unused-for 0"_qs, 2, u"--unused-for needs a positive whole number of days"_qs},
        {u"scan --unused-for -3"_qs, 2, u"needs a positive whole number of days, not \"-3\""_qs},
        {u"scan --unused-for 1.5"_qs, 2, u"needs a positive whole number of days, not"_qs},
        {u"scan --unused-for 9x"_qs, 2, u"needs a positive whole number of days, not"_qs},
        {u"folders add"_qs, 2, u"missing folder for add"_qs},
        {u"folders remove /a /b"_qs, 2, u"unexpected argument: /b"_qs},
        {u"folders clear"_qs, 2, u"unexpected argument: clear"_qs},
        {u"folders list /a"_qs, 2, u"unexpected argument: /a"_qs},
        {u"folders --loose"_qs, 2, u"unknown option: --loose"_qs},
        {u"trash -f custom-a"_qs, 2, u"unknown option: -f"_qs},
        {u"folders -x add /tmp"_qs, 2, u"unknown option: -x"_qs},
        {u"trash -- -f"_qs, 1, u"No entry with id -f\n"_qs},
        {u"report --output /no/such/r.md"_qs, 1,
         u"Could not save report: No such file or directory\n"_qs},
        {u"folders add /no/such/"_qs, 1, u"Not a folder: /no/such\n"_qs},
        {u"folders add /dev/null"_qs, 1, u"Not a folder: /dev/null\n"_qs},
    };
    for (const auto& [arguments, status, text] : rows)
        QTest::newRow(arguments.isEmpty() ? "nothing" : qPrintable(arguments))
            << arguments << status << text;
}

void TestCliScan::statuses()
{
    QFETCH(QString, arguments);
    QFETCH(int, status);
    QFETCH(QString, text);
    TestHome home;
    const auto run = runCli(arguments.split(u' ', Qt::SkipEmptyParts));
    QCOMPARE(run.exitCode, status);
    if (status == 0) {
        QVERIFY2(run.out.startsWith(text.toUtf8()), run.out.constData());
    } else {
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.contains(text.toUtf8()), run.err.constData());
        QCOMPARE(run.err.contains("Usage:"), status == 2);
    }
    QVERIFY(!QFileInfo::exists(home.file(u".brimvale"_qs)));
}

void TestCliScan::scanUsesStoredSettingsAndFolders()
{
    TestHome home;
    const QByteArray head = Fixtures::headBytes(31);
    const QString one = home.file(u"one"_qs), two = home.file(u"two"_qs);
    const QString gone = home.file(u"gone"_qs), stored = u"[\"%1\", \"%2/\"]"_qs.arg(one, gone);
    QVERIFY(Fixtures::makeSparseFile(one + u"/Big.gguf"_qs, 60'000'000, head));
    QVERIFY(Fixtures::makeSparseFile(two + u"/Big.gguf"_qs, 60'000'000, head));
    QVERIFY(Fixtures::makeTree(home.path(), {u"Downloads/loose.gguf:20000000"_qs,
                                             u".config/Brimvale/Brimvale.conf=includeLoose=true"_qs,
                                             u".brimvale/custom_paths.json="_qs + stored}));
    const auto json = runCli({u"scan"_qs, u"--json"_qs, u"--folder"_qs, two, u"--folder"_qs, gone});
    QCOMPARE(json.err, "Custom folder no longer exists: " + gone.toUtf8() + "/\n");
    QStringList ids;
    for (const QJsonValue& model : QJsonDocument::fromJson(json.out)[u"models"_qs].toArray())
        ids.push_back(model[u"id"_qs].toString());
    QCOMPARE(ids, (QStringList{u"custom-big-60000000"_qs, u"custom-big-60000000~1"_qs,
                               u"loose-loose"_qs}));

    const auto table = runCli({u"scan"_qs, u"--no-loose"_qs, u"--folder"_qs, two});
    QVERIFY(table.out.contains("Big.gguf ⚠ DUP"));
    QVERIFY(table.out.endsWith("\nTotal reclaimable: 120 MB\n"));
}

void TestCliScan::plainOutputHasNoControlCharacters()
{
    TestHome home;
    const QString folder = home.file(u"a\nb"_qs), gone = home.file(u"gone\r\x1b"_qs);
    QVERIFY(Fixtures::makeSparseFile(folder + u"/m\t.gguf"_qs, 2'000'000));
    const auto run = runCli({u"scan"_qs, u"--folder"_qs, folder, u"--folder"_qs, gone});
    QVERIFY(run.out.contains("custom-m--2000000  m .gguf"));
    QVERIFY(run.err.startsWith("Custom folder no longer exists: "));
    QCOMPARE(runCli({u"folders"_qs, u"add"_qs, folder}).exitCode, 0);
    const auto list = runCli({u"folders"_qs, u"list"_qs});
    QCOMPARE(list.out.count('\n'), 1);
    const QRegularExpression control(u"[^\\P{Cc}\\n]"_qs); // a control character but "\n"
    QVERIFY(!QString::fromUtf8(run.out + run.err + list.out).contains(control));
}

// Paths given on the command line are made absolute and cleaned.
void TestCliScan::relativePaths()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"models/a/"_qs, u"models/b/"_qs}));
    QVERIFY(QDir::setCurrent(home.file(u"models"_qs)));
    const auto report = runCli({u"report"_qs, u"--output"_qs, u"a/../report.md"_qs});
    QCOMPARE(report.out, QByteArray());
    QVERIFY(QFileInfo(home.file(u"models/report.md"_qs)).size() > 100);
    const QString a = home.file(u"models/a"_qs), b = home.file(u"models/b"_qs);
    const auto folders = [](const QStringList& words) { // what it prints, or its failure
        const auto run = runCli(QStringList{u"folders"_qs} + words);
        return run.exitCode == 0 ? QByteArray(run.out + run.err) : QByteArray("failed");
    };
    for (const QString& path : {u"./a/../a/"_qs, b, a})
        QCOMPARE(folders({u"add"_qs, path}), QByteArray());
    QCOMPARE(folders({u"list"_qs}), (a + u'\n' + b + u'\n').toUtf8());
    QCOMPARE(folders({u"remove"_qs, u"a/"_qs}) + folders({u"remove"_qs, u"/not/there"_qs}), "");
    QCOMPARE(folders({}), (b + u'\n').toUtf8());
}

// On a terminal (here a pseudo-terminal with no size, so COLUMNS counts) the table is elided to
// its width; through a pipe it keeps whole values.
void TestCliScan::tableFitsTheTerminal()
{
    TestHome home;
    const QString name = u"A Very Long Model Name With Many Words Q4_K_M.gguf"_qs;
    const QString folder = home.file(u"models/some/deep/folder/for/models"_qs);
    QVERIFY(Fixtures::makeSparseFile(folder + u'/' + name, 300'000'000));
    QCOMPARE(runCli({u"folders"_qs, u"add"_qs, folder}).exitCode, 0);
    const QByteArray whole = "custom-a_very_long_model_name_with_many_words_q4_k_m-300000000  ";
    QVERIFY(runCli({u"scan"_qs}).out.contains(QByteArray(whole + name.toUtf8())));

    QProcess script;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"COLUMNS"_qs, u"60"_qs);
    script.setProcessEnvironment(environment);
    script.setStandardInputFile(QProcess::nullDevice());
    script.setWorkingDirectory(home.path());
    script.start(u"script"_qs,
                 {u"-qec"_qs, QStringLiteral(BRIMVALE_CLI_PATH " scan"), u"/dev/null"_qs});
    QVERIFY(script.waitForFinished(300000));
    const QString out = QString::fromUtf8(script.readAllStandardOutput())
                            .remove(u'\r')
                            .remove(QRegularExpression(u"\x1b\\[[0-9;]*[A-Za-z]"_qs));
    const QStringList lines = out.split(u'\n');
    QVERIFY(lines.size() > 2 && lines[1].contains(u'…') && lines[1].contains(u"  ~/m"_qs));
    for (const QString& line : lines)
        QVERIFY2(line.size() <= 60, qPrintable(line));
}

// Only entries read longer ago than the days given are listed, in the table and in JSON alike.
void TestCliScan::unusedFor()
{
    TestHome home;
    const QString folder = home.file(u"models"_qs);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const auto& [name, days] : {std::pair{u"old"_qs, 100}, {u"recent"_qs, 80}}) {
        const QString path = folder + u'/' + name + u".gguf"_qs;
        QVERIFY(Fixtures::makeSparseFile(path, 2'000'000));
        QVERIFY(Fixtures::setAccessed(path, now - days * 86'400));
    }
    QCOMPARE(runCli({u"folders"_qs, u"add"_qs, folder}).exitCode, 0);
    const auto ids = [](const QByteArray& json) {
        QStringList found;
        for (const QJsonValue& model : QJsonDocument::fromJson(json)[u"models"].toArray())
            found.push_back(model[u"id"].toString());
        return found;
    };
    const auto scan = [](const QString& days, bool json) {
        QStringList arguments{u"scan"_qs, u"--unused-for"_qs, days};
        if (json)
            arguments.push_back(u"--json"_qs);
        return runCli(arguments);
    };
    QCOMPARE(ids(scan(u"90"_qs, true).out), QStringList{u"custom-old-2000000"_qs});
    QCOMPARE(ids(scan(u"70"_qs, true).out).size(), 2);
    QCOMPARE(ids(scan(u"101"_qs, true).out), QStringList());
    const QByteArray table = scan(u"90"_qs, false).out;
    QVERIFY2(table.contains("custom-old-2000000") && !table.contains("custom-recent"),
             table.constData());
    QVERIFY(table.startsWith("ID "));
    QVERIFY(table.contains("  MODIFIED  LAST USED  PATH\n"));
}

// The later sources follow the eight in the totals, each only when it holds something.
void TestCliScan::laterSourcesInTheTotals()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"jan/models/x/x.gguf:3000000"_qs,
                                             u".cache/gpt4all/m.gguf:2000000"_qs,
                                             u".lmstudio/models/p/r/m.gguf:1000000"_qs}));
    const QByteArray out = runCli({u"scan"_qs, u"--no-loose"_qs}).out;
    const qsizetype header = out.indexOf("\nSOURCE ");
    const QList<QByteArray> rows = out.mid(header + 1).split('\n');
    QStringList labels;
    for (const QByteArray& row : rows.mid(1, 3))
        labels.push_back(QString::fromUtf8(row.left(row.indexOf("  "))));
    QCOMPARE(labels, (QStringList{u"LM Studio"_qs, u"GPT4All"_qs, u"Jan"_qs}));
    QVERIFY(rows.value(4).isEmpty());
}

QTEST_GUILESS_MAIN(TestCliScan)
#include "tst_cliscan.moc"

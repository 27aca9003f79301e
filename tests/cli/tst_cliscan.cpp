#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

using TrashFixtures::runCli;

// What the CLI itself decides: arguments, output and exit statuses. What it prints comes from
// the core, whose own tests prove it.
class TestCliScan : public QObject
{
    Q_OBJECT

private slots:
    void statuses_data()
    {
        // Arguments split at blanks; on success stdout starts with the text, otherwise stderr holds
        // it.
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        const QList<std::tuple<QString, int, QString>> rows{
            {u"--version"_s, 0, u"brimvale-cli " BRIMVALE_VERSION "\n"_s},
            {u"--help"_s, 0, u"Usage:"_s},
            {u"scan"_s, 0, u"No models found.\n\nTotal reclaimable: Zero KB\n"_s},
            {u"report"_s, 0, u"# Brimvale — Model Report\n**Generated:** "_s},
            {QString(), 2, u"no command given"_s},
            {u"frobnicate"_s, 2, u"unknown command or option: frobnicate"_s},
            {u"--version x"_s, 2, u"unknown command or option: --version"_s},
            {u"scan x"_s, 2, u"unexpected argument: x"_s},
            {u"scan --folder"_s, 2, u"missing value for --folder"_s},
            {u"scan --unused-for"_s, 2, u"missing value for --unused-for"_s},
            {u"scan --unused-for 0"_s, 2, u"--unused-for needs a positive whole number of days"_s},
            {u"scan --unused-for -3"_s, 2, u"needs a positive whole number of days, not \"-3\""_s},
            {u"scan --unused-for 1.5"_s, 2, u"needs a positive whole number of days, not"_s},
            {u"scan --unused-for 9x"_s, 2, u"needs a positive whole number of days, not"_s},
            {u"folders add"_s, 2, u"missing folder for add"_s},
            {u"folders remove /a /b"_s, 2, u"unexpected argument: /b"_s},
            {u"folders clear"_s, 2, u"unexpected argument: clear"_s},
            {u"folders list /a"_s, 2, u"unexpected argument: /a"_s},
            {u"folders --loose"_s, 2, u"unknown option: --loose"_s},
            {u"trash -f custom-a"_s, 2, u"unknown option: -f"_s},
            {u"folders -x add /tmp"_s, 2, u"unknown option: -x"_s},
            {u"trash -- -f"_s, 1, u"No entry with id -f\n"_s},
            {u"report --output /no/such/r.md"_s, 1,
             u"Could not save report: No such file or directory\n"_s},
            {u"folders add /no/such/"_s, 1, u"Not a folder: /no/such\n"_s},
            {u"folders add /dev/null"_s, 1, u"Not a folder: /dev/null\n"_s},
        };
        for (const auto& [arguments, status, text] : rows)
            QTest::newRow(arguments.isEmpty() ? "nothing" : qPrintable(arguments))
                << arguments << status << text;
    }

    void statuses()
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
        QVERIFY(!QFileInfo::exists(home.file(u".brimvale"_s)));
    }

    void scanUsesStoredSettingsAndFolders()
    {
        TestHome home;
        const QByteArray head = Fixtures::headBytes(31);
        const QString one = home.file(u"one"_s), two = home.file(u"two"_s);
        const QString gone = home.file(u"gone"_s), stored = u"[\"%1\", \"%2/\"]"_s.arg(one, gone);
        QVERIFY(Fixtures::makeSparseFile(one + u"/Big.gguf"_s, 60'000'000, head));
        QVERIFY(Fixtures::makeSparseFile(two + u"/Big.gguf"_s, 60'000'000, head));
        QVERIFY(
            Fixtures::makeTree(home.path(), {u"Downloads/loose.gguf:20000000"_s,
                                             u".config/Brimvale/Brimvale.conf=includeLoose=true"_s,
                                             u".brimvale/custom_paths.json="_s + stored}));
        const auto json = runCli({u"scan"_s, u"--json"_s, u"--folder"_s, two, u"--folder"_s, gone});
        QCOMPARE(json.err, "Custom folder no longer exists: " + gone.toUtf8() + "/\n");
        QStringList ids;
        for (const QJsonValue& model : QJsonDocument::fromJson(json.out)[u"models"_s].toArray())
            ids.push_back(model[u"id"_s].toString());
        QCOMPARE(ids, (QStringList{u"custom-big-60000000"_s, u"custom-big-60000000~1"_s,
                                   u"loose-loose"_s}));

        const auto table = runCli({u"scan"_s, u"--no-loose"_s, u"--folder"_s, two});
        QVERIFY(table.out.contains("Big.gguf ⚠ DUP"));
        QVERIFY(table.out.endsWith("\nTotal reclaimable: 120 MB\n"));
    }

    void plainOutputHasNoControlCharacters()
    {
        TestHome home;
        const QString folder = home.file(u"a\nb"_s), gone = home.file(u"gone\r\x1b"_s);
        QVERIFY(Fixtures::makeSparseFile(folder + u"/m\t.gguf"_s, 2'000'000));
        const auto run = runCli({u"scan"_s, u"--folder"_s, folder, u"--folder"_s, gone});
        QVERIFY(run.out.contains("custom-m--2000000  m .gguf"));
        QVERIFY(run.err.startsWith("Custom folder no longer exists: "));
        QCOMPARE(runCli({u"folders"_s, u"add"_s, folder}).exitCode, 0);
        const auto list = runCli({u"folders"_s, u"list"_s});
        QCOMPARE(list.out.count('\n'), 1);
        const QRegularExpression control(u"[^\\P{Cc}\\n]"_s); // a control character but "\n"
        QVERIFY(!QString::fromUtf8(run.out + run.err + list.out).contains(control));
    }

    // Paths given on the command line are made absolute and cleaned.
    void relativePaths()
    {
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(), {u"models/a/"_s, u"models/b/"_s}));
        QVERIFY(QDir::setCurrent(home.file(u"models"_s)));
        const auto report = runCli({u"report"_s, u"--output"_s, u"a/../report.md"_s});
        QCOMPARE(report.out, QByteArray());
        QVERIFY(QFileInfo(home.file(u"models/report.md"_s)).size() > 100);
        const QString a = home.file(u"models/a"_s), b = home.file(u"models/b"_s);
        const auto folders = [](const QStringList& words) { // what it prints, or its failure
            const auto run = runCli(QStringList{u"folders"_s} + words);
            return run.exitCode == 0 ? QByteArray(run.out + run.err) : QByteArray("failed");
        };
        for (const QString& path : {u"./a/../a/"_s, b, a})
            QCOMPARE(folders({u"add"_s, path}), QByteArray());
        QCOMPARE(folders({u"list"_s}), (a + u'\n' + b + u'\n').toUtf8());
        QCOMPARE(folders({u"remove"_s, u"a/"_s}) + folders({u"remove"_s, u"/not/there"_s}), "");
        QCOMPARE(folders({}), (b + u'\n').toUtf8());
    }

    // On a terminal (here a pseudo-terminal with no size, so COLUMNS counts) the table is elided to
    // its width; through a pipe it keeps whole values.
    void tableFitsTheTerminal()
    {
        TestHome home;
        const QString name = u"A Very Long Model Name With Many Words Q4_K_M.gguf"_s;
        const QString folder = home.file(u"models/some/deep/folder/for/models"_s);
        QVERIFY(Fixtures::makeSparseFile(folder + u'/' + name, 300'000'000));
        QCOMPARE(runCli({u"folders"_s, u"add"_s, folder}).exitCode, 0);
        const QByteArray whole = "custom-a_very_long_model_name_with_many_words_q4_k_m-300000000  ";
        QVERIFY(runCli({u"scan"_s}).out.contains(QByteArray(whole + name.toUtf8())));

        QProcess script;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"COLUMNS"_s, u"60"_s);
        script.setProcessEnvironment(environment);
        script.setStandardInputFile(QProcess::nullDevice());
        script.setWorkingDirectory(home.path());
        script.start(u"script"_s,
                     {u"-qec"_s, QStringLiteral(BRIMVALE_CLI_PATH " scan"), u"/dev/null"_s});
        QVERIFY(script.waitForFinished(300000));
        const QString out = QString::fromUtf8(script.readAllStandardOutput())
                                .remove(u'\r')
                                .remove(QRegularExpression(u"\x1b\\[[0-9;]*[A-Za-z]"_s));
        const QStringList lines = out.split(u'\n');
        QVERIFY(lines.size() > 2 && lines[1].contains(u'…') && lines[1].contains(u"  ~/m"_s));
        for (const QString& line : lines)
            QVERIFY2(line.size() <= 60, qPrintable(line));
    }

    // The later sources follow the eight in the totals, each only when it holds something.
    void laterSourcesInTheTotals()
    {
        TestHome home;
        QVERIFY(Fixtures::makeTree(home.path(), {u"jan/models/x/x.gguf:3000000"_s,
                                                 u".cache/gpt4all/m.gguf:2000000"_s,
                                                 u".lmstudio/models/p/r/m.gguf:1000000"_s}));
        const QByteArray out = runCli({u"scan"_s, u"--no-loose"_s}).out;
        const qsizetype header = out.indexOf("\nSOURCE ");
        const QList<QByteArray> rows = out.mid(header + 1).split('\n');
        QStringList labels;
        for (const QByteArray& row : rows.mid(1, 3))
            labels.push_back(QString::fromUtf8(row.left(row.indexOf("  "))));
        QCOMPARE(labels, (QStringList{u"LM Studio"_s, u"GPT4All"_s, u"Jan"_s}));
        QVERIFY(rows.value(4).isEmpty());
    }

    // Only entries read longer ago than the days given are listed, in the table and in JSON alike.
    void unusedFor()
    {
        TestHome home;
        const QString folder = home.file(u"models"_s);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        for (const auto& [name, days] : {std::pair{u"old"_s, 100}, {u"recent"_s, 80}}) {
            const QString path = folder + u'/' + name + u".gguf"_s;
            QVERIFY(Fixtures::makeSparseFile(path, 2'000'000));
            QVERIFY(Fixtures::setAccessed(path, now - days * 86'400));
        }
        QCOMPARE(runCli({u"folders"_s, u"add"_s, folder}).exitCode, 0);
        const auto ids = [](const QByteArray& json) {
            QStringList found;
            for (const QJsonValue& model : QJsonDocument::fromJson(json)[u"models"].toArray())
                found.push_back(model[u"id"].toString());
            return found;
        };
        const auto scan = [](const QString& days, bool json) {
            QStringList arguments{u"scan"_s, u"--unused-for"_s, days};
            if (json)
                arguments.push_back(u"--json"_s);
            return runCli(arguments);
        };
        QCOMPARE(ids(scan(u"90"_s, true).out), QStringList{u"custom-old-2000000"_s});
        QCOMPARE(ids(scan(u"70"_s, true).out).size(), 2);
        QCOMPARE(ids(scan(u"101"_s, true).out), QStringList());
        const QByteArray table = scan(u"90"_s, false).out;
        QVERIFY2(table.contains("custom-old-2000000") && !table.contains("custom-recent"),
                 table.constData());
        QVERIFY(table.startsWith("ID "));
        QVERIFY(table.contains("  MODIFIED  LAST USED  PATH\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliScan)
#include "tst_cliscan.moc"

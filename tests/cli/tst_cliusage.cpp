#include "TestHome.h"

#include <QProcess>
#include <QTest>

class CliUsageTest : public QObject
{
    Q_OBJECT

private slots:
    void exitStatuses_data();
    void exitStatuses();
};

void CliUsageTest::exitStatuses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stdoutStart");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("version") << QStringList{u"--version"_qs} << 0
                             << u"brimvale-cli " BRIMVALE_VERSION "\n"_qs << QString();
    QTest::newRow("help") << QStringList{u"--help"_qs} << 0 << u"Usage:"_qs << QString();
    QTest::newRow("nothing") << QStringList{} << 2 << QString() << u"Usage:"_qs;
    QTest::newRow("unknown command") << QStringList{u"frobnicate"_qs} << 2 << QString()
                                     << u"unknown command or option: frobnicate"_qs;
    QTest::newRow("unknown option")
        << QStringList{u"--bogus"_qs} << 2 << QString() << u"unknown command or option: --bogus"_qs;
    QTest::newRow("version with extra")
        << QStringList{u"--version"_qs, u"x"_qs} << 2 << QString() << u"Usage:"_qs;
}

void CliUsageTest::exitStatuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, stdoutStart);
    QFETCH(QString, stderrHas);
    TestHome home;
    QProcess process;
    process.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments);
    QVERIFY(process.waitForFinished(30'000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    if (stdoutStart.isEmpty())
        QVERIFY(out.isEmpty());
    else
        QVERIFY2(out.startsWith(stdoutStart), qPrintable(out));
    if (!stderrHas.isEmpty())
        QVERIFY2(err.contains(stderrHas), qPrintable(err));
}

QTEST_GUILESS_MAIN(CliUsageTest)
#include "tst_cliusage.moc"

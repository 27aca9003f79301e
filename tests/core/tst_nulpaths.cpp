// A path read from a file that holds NUL names nothing: the kernel would end it at the NUL and act
// on the folder above, so every reader skips it and the shared file steps refuse it.
#include "Fixtures.h"
#include "TestHome.h"
#include "fs/CustomFolders.h"
#include "fs/PathParts.h"
#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/CustomFolderScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/LooseScanner.h"

#include <QFile>
#include <QTest>
#include <cerrno>

class NulPathsTest : public QObject
{
    Q_OBJECT

private slots:
    void readersSkipThem_data();
    void readersSkipThem();
    void fileStepsRefuseThem();
};

void NulPathsTest::readersSkipThem_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("file");       // relative to the home
    QTest::addColumn<QByteArray>("content"); // "@" stands for an existing folder
    QTest::addColumn<QString>("model");      // relative to that folder

    QTest::newRow("LM Studio downloadsFolder")
        << QStringLiteral("lmstudio") << QStringLiteral(".lmstudio/settings.json")
        << QByteArrayLiteral(R"({"downloadsFolder": "@\u0000x"})")
        << QStringLiteral("pub/r/c.gguf");
    QTest::newRow("LM Studio home pointer")
        << QStringLiteral("lmstudio") << QStringLiteral(".lmstudio-home-pointer")
        << QByteArrayLiteral("@\0x") << QStringLiteral("models/pub/r/c.gguf");
    QTest::newRow("ComfyUI base_path")
        << QStringLiteral("comfyui") << QStringLiteral("ComfyUI/extra_model_paths.yaml")
        << QByteArrayLiteral("a:\n  base_path: @\0x\n")
        << QStringLiteral("models/checkpoints/m.safetensors");
    QTest::newRow("custom folder")
        << QStringLiteral("custom") << QStringLiteral(".brimvale/custom_paths.json")
        << QByteArrayLiteral(R"(["@\u0000x"])") << QStringLiteral("m.gguf");
    QTest::newRow("user-dirs") << QStringLiteral("loose")
                               << QStringLiteral(".config/user-dirs.dirs")
                               << QByteArrayLiteral("XDG_DOWNLOAD_DIR=\"@\0x\"\n")
                               << QStringLiteral("m.gguf");
}

void NulPathsTest::readersSkipThem()
{
    QFETCH(QString, reader);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, model);
    TestHome home;
    const QString folder = home.root() + QStringLiteral("/elsewhere");
    QVERIFY(Fixtures::makeSparseFile(folder + u'/' + model, 20'000'000));
    QVERIFY(Fixtures::writeFile(home.file(file), content.replace('@', QFile::encodeName(folder))));

    SourceScan scan;
    if (reader == QStringLiteral("lmstudio"))
        scan = LMStudioScanner::scan();
    else if (reader == QStringLiteral("comfyui"))
        scan = ComfyUIScanner::scan();
    else if (reader == QStringLiteral("custom"))
        scan = CustomFolderScanner::scan(CustomFolders::load());
    else
        scan = LooseScanner::scan({});
    QCOMPARE(scan.models.size(), 0);
    QCOMPARE(scan.errors, QStringList());
}

void NulPathsTest::fileStepsRefuseThem()
{
    TestHome home;
    const QString folder = home.path();
    const QString nul = folder + QChar(u'\0') + QStringLiteral("x");
    QVERIFY(PosixIO::exists(folder) && PosixIO::lexists(folder) && PosixIO::isFolder(folder));
    QVERIFY(!PosixIO::exists(nul) && !PosixIO::lexists(nul) && !PosixIO::isFolder(nul));
    QCOMPARE(PathParts::resolved(nul), std::nullopt);
    QCOMPARE(PosixIO::readRegularFile(nul), std::nullopt);
    QVERIFY(Fixtures::writeFile(home.file(QStringLiteral("a.bin")), "a"));
    QCOMPARE(PosixIO::renameNoReplace(home.file(QStringLiteral("a.bin")), nul), EINVAL);
    QVERIFY_THROWS_EXCEPTION(BrimvaleError, PosixIO::makePath(nul + QStringLiteral("/y")));
    QVERIFY_THROWS_EXCEPTION(BrimvaleError, PosixIO::writeAtomically(nul, "b"));
    QVERIFY(PosixIO::lexists(home.file(QStringLiteral("a.bin"))));
    QVERIFY(!PosixIO::lexists(home.file(QStringLiteral("x"))));
}

QTEST_GUILESS_MAIN(NulPathsTest)
#include "tst_nulpaths.moc"

// A path read from a file that holds NUL names nothing: the kernel would end it at the NUL and act
// on the folder above, so every reader skips it and the shared file steps refuse it.
#include "Fixtures.h"
#include "TestHome.h"
#include "fs/CustomFolders.h"
#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"
#include "model/PathParts.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/CustomFolderScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/LooseScanner.h"

#include <QFile>
#include <QTest>
#include <cerrno>

using namespace Qt::StringLiterals;

class NulPathsTest : public QObject
{
    Q_OBJECT

private slots:
    void readersSkipThem_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("file");       // relative to the home
        QTest::addColumn<QByteArray>("content"); // "@" stands for an existing folder
        QTest::addColumn<QString>("model");      // relative to that folder

        QTest::newRow("LM Studio downloadsFolder")
            << u"lmstudio"_s << u".lmstudio/settings.json"_s
            << QByteArrayLiteral(R"({"downloadsFolder": "@\u0000x"})") << u"pub/r/c.gguf"_s;
        QTest::newRow("LM Studio home pointer")
            << u"lmstudio"_s << u".lmstudio-home-pointer"_s << QByteArrayLiteral("@\0x")
            << u"models/pub/r/c.gguf"_s;
        QTest::newRow("ComfyUI base_path") << u"comfyui"_s << u"ComfyUI/extra_model_paths.yaml"_s
                                           << QByteArrayLiteral("a:\n  base_path: @\0x\n")
                                           << u"models/checkpoints/m.safetensors"_s;
        QTest::newRow("custom folder") << u"custom"_s << u".brimvale/custom_paths.json"_s
                                       << QByteArrayLiteral(R"(["@\u0000x"])") << u"m.gguf"_s;
        QTest::newRow("user-dirs")
            << u"loose"_s << u".config/user-dirs.dirs"_s
            << QByteArrayLiteral("XDG_DOWNLOAD_DIR=\"@\0x\"\n") << u"m.gguf"_s;
    }

    void readersSkipThem()
    {
        QFETCH(QString, reader);
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, model);
        TestHome home;
        const QString folder = home.root() + u"/elsewhere"_s;
        QVERIFY(Fixtures::makeSparseFile(folder + u'/' + model, 20'000'000));
        QVERIFY(
            Fixtures::writeFile(home.file(file), content.replace('@', QFile::encodeName(folder))));

        SourceScan scan;
        if (reader == u"lmstudio"_s)
            scan = LMStudioScanner::scan();
        else if (reader == u"comfyui"_s)
            scan = ComfyUIScanner::scan();
        else if (reader == u"custom"_s)
            scan = CustomFolderScanner::scan(CustomFolders::load());
        else
            scan = LooseScanner::scan({});
        QCOMPARE(scan.models.size(), 0);
        QCOMPARE(scan.errors, QStringList());
    }

    void fileStepsRefuseThem()
    {
        TestHome home;
        const QString folder = home.path();
        const QString nul = folder + QChar(u'\0') + u"x"_s;
        QVERIFY(PosixIO::exists(folder) && PosixIO::lexists(folder) && PosixIO::isFolder(folder));
        QVERIFY(!PosixIO::exists(nul) && !PosixIO::lexists(nul) && !PosixIO::isFolder(nul));
        QCOMPARE(PathParts::resolved(nul), std::nullopt);
        QCOMPARE(PosixIO::readRegularFile(nul), std::nullopt);
        QVERIFY(Fixtures::writeFile(home.file(u"a.bin"_s), "a"));
        QCOMPARE(PosixIO::renameNoReplace(home.file(u"a.bin"_s), nul), EINVAL);
        QVERIFY_THROWS_EXCEPTION(BrimvaleError, PosixIO::makePath(nul + u"/y"_s));
        QVERIFY_THROWS_EXCEPTION(BrimvaleError, PosixIO::writeAtomically(nul, "b"));
        QVERIFY(PosixIO::lexists(home.file(u"a.bin"_s)));
        QVERIFY(!PosixIO::lexists(home.file(u"x"_s)));
    }
};

QTEST_GUILESS_MAIN(NulPathsTest)
#include "tst_nulpaths.moc"

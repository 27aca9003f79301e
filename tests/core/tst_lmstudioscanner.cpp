#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/LMStudioScanner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <sys/stat.h>

namespace {

// Tree lines relative to the home, with "<HOME>" standing for the home's path.
bool makeHomeTree(const TestHome& home, QStringList lines)
{
    for (QString& line : lines)
        line.replace(u"<HOME>"_qs, home.path());
    return Fixtures::makeTree(home.path(), lines);
}

QStringList relativeToHome(const QStringList& paths, const TestHome& home)
{
    QStringList result;
    for (const QString& path : paths)
        result.push_back(path.startsWith(home.path() + u'/') ? path.mid(home.path().size() + 1)
                                                             : path);
    return result;
}

bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

} // namespace

class LMStudioScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void entries_data();
    void entries();
    void modelsDirs_data();
    void modelsDirs();
    void sizeLimits_data();
    void sizeLimits();
    void fifosNeverBlock();
    void scanOrderAndDuplicates();
};

void LMStudioScannerTest::entries_data()
{
    QTest::addColumn<QString>("relative"); // below ~/.lmstudio/models
    QTest::addColumn<QString>("name");     // empty: not a model file
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("quantization");
    QTest::newRow("publisher/repository/file")
        << u"lmstudio-community/Meta-Llama-3-8B-Instruct-GGUF/Meta-Llama-3-8B-Instruct-Q4_K_M.gguf"_qs
        << u"lmstudio-community/Meta-Llama-3-8B-Instruct-GGUF/Meta-Llama-3-8B-Instruct-Q4_K_M.gguf"_qs
        << u"lmstudio-meta-llama-3-8b-instruct-q4_k_m"_qs << u"Q4_K_M"_qs;
    QTest::newRow("four levels: first three components")
        << u"a/b/c/d-Q8_0.gguf"_qs << u"a/b/c"_qs << u"lmstudio-d-q8_0"_qs << u"Q8_0"_qs;
    QTest::newRow("two levels") << u"pub/x.safetensors"_qs << u"pub/x.safetensors"_qs
                                << u"lmstudio-x"_qs << QString();
    QTest::newRow("in the root") << u"root.gguf"_qs << u"root.gguf"_qs << u"lmstudio-root"_qs
                                 << QString();
    QTest::newRow("upper-case extension")
        << u"p/r/MODEL.GGUF"_qs << u"p/r/MODEL.GGUF"_qs << u"lmstudio-model"_qs << QString();
    QTest::newRow("blanks and mixed-case extension")
        << u"p/r/My Model bf16.SafeTensors"_qs << u"p/r/My Model bf16.SafeTensors"_qs
        << u"lmstudio-my_model_bf16"_qs << u"bf16"_qs;
    QTest::newRow(".bin") << u"p/r/w.bin"_qs << u"p/r/w.bin"_qs << u"lmstudio-w"_qs << QString();
    QTest::newRow(".ggml") << u"p/r/w.ggml"_qs << u"p/r/w.ggml"_qs << u"lmstudio-w"_qs << QString();
    QTest::newRow(".mlx") << u"p/r/w.mlx"_qs << u"p/r/w.mlx"_qs << u"lmstudio-w"_qs << QString();
    QTest::newRow("only the last extension goes")
        << u"p/r/a.b.gguf"_qs << u"p/r/a.b.gguf"_qs << u"lmstudio-a.b"_qs << QString();
    QTest::newRow("inside a hidden folder")
        << u"p/.cache/x.gguf"_qs << u"p/.cache/x.gguf"_qs << u"lmstudio-x"_qs << QString();
    QTest::newRow("text file") << u"p/r/readme.txt"_qs << QString() << QString() << QString();
    QTest::newRow("hidden model file") << u"p/r/.x.gguf"_qs << QString() << QString() << QString();
    QTest::newRow("partial download")
        << u"p/r/x.gguf.part"_qs << QString() << QString() << QString();
    QTest::newRow("extension alone without dot")
        << u"p/r/gguf"_qs << QString() << QString() << QString();
}

void LMStudioScannerTest::entries()
{
    QFETCH(QString, relative);
    QFETCH(QString, name);
    QFETCH(QString, id);
    QFETCH(QString, quantization);
    TestHome home;
    const QString path = home.file(u".lmstudio/models/"_qs) + relative;
    QVERIFY(Fixtures::writeFile(path, "12345"));
    QVERIFY(Fixtures::setModified(path, 1'700'000'000));
    const SourceScan scan = LMStudioScanner::scan();
    QVERIFY(scan.errors.isEmpty());
    if (name.isEmpty()) {
        QVERIFY(scan.models.isEmpty());
        return;
    }
    QCOMPARE(scan.models.size(), 1);
    const ModelEntry& entry = scan.models[0];
    QCOMPARE(entry.id, id);
    QCOMPARE(entry.name, name);
    QCOMPARE(entry.source, ModelSource::lmStudio);
    QCOMPARE(entry.quantization.value_or(QString()), quantization);
    QCOMPARE(entry.sizeBytes, 5);
    QCOMPARE(entry.reclaimableBytes, 5);
    QCOMPARE(entry.primaryPath, path);
    QCOMPARE(entry.allPaths, QStringList{path});
    QCOMPARE(entry.lastModified.value_or(QDateTime()),
             QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
    QCOMPARE(entry.deleteRisk, DeleteRisk::safe);
    QVERIFY(!entry.detail);
}

void LMStudioScannerTest::modelsDirs_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("expected");
    const QString both = u".lmstudio/models/"_qs;
    QTest::newRow("the two default folders")
        << QStringList{both, u".cache/lm-studio/models/"_qs}
        << QStringList{u".lmstudio/models"_qs, u".cache/lm-studio/models"_qs};
    QTest::newRow("missing folders dropped") << QStringList{u".cache/lm-studio/models/"_qs}
                                             << QStringList{u".cache/lm-studio/models"_qs};
    QTest::newRow("downloads folder before its base's models")
        << QStringList{both, u"dl/"_qs, u".cache/lm-studio/models/"_qs,
                       u".cache/lm-studio/settings.json={\"downloadsFolder\":\"<HOME>/dl\"}"_qs}
        << QStringList{u".lmstudio/models"_qs, u"dl"_qs, u".cache/lm-studio/models"_qs};
    QTest::newRow("downloads folder equal to a models folder: once")
        << QStringList{both,
                       u".lmstudio/settings.json={\"downloadsFolder\":\"<HOME>/.lmstudio/models/\"}"_qs}
        << QStringList{u"<HOME>/.lmstudio/models/"_qs};
    QTest::newRow("one base links to the other: once")
        << QStringList{both, u".cache/lm-studio->../.lmstudio"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("relative downloads folder ignored")
        << QStringList{both, u"dl/"_qs, u".lmstudio/settings.json={\"downloadsFolder\":\"dl\"}"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("settings not an object")
        << QStringList{both, u"dl/"_qs, u".lmstudio/settings.json=[\"<HOME>/dl\"]"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("downloads folder not text")
        << QStringList{both, u".lmstudio/settings.json={\"downloadsFolder\":5}"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("settings not JSON")
        << QStringList{both, u".lmstudio/settings.json={\"downloadsFolder\":"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("settings a folder")
        << QStringList{both, u".lmstudio/settings.json/"_qs} << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("pointed base first, trimmed")
        << QStringList{both, u"lms/models/"_qs, u"lms/dl/"_qs,
                       u"lms/settings.json={\"downloadsFolder\":\"<HOME>/lms/dl\"}"_qs,
                       u".lmstudio-home-pointer= \t<HOME>/lms/\n\n"_qs}
        << QStringList{u"lms/dl"_qs, u"lms/models"_qs, u".lmstudio/models"_qs};
    QTest::newRow("relative pointer ignored")
        << QStringList{both, u"lms/models/"_qs, u".lmstudio-home-pointer=lms"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("pointer to a missing folder ignored")
        << QStringList{both, u".lmstudio-home-pointer=<HOME>/gone"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("pointer to a file ignored")
        << QStringList{both, u"lms=x"_qs, u".lmstudio-home-pointer=<HOME>/lms"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("pointer to a default base: once")
        << QStringList{both, u".lmstudio-home-pointer=<HOME>/.lmstudio"_qs}
        << QStringList{u".lmstudio/models"_qs};
    QTest::newRow("pointer file a folder")
        << QStringList{both, u".lmstudio-home-pointer/"_qs} << QStringList{u".lmstudio/models"_qs};
}

void LMStudioScannerTest::modelsDirs()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, expected);
    TestHome home;
    QVERIFY(makeHomeTree(home, tree));
    for (QString& path : expected)
        path.replace(u"<HOME>"_qs, home.path());
    QCOMPARE(relativeToHome(LMStudioScanner::modelsDirs(), home), relativeToHome(expected, home));
}

void LMStudioScannerTest::sizeLimits_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("used");
    QTest::newRow("pointer of exactly 1 MiB")
        << u".lmstudio-home-pointer"_qs << (qint64(1) << 20) << true;
    QTest::newRow("pointer one byte larger")
        << u".lmstudio-home-pointer"_qs << (qint64(1) << 20) + 1 << false;
    QTest::newRow("settings of exactly 1 MiB")
        << u".lmstudio/settings.json"_qs << (qint64(1) << 20) << true;
    QTest::newRow("settings one byte larger")
        << u".lmstudio/settings.json"_qs << (qint64(1) << 20) + 1 << false;
}

void LMStudioScannerTest::sizeLimits()
{
    QFETCH(QString, file);
    QFETCH(qint64, size);
    QFETCH(bool, used);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u".lmstudio/models/"_qs, u"other/models/"_qs}));
    const QString other = home.file(u"other"_qs);
    QByteArray content = file.endsWith(u".json"_qs)
                             ? "{\"downloadsFolder\":\"" + QFile::encodeName(other) + "\"}"
                             : QFile::encodeName(other);
    content.append(QByteArray(size - content.size(), '\n'));
    QVERIFY(Fixtures::writeFile(home.file(file), content));
    const QStringList dirs = LMStudioScanner::modelsDirs();
    QCOMPARE(dirs.contains(other) || dirs.contains(other + u"/models"_qs), used);
}

void LMStudioScannerTest::fifosNeverBlock()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {u".lmstudio/models/a.gguf=1"_qs, u".cache/lm-studio/models/"_qs}));
    QVERIFY(makeFifo(home.file(u".lmstudio-home-pointer"_qs)));
    QVERIFY(makeFifo(home.file(u".lmstudio/settings.json"_qs)));
    QVERIFY(makeFifo(home.file(u".lmstudio/models/pipe.gguf"_qs)));
    const SourceScan scan = LMStudioScanner::scan();
    QCOMPARE(scan.models.size(), 1);
    QCOMPARE(scan.models[0].id, u"lmstudio-a"_qs);
}

void LMStudioScannerTest::scanOrderAndDuplicates()
{
    TestHome home;
    QVERIFY(
        makeHomeTree(home, {u".lmstudio/models/p/r/m-Q4_0.gguf=1"_qs,
                            u".lmstudio/models/p/r/mmproj.bin=12"_qs, u"dl/p/r/m-Q4_0.gguf=123"_qs,
                            u".lmstudio/settings.json={\"downloadsFolder\":\"<HOME>/dl\"}"_qs,
                            u".cache/lm-studio/models->../../.lmstudio/models"_qs}));
    const SourceScan scan = LMStudioScanner::scan();
    QStringList found;
    for (const ModelEntry& entry : scan.models)
        found.push_back(entry.id + u'=' + QString::number(entry.sizeBytes));
    // The downloads folder first; the linked default folder adds nothing; the same file name in
    // two folders keeps the same id here (made unique by the full scan).
    QCOMPARE(found, (QStringList{u"lmstudio-m-q4_0=3"_qs, u"lmstudio-m-q4_0=1"_qs,
                                 u"lmstudio-mmproj=2"_qs}));
}

QTEST_GUILESS_MAIN(LMStudioScannerTest)
#include "tst_lmstudioscanner.moc"

#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/ComfyUIScanner.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using ScanReadout::idsOf;
using ScanReadout::pathsOf;

class TestComfyUIScanner : public QObject
{
    Q_OBJECT

private slots:
    void noInstallationGivesNothing();
    void modelFiles_data();
    void modelFiles();
    void everyRootIsSearched_data();
    void everyRootIsSearched();
    void searchOrderFollowsRootsThenCategories();
    void extraModelPaths_data();
    void extraModelPaths();
    void unusableYamlNamesNothing_data();
    void unusableYamlNamesNothing();
    void relativeBasePathIsTakenFromTheYamlFolder();
    void basePathRepeatingARootIsSearchedOnce();
    void linkedRootsAreBothSearched();
    void extraFoldersAreNotAskedForYaml();
    void yamlThatIsAFifoNeverBlocks();
    void unreadableCategoryFolderIsSkipped();
};

void TestComfyUIScanner::noInstallationGivesNothing()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"models/checkpoints/x.safetensors:2000000"_s,
                                             u"Documents/other/models/vae/y.ckpt:2000000"_s}));
    const SourceScan scan = ComfyUIScanner::scan();
    QVERIFY(scan.models.isEmpty());
    QVERIFY(scan.errors.isEmpty());
}

void TestComfyUIScanner::modelFiles_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("id"); // empty: not reported
    QTest::addColumn<QString>("detail");

    QTest::newRow("name with blank and mixed case")
        << "models/checkpoints/Model Name.SafeTensors" << qint64(2'000'000) << "comfy-model_name"
        << "Stable Diffusion checkpoint";
    QTest::newRow("exactly 1,000,000 bytes")
        << "models/checkpoints/edge.ckpt" << qint64(1'000'000) << "comfy-edge"
        << "Stable Diffusion checkpoint";
    QTest::newRow("999,999 bytes") << "models/checkpoints/small.ckpt" << qint64(999'999) << ""
                                   << "";
    QTest::newRow("dot file") << "models/checkpoints/.partial.safetensors" << qint64(2'000'000)
                              << ""
                              << "";
    QTest::newRow("visible file in a hidden folder")
        << "models/loras/.cache/style.safetensors" << qint64(2'000'000) << "comfy-style"
        << "LoRA adapter";
    QTest::newRow("deep below a category")
        << "models/vae/a/b/c/kl.pt" << qint64(2'000'000) << "comfy-kl"
        << "VAE model";
    QTest::newRow("folder outside the categories")
        << "models/ipadapter/ip.safetensors" << qint64(2'000'000) << ""
        << "";
    QTest::newRow("only the last extension goes")
        << "models/controlnet/canny.v1.1.pth" << qint64(2'000'000) << "comfy-canny.v1.1"
        << "ControlNet model";
    QTest::newRow("upper-case extension")
        << "models/unet/Flux.GGUF" << qint64(2'000'000) << "comfy-flux"
        << "UNet model";
    QTest::newRow(".bin") << "models/diffusion_models/wan.bin" << qint64(2'000'000) << "comfy-wan"
                          << "Diffusion model";
    QTest::newRow("clip") << "models/clip/clip_l.safetensors" << qint64(2'000'000) << "comfy-clip_l"
                          << "CLIP model";
    QTest::newRow("text encoder") << "models/text_encoders/t5.safetensors" << qint64(2'000'000)
                                  << "comfy-t5"
                                  << "Text encoder";
    QTest::newRow("upscale") << "models/upscale_models/4x.pth" << qint64(2'000'000) << "comfy-4x"
                             << "Upscale model";
    QTest::newRow("embedding") << "models/embeddings/Bad Hands.pt" << qint64(2'000'000)
                               << "comfy-bad_hands"
                               << "Textual inversion embedding";
    QTest::newRow("diffusers") << "models/diffusers/sdxl/unet/diffusion_pytorch_model.safetensors"
                               << qint64(2'000'000) << "comfy-diffusion_pytorch_model"
                               << "Diffusers model";
    QTest::newRow(".onnx is no ComfyUI model")
        << "models/checkpoints/x.onnx" << qint64(2'000'000) << ""
        << "";
    QTest::newRow(".mlx is no ComfyUI model")
        << "models/checkpoints/x.mlx" << qint64(2'000'000) << ""
        << "";
    QTest::newRow("extension lower-cased by Unicode rules (Kelvin sign)")
        << QString::fromUtf8("models/checkpoints/old.C\u212APT") << qint64(2'000'000) << "comfy-old"
        << "Stable Diffusion checkpoint";
}

void TestComfyUIScanner::modelFiles()
{
    QFETCH(QString, relative);
    QFETCH(qint64, size);
    QFETCH(QString, id);
    QFETCH(QString, detail);
    TestHome home;
    const QString path = home.file(u"ComfyUI/"_s + relative);
    QVERIFY(Fixtures::makeSparseFile(path, size));
    QVERIFY(Fixtures::setModified(path, 1'700'000'000));

    const SourceScan scan = ComfyUIScanner::scan();
    QVERIFY(scan.errors.isEmpty());
    if (id.isEmpty()) {
        QVERIFY(scan.models.isEmpty());
        return;
    }
    QCOMPARE(scan.models.size(), 1);
    const ModelEntry& entry = scan.models.first();
    QCOMPARE(entry.id, id);
    QCOMPARE(entry.name, relative.mid(relative.lastIndexOf(u'/') + 1));
    QCOMPARE(entry.source, ModelSource::comfyUI);
    QCOMPARE(entry.sizeBytes, size);
    QCOMPARE(entry.reclaimableBytes, size);
    QCOMPARE(entry.primaryPath, path);
    QCOMPARE(entry.allPaths, QStringList{path});
    QCOMPARE(entry.lastModified, QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
    QCOMPARE(entry.deleteRisk, DeleteRisk::safe);
    QCOMPARE(entry.quantization, std::nullopt);
    QCOMPARE(entry.detail, std::optional<QString>(detail));
    QCOMPARE(entry.partialHash, std::nullopt);
    QVERIFY(!entry.isDuplicate);
}

void TestComfyUIScanner::everyRootIsSearched_data()
{
    QTest::addColumn<QString>("root");
    QTest::newRow("home") << "ComfyUI";
    QTest::newRow("Documents") << "Documents/ComfyUI";
    QTest::newRow("Desktop") << "Desktop/ComfyUI";
    QTest::newRow("data home") << ".local/share/ComfyUI";
    QTest::newRow("comfy-cli workspace") << "comfy/ComfyUI";
}

void TestComfyUIScanner::everyRootIsSearched()
{
    QFETCH(QString, root);
    TestHome home;
    const QString path = home.file(root + u"/models/vae/ae.safetensors"_s);
    QVERIFY(Fixtures::makeSparseFile(path, 3'000'000));
    QCOMPARE(pathsOf(ComfyUIScanner::scan()), QStringList{path});
    QCOMPARE(ComfyUIScanner::roots(), QStringList{home.file(root)});
}

void TestComfyUIScanner::searchOrderFollowsRootsThenCategories()
{
    TestHome home;
    QVERIFY(
        Fixtures::makeTree(home.path(), {
                                            u"comfy/ComfyUI/models/checkpoints/e.ckpt:2000000"_s,
                                            u"ComfyUI/models/vae/b.ckpt:2000000"_s,
                                            u"ComfyUI/models/checkpoints/a.ckpt:2000000"_s,
                                            u"Desktop/ComfyUI/models/loras/d.ckpt:2000000"_s,
                                            u"Documents/ComfyUI/models/diffusers/c.ckpt:2000000"_s,
                                        }));
    QCOMPARE(idsOf(ComfyUIScanner::scan()),
             (QStringList{u"comfy-a"_s, u"comfy-b"_s, u"comfy-c"_s, u"comfy-d"_s, u"comfy-e"_s}));
}

void TestComfyUIScanner::extraModelPaths_data()
{
    QTest::addColumn<QByteArray>("yaml");
    QTest::addColumn<QStringList>("expected"); // relative to the home

    const QStringList shared{u"AI/shared"_s};
    QTest::newRow("indented, single quotes, tilde")
        << QByteArray("comfyui:\n    base_path: '~/AI/shared'\n    checkpoints: models/x\n")
        << shared;
    QTest::newRow("double quotes") << QByteArray("base_path: \"~/AI/shared\"") << shared;
    QTest::newRow("mixed quotes on both ends")
        << QByteArray("base_path: \"'~/AI/shared'\"'") << shared;
    QTest::newRow("no blank after the colon") << QByteArray("base_path:~/AI/shared") << shared;
    QTest::newRow("tabs and no-break spaces around")
        << QByteArray("\t\xc2\xa0 base_path:\t~/AI/shared \xe3\x80\x80\t") << shared;
    QTest::newRow("trailing comment names nothing")
        << QByteArray("base_path: ~/AI/shared # mine") << QStringList();
    QTest::newRow("commented-out line") << QByteArray("# base_path: ~/AI/shared") << QStringList();
    QTest::newRow("key in other case") << QByteArray("Base_path: ~/AI/shared") << QStringList();
    QTest::newRow("empty value") << QByteArray("base_path:  '' \nbase_path:") << QStringList();
    QTest::newRow("missing folder") << QByteArray("base_path: ~/AI/gone") << QStringList();
    QTest::newRow("lone tilde is not the home") << QByteArray("base_path: ~") << QStringList();
    QTest::newRow("two lines both count, in file order")
        << QByteArray("a:\n  base_path: ~/AI/other\nb:\n  base_path: ~/AI/shared\n")
        << QStringList{u"AI/other"_s, u"AI/shared"_s};
    QTest::newRow("CRLF, CR and U+2028 line breaks")
        << QByteArray("x: 1\r\nbase_path: ~/AI/other\rbase_path: ~/AI/shared\xe2\x80\xa8y: 2")
        << QStringList{u"AI/other"_s, u"AI/shared"_s};
    QTest::newRow("absolute value") << QByteArray("base_path: @HOME@/AI/shared") << shared;
    QTest::newRow("relative value from the file's folder")
        << QByteArray("base_path: ../AI/shared") << shared;
    QTest::newRow("very long line before")
        << QByteArray(900'000, 'x') + "\nbase_path: ~/AI/shared" << shared;
}

void TestComfyUIScanner::extraModelPaths()
{
    QFETCH(QByteArray, yaml);
    QFETCH(QStringList, expected);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"AI/shared/"_s, u"AI/other/"_s, u"ComfyUI/"_s}));
    const QString file = home.file(u"ComfyUI/extra_model_paths.yaml"_s);
    yaml.replace("@HOME@", QFile::encodeName(home.path()));
    QVERIFY(Fixtures::writeFile(file, yaml));
    QStringList absolute;
    for (const QString& relative : expected)
        absolute.push_back(home.file(relative));
    QCOMPARE(ComfyUIScanner::extraModelPaths(file), absolute);
}

void TestComfyUIScanner::unusableYamlNamesNothing_data()
{
    QTest::addColumn<QByteArray>("yaml");
    QTest::addColumn<bool>("named");

    const QByteArray line("base_path: ~/AI/shared\n");
    QTest::newRow("not UTF-8") << line + "comment: caf\xe9\n" << false;
    QTest::newRow("exactly 1 MiB") << line + QByteArray((1 << 20) - line.size() - 1, 'x') + '\n'
                                   << true;
    QTest::newRow("one byte over 1 MiB") << line + QByteArray((1 << 20) - line.size(), 'x') + '\n'
                                         << false;
    QTest::newRow("binary with a NUL") << QByteArray("base_path: ~/AI/\0shared", 23) << false;
}

void TestComfyUIScanner::unusableYamlNamesNothing()
{
    QFETCH(QByteArray, yaml);
    QFETCH(bool, named);
    TestHome home;
    QVERIFY(Fixtures::makeTree(
        home.path(), {u"AI/shared/models/vae/x.safetensors:2000000"_s, u"ComfyUI/models/"_s}));
    QVERIFY(Fixtures::writeFile(home.file(u"ComfyUI/extra_model_paths.yaml"_s), yaml));
    QCOMPARE(ComfyUIScanner::scan().models.size(), named ? 1 : 0);
}

void TestComfyUIScanner::relativeBasePathIsTakenFromTheYamlFolder()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(
        home.path(), {u"ComfyUI/extra_model_paths.yaml=base_path: ../shared"_s,
                      u"shared/models/vae/ae.safetensors:2000000"_s, u"elsewhere/deeper/"_s}));
    // The current directory must play no part.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(home.file(u"elsewhere/deeper"_s)));
    const SourceScan scan = ComfyUIScanner::scan();
    QDir::setCurrent(before);
    QCOMPARE(pathsOf(scan), QStringList{home.file(u"shared/models/vae/ae.safetensors"_s)});
}

void TestComfyUIScanner::basePathRepeatingARootIsSearchedOnce()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(
        home.path(), {u"ComfyUI/models/checkpoints/m.safetensors:2000000"_s,
                      u"Documents/ComfyUI/extra_model_paths.yaml=base_path: ~/ComfyUI/\n"_s
                      u"base_path: ~/Documents/../ComfyUI/.\n"_s
                      u"base_path: ~/ComfyUI"_s}));
    QCOMPARE(ComfyUIScanner::scan().models.size(), 1);
}

void TestComfyUIScanner::linkedRootsAreBothSearched()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"ComfyUI/models/checkpoints/m.safetensors:2000000"_s,
                                             u"Documents/ComfyUI->../ComfyUI"_s}));
    QCOMPARE(pathsOf(ComfyUIScanner::scan()),
             (QStringList{home.file(u"ComfyUI/models/checkpoints/m.safetensors"_s),
                          home.file(u"Documents/ComfyUI/models/checkpoints/m.safetensors"_s)}));
}

void TestComfyUIScanner::extraFoldersAreNotAskedForYaml()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"ComfyUI/extra_model_paths.yaml=base_path: ~/one"_s,
                                             u"one/extra_model_paths.yaml=base_path: ~/two"_s,
                                             u"one/models/loras/a.safetensors:2000000"_s,
                                             u"two/models/loras/b.safetensors:2000000"_s}));
    QCOMPARE(idsOf(ComfyUIScanner::scan()), QStringList{u"comfy-a"_s});
}

void TestComfyUIScanner::yamlThatIsAFifoNeverBlocks()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {u"ComfyUI/models/vae/ae.safetensors:2000000"_s}));
    const QString fifo = home.file(u"ComfyUI/extra_model_paths.yaml"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    SourceScan scan;
    QVERIFY(ScanReadout::returnsWithoutBlocking(fifo, [&] { scan = ComfyUIScanner::scan(); }));
    QCOMPARE(idsOf(scan), QStringList{u"comfy-ae"_s});
}

void TestComfyUIScanner::unreadableCategoryFolderIsSkipped()
{
    TestHome home;
    home.openToEveryone();
    QVERIFY(Fixtures::makeTree(home.path(), {u"ComfyUI/models/vae/ae.safetensors:2000000"_s,
                                             u"ComfyUI/models/loras/secret/l.safetensors:2000000"_s,
                                             u"ComfyUI/extra_model_paths.yaml=base_path: ~/AI"_s,
                                             u"AI/models/clip/c.safetensors:2000000"_s}));
    QCOMPARE(::chmod(QFile::encodeName(home.file(u"ComfyUI/models/loras/secret"_s)).constData(), 0),
             0);
    QCOMPARE(
        ::chmod(QFile::encodeName(home.file(u"ComfyUI/extra_model_paths.yaml"_s)).constData(), 0),
        0);
    // As root everything is readable, which would prove nothing.
    QVERIFY(Fixtures::runUnprivileged([] {
        const SourceScan scan = ComfyUIScanner::scan();
        return scan.errors.isEmpty() && idsOf(scan) == QStringList{u"comfy-ae"_s};
    }));
}

QTEST_GUILESS_MAIN(TestComfyUIScanner)
#include "tst_comfyuiscanner.moc"

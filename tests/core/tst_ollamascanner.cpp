#include "Fixtures.h"
#include "ScanReadout.h"
#include "TestHome.h"
#include "scanners/OllamaScanner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTest>
#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString hex(char c)
{
    return QString(64, QLatin1Char(c));
}

QString blobName(char c)
{
    return u"sha256-"_qs + hex(c);
}

// A manifest from "a:100,b:5000": the config layer first, then the layers.
QByteArray manifestJson(const QString& layerList)
{
    QJsonArray layers;
    QJsonObject config;
    const QStringList parts = layerList.split(u',', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QJsonObject layer{
            {u"digest"_qs, QString(u"sha256:"_qs + hex(parts[i].at(0).toLatin1()))},
            {u"size"_qs, QJsonValue(parts[i].mid(2).toLongLong())},
            {u"mediaType"_qs, u"application/x"_qs}};
        if (i == 0)
            config = layer;
        else
            layers.append(layer);
    }
    return QJsonDocument(QJsonObject{{u"schemaVersion"_qs, 2},
                                     {u"config"_qs, config},
                                     {u"layers"_qs, layers}})
        .toJson(QJsonDocument::Compact);
}

QByteArray manifestWithDigest(const QString& digest)
{
    return "{\"config\":{\"digest\":\"sha256:" + hex('a').toLatin1() +
           "\",\"size\":1},\"layers\":[{\"digest\":\"" + digest.toUtf8() + "\",\"size\":2}]}";
}

// Builds a store from "registry/ns/model/tag=a:100,b:5000" manifest lines and "a:100" blobs.
bool makeStore(const QString& store, const QStringList& manifests, const QString& blobs)
{
    for (const QString& line : manifests) {
        const qsizetype eq = line.indexOf(u'=');
        if (!Fixtures::writeFile(store + u"/manifests/"_qs + line.left(eq),
                                 manifestJson(line.mid(eq + 1))))
            return false;
    }
    QDir().mkpath(store + u"/blobs"_qs);
    for (const QString& blob : blobs.split(u' ', Qt::SkipEmptyParts)) {
        if (!Fixtures::makeSparseFile(store + u"/blobs/"_qs + blobName(blob.at(0).toLatin1()),
                                      blob.mid(2).toLongLong()))
            return false;
    }
    return true;
}

QString shortPath(const QString& path, const QString& store)
{
    QString relative = path.startsWith(store + u'/') ? path.mid(store.size() + 1) : path;
    if (relative.startsWith(u"blobs/sha256-"_qs) && relative.size() == 6 + 71)
        return u"blob:"_qs + relative.back();
    return relative;
}

// One line per entry: id|name|size|reclaimable|risk|detail|paths. A tag's reclaimable size is
// written as "M+n", M being its manifest file's size.
QStringList describe(const QList<ModelEntry>& models, const QString& store)
{
    QStringList lines;
    for (const ModelEntry& entry : models) {
        QStringList paths;
        for (const QString& path : entry.allPaths)
            paths.push_back(shortPath(path, store));
        const bool tag = !entry.id.startsWith(u"ollama-orphan-"_qs);
        const QString reclaimable =
            tag ? u"M+"_qs +
                      QString::number(entry.reclaimableBytes - QFileInfo(entry.primaryPath).size())
                : QString::number(entry.reclaimableBytes);
        lines.push_back(QStringList{entry.id, entry.name, QString::number(entry.sizeBytes),
                                    reclaimable, entry.deleteRisk.rawValue(),
                                    entry.detail.value_or(u"-"_qs), paths.join(u',')}
                            .join(u'|'));
    }
    return lines;
}

QString orphanLine(char c, qint64 size)
{
    return u"ollama-orphan-"_qs + blobName(c) + u"|Orphaned blob (sha256-"_qs + QLatin1Char(c) +
           u"…"_qs + QString(8, QLatin1Char(c)) + u")|"_qs + QString::number(size) + u'|' +
           QString::number(size) +
           u"|Safe|Not referenced by any Ollama model — safe to remove|"_qs + u"blob:"_qs +
           QLatin1Char(c);
}

// Runs the body in a forked child with a network of its own where the system allows it, so that
// nothing else on this machine listens on the Ollama port meanwhile.
bool inOwnNetwork(const std::function<bool()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNET) == 0) {
            const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            ifreq request{};
            std::strcpy(request.ifr_name, "lo");
            if (s < 0 || ::ioctl(s, SIOCGIFFLAGS, &request) != 0)
                ::_exit(3);
            request.ifr_flags |= IFF_UP;
            if (::ioctl(s, SIOCSIFFLAGS, &request) != 0)
                ::_exit(3);
            ::close(s);
        }
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int listenOnOllamaPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(11434);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class OllamaScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void tags_data();
    void tags();
    void orphanNames_data();
    void orphanNames();
    void badManifests_data();
    void badManifests();
    void linkedManifests_data();
    void linkedManifests();
    void fifoAtManifestLevel();
    void unreadableManifest();
    void unreadableManifestFolder();
    void storesSharingBlobs();
    void separateStores();
    void storeDirs_data();
    void storeDirs();
    void modelsDir_data();
    void modelsDir();
    void missingStore();
    void saturatingSums();
    void nonUtf8ManifestName();
    void isRunning_data();
    void isRunning();
};

void OllamaScannerTest::tags_data()
{
    QTest::addColumn<QStringList>("manifests");
    QTest::addColumn<QString>("blobs");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QStringList>("expected");
    const QString own = u"ollama-llama3-latest|llama3:latest|5100|M+5100|Safe|-|"
                        u"manifests/registry.ollama.ai/library/llama3/latest,blob:a,blob:b"_qs;
    QTest::newRow("own blobs")
        << QStringList{u"registry.ollama.ai/library/llama3/latest=a:100,b:5000"_qs}
        << u"a:100 b:5000"_qs << false << QStringList{own};
    QString risky = own;
    risky.replace(u"|Safe|"_qs, u"|Risky|"_qs);
    QTest::newRow("running: tags risky, orphans safe")
        << QStringList{u"registry.ollama.ai/library/llama3/latest=a:100,b:5000"_qs}
        << u"a:100 b:5000 f:7"_qs << true << QStringList{risky, orphanLine('f', 7)};
    QTest::newRow("one shared layer")
        << QStringList{u"r/library/m/a=1:10,e:900"_qs, u"r/library/m/b=2:20,e:900"_qs}
        << u"1:10 2:20 e:900"_qs << false
        << QStringList{u"ollama-m-a|m:a|910|M+10|Safe|Shares 1 layer with other Ollama tags — "
                       u"shared data is kept|manifests/r/library/m/a,blob:1"_qs,
                       u"ollama-m-b|m:b|920|M+20|Safe|Shares 1 layer with other Ollama tags — "
                       u"shared data is kept|manifests/r/library/m/b,blob:2"_qs};
    QTest::newRow("two shared layers")
        << QStringList{u"r/library/m/a=c:5,e:900,d:40"_qs, u"r/library/m/b=c:5,e:900"_qs,
                       u"r/library/m/c=d:40"_qs}
        << u"c:5 d:40 e:900"_qs << false
        << QStringList{u"ollama-m-a|m:a|945|M+0|Safe|Shares 3 layers with other Ollama tags — "
                       u"shared data is kept|manifests/r/library/m/a"_qs,
                       u"ollama-m-b|m:b|905|M+0|Safe|Shares 2 layers with other Ollama tags — "
                       u"shared data is kept|manifests/r/library/m/b"_qs,
                       u"ollama-m-c|m:c|40|M+0|Safe|Shares 1 layer with other Ollama tags — "
                       u"shared data is kept|manifests/r/library/m/c"_qs};
    QTest::newRow("a digest listed twice counts once")
        << QStringList{u"r/library/m/t=a:1,b:50,b:50,a:1"_qs} << u"a:1 b:50"_qs << false
        << QStringList{u"ollama-m-t|m:t|51|M+51|Safe|-|manifests/r/library/m/t,blob:a,blob:b"_qs};
    QTest::newRow("missing blob: declared size counts, nothing to free")
        << QStringList{u"r/library/m/t=a:1,b:50"_qs} << u"a:1"_qs << false
        << QStringList{u"ollama-m-t|m:t|51|M+1|Safe|-|manifests/r/library/m/t,blob:a"_qs};
    QTest::newRow("name from model folder and tag; every colon replaced")
        << QStringList{u"hub.example.com/ns/qwen/7b:q4=a:1"_qs} << u"a:1"_qs << false
        << QStringList{u"ollama-qwen-7b-q4|qwen:7b:q4|1|M+1|Safe|-|"
                       u"manifests/hub.example.com/ns/qwen/7b:q4,blob:a"_qs};
    QTest::newRow("tags in pre-order, then orphans in byte order")
        << QStringList{u"r/n/b/x=a:1"_qs, u"r/n/a/y=b:2"_qs, u"r/n/a b/z=c:3"_qs}
        << u"a:1 b:2 c:3 f:6 0:5"_qs << false
        << QStringList{u"ollama-a-y|a:y|2|M+2|Safe|-|manifests/r/n/a/y,blob:b"_qs,
                       u"ollama-a b-z|a b:z|3|M+3|Safe|-|manifests/r/n/a b/z,blob:c"_qs,
                       u"ollama-b-x|b:x|1|M+1|Safe|-|manifests/r/n/b/x,blob:a"_qs,
                       orphanLine('0', 5), orphanLine('f', 6)};
    QTest::newRow("files above and below the fourth level are not manifests")
        << QStringList{u"r/n/m/t=a:1"_qs, u"r/n/m/deeper/t=b:2"_qs, u"r/n/m2=c:3"_qs}
        << u"a:1 b:2 c:3"_qs << false
        << QStringList{u"ollama-m-t|m:t|1|M+1|Safe|-|manifests/r/n/m/t,blob:a"_qs,
                       orphanLine('b', 2), orphanLine('c', 3)};
}

void OllamaScannerTest::tags()
{
    QFETCH(QStringList, manifests);
    QFETCH(QString, blobs);
    QFETCH(bool, running);
    QFETCH(QStringList, expected);
    TestHome home;
    const QString store = home.file(u".ollama/models"_qs);
    QVERIFY(makeStore(store, manifests, blobs));
    const SourceScan scan = OllamaScanner::scan(running);
    QCOMPARE(scan.errors, QStringList());
    QCOMPARE(describe(scan.models, store), expected);
    for (const ModelEntry& entry : scan.models) {
        QCOMPARE(entry.source, ModelSource::ollama);
        QCOMPARE(entry.primaryPath, entry.allPaths.value(0));
        QVERIFY(!entry.quantization);
        QCOMPARE(entry.lastModified.value_or(QDateTime()),
                 QFileInfo(entry.primaryPath).lastModified().toUTC());
    }
}

void OllamaScannerTest::orphanNames_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("shown");
    QTest::newRow("15 characters") << u"sha256-12345678"_qs << u"sha256-12345678"_qs;
    QTest::newRow("16 characters: whole") << u"sha256-123456789"_qs << u"sha256-123456789"_qs;
    QTest::newRow("17 characters: shortened") << u"sha256-123456789a"_qs << u"sha256-1…3456789a"_qs;
    QTest::newRow("71-character digest form")
        << u"sha256-0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"_qs
        << u"sha256-0…89abcdef"_qs;
    QTest::newRow("non-ASCII counted as characters")
        << u"ééééééééééééééééé"_qs << u"éééééééé…éééééééé"_qs;
    QTest::newRow("hidden partial download") << u".partial-x"_qs << u".partial-x"_qs;
}

void OllamaScannerTest::orphanNames()
{
    QFETCH(QString, fileName);
    QFETCH(QString, shown);
    TestHome home;
    const QString store = home.file(u".ollama/models"_qs);
    QVERIFY(QDir().mkpath(store + u"/manifests"_qs));
    QVERIFY(Fixtures::writeFile(store + u"/blobs/"_qs + fileName, "12345"));
    const SourceScan scan = OllamaScanner::scan(true);
    QCOMPARE(scan.models.size(), 1);
    const ModelEntry& entry = scan.models[0];
    QCOMPARE(entry.id, u"ollama-orphan-"_qs + fileName);
    QCOMPARE(entry.name, u"Orphaned blob ("_qs + shown + u')');
    QCOMPARE(entry.sizeBytes, 5);
    QCOMPARE(entry.reclaimableBytes, 5);
    QCOMPARE(entry.allPaths, QStringList{store + u"/blobs/"_qs + fileName});
    QCOMPARE(entry.deleteRisk, DeleteRisk::safe);
}

void OllamaScannerTest::badManifests_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("parses");
    const QByteArray good = manifestJson(u"a:1,b:2"_qs);
    QByteArray atLimit = good;
    atLimit.append(QByteArray((1 << 20) - good.size(), ' '));
    QTest::newRow("exactly 1 MiB") << atLimit << true;
    QTest::newRow("1 MiB and one byte") << atLimit + ' ' << false;
    QTest::newRow("size 0, upper-case hex")
        << QByteArray("{\"config\":{\"digest\":\"sha256:ABCDEF01\",\"size\":0},\"layers\":[]}")
        << true;
    QTest::newRow("not JSON") << QByteArray("this is not json") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QByteArray binary = Fixtures::headBytes(7, 4096);
    binary[10] = '\0';
    QTest::newRow("binary") << binary << false;
    QTest::newRow("deeply nested") << QByteArray(200000, '[') + QByteArray(200000, ']') << false;
    QTest::newRow("an array") << QByteArray("[") + good + "]" << false;
    QTest::newRow("config missing") << QByteArray("{\"layers\":[]}") << false;
    QTest::newRow("layers missing")
        << QByteArray("{\"config\":{\"digest\":\"sha256:aa\",\"size\":1}}") << false;
    QTest::newRow("layers an object")
        << QByteArray("{\"config\":{\"digest\":\"sha256:aa\",\"size\":1},\"layers\":{}}") << false;
    QTest::newRow("layers null")
        << QByteArray("{\"config\":{\"digest\":\"sha256:aa\",\"size\":1},\"layers\":null}")
        << false;
    QTest::newRow("layer not an object")
        << QByteArray("{\"config\":{\"digest\":\"sha256:aa\",\"size\":1},\"layers\":[1]}") << false;
    QTest::newRow("digest a number")
        << QByteArray("{\"config\":{\"digest\":12,\"size\":1},\"layers\":[]}") << false;
    QTest::newRow("size a string")
        << QByteArray("{\"config\":{\"digest\":\"sha256:aa\",\"size\":\"1\"},\"layers\":[]}")
        << false;
    QTest::newRow("size a fraction")
        << QByteArray("{\"config\":{\"digest\":\"sha256:aa\",\"size\":1.5},\"layers\":[]}")
        << false;
    QTest::newRow("size beyond 64 bits")
        << QByteArray("{\"config\":{\"digest\":\"sha256:aa\",\"size\":1e30},\"layers\":[]}")
        << false;
    QTest::newRow("negative size")
        << QByteArray("{\"config\":{\"digest\":\"sha256:aa\",\"size\":-1},\"layers\":[]}") << false;
    QTest::newRow("digest climbing out") << manifestWithDigest(u"sha256:../../../etc"_qs) << false;
    QTest::newRow("digest with a slash") << manifestWithDigest(u"sha256/x:ab"_qs) << false;
    QTest::newRow("digest of dots") << manifestWithDigest(u"..:ab"_qs) << false;
    QTest::newRow("digest slash after hex") << manifestWithDigest(u"sha256:ab/cd"_qs) << false;
    QTest::newRow("digest without colon") << manifestWithDigest(u"sha256"_qs) << false;
    QTest::newRow("digest without hex") << manifestWithDigest(u"sha256:"_qs) << false;
    QTest::newRow("digest without algorithm") << manifestWithDigest(u":ab"_qs) << false;
    QTest::newRow("digest two colons") << manifestWithDigest(u"sha256:ab:cd"_qs) << false;
    QTest::newRow("digest not hex") << manifestWithDigest(u"sha256:xyz"_qs) << false;
}

// A manifest that cannot be decoded is reported, and the store's unreferenced blobs are then
// not offered as orphans: they may belong to it.
void OllamaScannerTest::badManifests()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, parses);
    TestHome home;
    const QString store = home.file(u".ollama/models"_qs);
    QVERIFY(makeStore(store, {u"r/n/good/latest=c:3"_qs}, u"c:3 f:9"_qs));
    const QString bad = store + u"/manifests/r/n/odd/latest"_qs;
    QVERIFY(Fixtures::writeFile(bad, content));
    const SourceScan scan = OllamaScanner::scan(false);
    const QStringList ids = ScanReadout::idsOf(scan);
    if (parses) {
        QCOMPARE(scan.errors, QStringList());
        QCOMPARE(ids, (QStringList{u"ollama-good-latest"_qs, u"ollama-odd-latest"_qs,
                                   u"ollama-orphan-"_qs + blobName('f')}));
    } else {
        QCOMPARE(scan.errors, QStringList{u"Cannot parse manifest "_qs + bad});
        QCOMPARE(ids, QStringList{u"ollama-good-latest"_qs});
    }
}

void OllamaScannerTest::linkedManifests_data()
{
    QTest::addColumn<QString>("target"); // relative to the home; "" keeps a regular manifest
    QTest::addColumn<QString>("error");  // "" for none
    QTest::addColumn<QStringList>("expected");
    const QString tagA = u"ollama-m-a|m:a|901|M+1|Safe|Shares 1 layer with other Ollama tags — "
                         u"shared data is kept|manifests/r/n/m/a,blob:1"_qs;
    const QString tagAAlone = u"ollama-m-a|m:a|901|M+901|Safe|-|manifests/r/n/m/a,blob:1,blob:e"_qs;
    QTest::newRow("link to a moved manifest: counted, no tag")
        << u"moved/b"_qs << QString() << QStringList{tagA};
    QTest::newRow("dangling link") << u"gone/b"_qs << u"read"_qs << QStringList{tagAAlone};
    QTest::newRow("link to a FIFO") << u"fifo"_qs << u"read"_qs << QStringList{tagAAlone};
    QTest::newRow("link to a folder") << u"folder"_qs << u"read"_qs << QStringList{tagAAlone};
    QTest::newRow("link to a huge file") << u"huge"_qs << u"parse"_qs << QStringList{tagAAlone};
}

void OllamaScannerTest::linkedManifests()
{
    QFETCH(QString, target);
    QFETCH(QString, error);
    QFETCH(QStringList, expected);
    TestHome home;
    const QString store = home.file(u".ollama/models"_qs);
    // Tag b (moved away, a link left) uses blob e with tag a, and blob 2 alone.
    QVERIFY(makeStore(store, {u"r/n/m/a=1:1,e:900"_qs}, u"1:1 2:2 e:900 f:4"_qs));
    QVERIFY(Fixtures::writeFile(home.file(u"moved/b"_qs), manifestJson(u"2:2,e:900"_qs)));
    QVERIFY(::mkfifo(QFile::encodeName(home.file(u"fifo"_qs)).constData(), 0644) == 0);
    QVERIFY(QDir().mkpath(home.file(u"folder"_qs)));
    QVERIFY(Fixtures::makeSparseFile(home.file(u"huge"_qs), qint64(3) << 20));
    const QString link = store + u"/manifests/r/n/m/b"_qs;
    QVERIFY(QFile::link(home.file(target), link));

    const SourceScan scan = OllamaScanner::scan(false);
    if (error.isEmpty()) {
        QCOMPARE(scan.errors, QStringList());
        expected.push_back(orphanLine('f', 4)); // blob 2 is the linked tag's: not an orphan
    } else {
        const QString text =
            error == u"read"_qs ? u"Cannot read manifest "_qs : u"Cannot parse manifest "_qs;
        QCOMPARE(scan.errors, QStringList{text + link});
    }
    QCOMPARE(describe(scan.models, store), expected);
}

void OllamaScannerTest::fifoAtManifestLevel()
{
    TestHome home;
    const QString store = home.file(u".ollama/models"_qs);
    QVERIFY(makeStore(store, {u"r/n/m/a=1:1"_qs}, u"1:1 f:4"_qs));
    QVERIFY(::mkfifo(QFile::encodeName(store + u"/manifests/r/n/m/pipe"_qs).constData(), 0644) ==
            0);
    const SourceScan scan = OllamaScanner::scan(false); // must not block on the FIFO
    QCOMPARE(scan.errors, QStringList());
    QCOMPARE(scan.models.size(), 2);
}

void OllamaScannerTest::unreadableManifest()
{
    TestHome home;
    home.openToEveryone();
    const QString store = home.file(u".ollama/models"_qs);
    QVERIFY(makeStore(store, {u"r/n/m/a=1:1"_qs, u"r/n/m/b=2:2"_qs}, u"1:1 2:2 f:4"_qs));
    const QString locked = store + u"/manifests/r/n/m/b"_qs;
    QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0) == 0);
    const QString expectedError = u"Cannot read manifest "_qs + locked;
    QVERIFY(Fixtures::runUnprivileged([&] {
        const SourceScan scan = OllamaScanner::scan(false);
        // Blob 2 belongs to the unreadable tag: no orphan may be offered.
        return scan.errors == QStringList{expectedError} && scan.models.size() == 1 &&
               scan.models[0].id == u"ollama-m-a"_qs;
    }));
}

void OllamaScannerTest::unreadableManifestFolder()
{
    TestHome home;
    home.openToEveryone();
    const QString store = home.file(u".ollama/models"_qs);
    QVERIFY(makeStore(store, {u"r/n/m/a=1:1"_qs, u"r/hidden/m/b=2:2"_qs}, u"1:1 2:2"_qs));
    QVERIFY(::chmod(QFile::encodeName(store + u"/manifests/r/hidden"_qs).constData(), 0) == 0);
    QVERIFY(Fixtures::runUnprivileged([&] {
        const SourceScan scan = OllamaScanner::scan(false);
        return scan.errors.isEmpty() && scan.models.size() == 1 &&
               scan.models[0].id == u"ollama-m-a"_qs;
    }));
    // Readable again, the same store lists its orphans (none here) and both tags.
    QVERIFY(::chmod(QFile::encodeName(store + u"/manifests/r/hidden"_qs).constData(), 0755) == 0);
    QCOMPARE(OllamaScanner::scan(false).models.size(), 2);
}

void OllamaScannerTest::storesSharingBlobs()
{
    TestHome home;
    const QString first = home.file(u".ollama/models"_qs);
    const QString second = home.file(u"service/models"_qs);
    QVERIFY(makeStore(first, {u"r/n/m/a=1:1,d:100"_qs}, u"1:1 2:2 d:100 e:50 f:7"_qs));
    QVERIFY(
        Fixtures::writeFile(second + u"/manifests/r/n/m/b"_qs, manifestJson(u"2:2,d:100,e:50"_qs)));
    QVERIFY(QFile::link(first + u"/blobs"_qs, second + u"/blobs"_qs));
    const SourceScan scan = OllamaScanner::scanStores({first, second}, false);
    QCOMPARE(scan.errors, QStringList());
    QCOMPARE(describe(scan.models, first),
             (QStringList{u"ollama-m-a|m:a|101|M+1|Safe|Shares 1 layer with other Ollama tags — "
                          u"shared data is kept|manifests/r/n/m/a,blob:1"_qs,
                          u"ollama-m-b|m:b|152|M+52|Safe|Shares 1 layer with other Ollama tags — "
                          u"shared data is kept|"_qs +
                              second + u"/manifests/r/n/m/b,"_qs + second + u"/blobs/"_qs +
                              blobName('2') + u","_qs + second + u"/blobs/"_qs + blobName('e'),
                          orphanLine('f', 7)}));
}

void OllamaScannerTest::separateStores()
{
    TestHome home;
    const QString first = home.file(u".ollama/models"_qs);
    const QString second = home.file(u"service/models"_qs);
    QVERIFY(makeStore(first, {u"r/n/m/a=d:100"_qs}, u"d:100 f:3"_qs));
    QVERIFY(makeStore(second, {u"r/n/m/a=d:100"_qs}, u"d:100 e:2"_qs));
    const SourceScan scan = OllamaScanner::scanStores({first, second + u"/"_qs}, false);
    QCOMPARE(scan.errors, QStringList());
    const QStringList lines = describe(scan.models, first);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], u"ollama-m-a|m:a|100|M+100|Safe|-|manifests/r/n/m/a,blob:d"_qs);
    QCOMPARE(lines[1], u"ollama-m-a|m:a|100|M+100|Safe|-|"_qs + second + u"/manifests/r/n/m/a,"_qs +
                           second + u"/blobs/"_qs + blobName('d'));
    QCOMPARE(lines[2], orphanLine('f', 3));
    QVERIFY(lines[3].startsWith(u"ollama-orphan-"_qs + blobName('e')));
}

void OllamaScannerTest::storeDirs_data()
{
    QTest::addColumn<QString>("system"); // how the system store is made, relative to the root
    QTest::addColumn<bool>("listed");
    QTest::newRow("missing") << QString() << false;
    QTest::newRow("another folder") << u"folder"_qs << true;
    QTest::newRow("the same folder through a link") << u"link"_qs << false;
    QTest::newRow("a file") << u"file"_qs << false;
}

void OllamaScannerTest::storeDirs()
{
    QFETCH(QString, system);
    QFETCH(bool, listed);
    TestHome home;
    const QString own = home.file(u".ollama/models"_qs);
    QVERIFY(QDir().mkpath(own));
    const QString store = home.root() + u"/system/models"_qs;
    QVERIFY(QDir().mkpath(home.root() + u"/system"_qs));
    if (system == u"folder"_qs)
        QVERIFY(QDir().mkpath(store));
    else if (system == u"link"_qs)
        QVERIFY(QFile::link(own, store));
    else if (system == u"file"_qs)
        QVERIFY(Fixtures::writeFile(store, "x"));
    QCOMPARE(OllamaScanner::storeDirs(store),
             (listed ? QStringList{own, store} : QStringList{own}));
    QVERIFY(OllamaScanner::systemStoreDir() == u"/usr/share/ollama/.ollama/models"_qs);
}

void OllamaScannerTest::modelsDir_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<bool>("used");
    QTest::newRow("unset") << QString() << false;
    QTest::newRow("missing path") << u"missing"_qs << false;
    QTest::newRow("existing folder") << u"elsewhere"_qs << true;
}

void OllamaScannerTest::modelsDir()
{
    QFETCH(QString, variable);
    QFETCH(bool, used);
    TestHome home;
    QVERIFY(QDir().mkpath(home.file(u"elsewhere"_qs)));
    if (!variable.isEmpty())
        home.setEnv("OLLAMA_MODELS", QFile::encodeName(home.file(variable)));
    QCOMPARE(OllamaScanner::modelsDir(),
             used ? home.file(variable) : home.file(u".ollama/models"_qs));
}

void OllamaScannerTest::missingStore()
{
    TestHome home;
    QVERIFY(makeStore(home.file(u".ollama/models"_qs), {}, u"f:3"_qs)); // blobs, no manifests
    const SourceScan scan = OllamaScanner::scan(false);
    QVERIFY(scan.models.isEmpty());
    QVERIFY(scan.errors.isEmpty());
}

void OllamaScannerTest::saturatingSums()
{
    TestHome home;
    const QString store = home.file(u".ollama/models"_qs);
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    QVERIFY(makeStore(store, {}, u"a:1 b:1"_qs));
    QVERIFY(Fixtures::writeFile(
        store + u"/manifests/r/n/m/t"_qs,
        "{\"config\":{\"digest\":\"sha256:" + hex('a').toLatin1() +
            "\",\"size\":9223372036854775807},\"layers\":[{\"digest\":\"sha256:" +
            hex('b').toLatin1() + "\",\"size\":9223372036854775000}]}"));
    const SourceScan scan = OllamaScanner::scan(false);
    QCOMPARE(scan.errors, QStringList());
    QCOMPARE(scan.models.size(), 1);
    QCOMPARE(scan.models[0].sizeBytes, max);
    QCOMPARE(scan.models[0].reclaimableBytes, max);
}

void OllamaScannerTest::nonUtf8ManifestName()
{
    TestHome home;
    const QString store = home.file(u".ollama/models"_qs);
    QVERIFY(makeStore(store, {u"r/n/m/a=1:1"_qs}, u"1:1 2:2"_qs));
    const QByteArray odd = QFile::encodeName(store + u"/manifests/r/n/m/"_qs) + "tag\xff";
    const auto removeOdd = qScopeGuard([&odd] { ::unlink(odd.constData()); });
    const int fd = ::open(odd.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    const QByteArray content = manifestJson(u"2:2"_qs);
    QVERIFY(::write(fd, content.constData(), size_t(content.size())) == content.size());
    ::close(fd);
    // The tag cannot be named, but its blob is in use: no entry for it and no orphan.
    const SourceScan scan = OllamaScanner::scan(false);
    QCOMPARE(scan.errors, QStringList());
    QCOMPARE(describe(scan.models, store),
             QStringList{u"ollama-m-a|m:a|1|M+1|Safe|-|manifests/r/n/m/a,blob:1"_qs});
}

void OllamaScannerTest::isRunning_data()
{
    QTest::addColumn<bool>("listening");
    QTest::newRow("nothing listening") << false;
    QTest::newRow("listening") << true;
}

void OllamaScannerTest::isRunning()
{
    QFETCH(bool, listening);
    QVERIFY(inOwnNetwork([listening] {
        const int server = listening ? listenOnOllamaPort() : -1;
        if (listening && server < 0)
            return false;
        const bool answer = OllamaScanner::isRunning();
        if (server >= 0)
            ::close(server);
        return answer == listening;
    }));
}

QTEST_GUILESS_MAIN(OllamaScannerTest)
#include "tst_ollamascanner.moc"

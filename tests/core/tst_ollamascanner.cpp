#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/OllamaScanner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 maxSize = std::numeric_limits<qint64>::max();
// The scans' clock, in seconds since 1970: files made by a test are older.
constexpr qint64 scanClock = 2'000'000'000;

QDateTime clockTime()
{
    return QDateTime::fromSecsSinceEpoch(scanClock, Qt::UTC);
}

QString blobName(QChar c)
{
    return u"sha256-"_qs + QString(64, c);
}

QByteArray layer(const QString& digest, const QString& size, const QByteArray& mediaType = {})
{
    return "{\"digest\":\"" + digest.toUtf8() + "\",\"size\":" + size.toUtf8() +
           (mediaType.isEmpty() ? QByteArray() : ",\"mediaType\":\"" + mediaType + '"') + '}';
}

// A manifest from "a:100,*b:5000": blob a as the config layer, then the layers; "*" marks a
// model layer.
QByteArray manifestOf(const QString& list)
{
    QByteArrayList layers;
    for (QString part : list.split(u',')) {
        const bool model = part.startsWith(u'*');
        part.remove(0, model ? 1 : 0);
        layers.push_back(layer(u"sha256:"_qs + QString(64, part.at(0)), part.mid(2),
                               model ? QByteArray("application/vnd.ollama.image.model") : ""));
    }
    const QByteArray config = layers.takeFirst();
    return "{\"schemaVersion\":2,\"config\":" + config + ",\"layers\":[" + layers.join(',') + "]}";
}

// Builds fixture items, split at ";": "r/n/m/t=a:1,b:2" a manifest in the main store (blob a its
// config), "#a:5" blob a there, either after "s2:" in the second store ~/s2; "~/x..." an item
// at x in the home: "x:5" a sparse file, "x/" a folder, "x->@/y" a link to y in the home, "x|" a
// FIFO, "x!" takes every right from x. "#c" is blob c's file name, "\xff" that byte. A file
// line ending in "^<n>" is last changed n seconds after the scans' clock.
bool build(const QString& home, const QString& fixture)
{
    for (QString line : fixture.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype caret = line.indexOf(u'^');
        const qint64 changed = caret >= 0 ? scanClock + line.mid(caret + 1).toLongLong() : 0;
        line.truncate(caret >= 0 ? caret : line.size());
        if (line.startsWith(u"~/"_qs))
            line.remove(0, 2);
        else if (line.startsWith(u"s2:"_qs))
            line = u"s2/"_qs + (line.at(3) == u'#' ? u"blobs/"_qs : u"manifests/"_qs) + line.mid(3);
        else
            line.prepend(line.startsWith(u'#') ? u".ollama/models/blobs/"_qs
                                               : u".ollama/models/manifests/"_qs);
        if (line.endsWith(u'/') && QDir().mkpath(home + u'/' + line))
            continue;
        for (qsizetype i = 0; (i = line.indexOf(u'#')) >= 0;)
            line.replace(i, 2, blobName(line.at(i + 1)));
        const qsizetype arrow = line.indexOf(u"->"_qs), eq = line.indexOf(u'=');
        const qsizetype cut = arrow >= 0 ? arrow : eq >= 0 ? eq : line.lastIndexOf(u':');
        const QString name = home + u'/' + (cut >= 0 ? line.left(cut) : line.chopped(1));
        QDir().mkpath(QFileInfo(name).path());
        const QByteArray bytes = QFile::encodeName(name).replace("\\xff", "\xff");
        const char* path = bytes.constData();
        int fd = -1;
        if (arrow >= 0)
            fd = ::symlink(QFile::encodeName(line.mid(arrow + 2).replace(u'@', home)).constData(),
                           path);
        else if (line.endsWith(u'|'))
            fd = ::mkfifo(path, 0644);
        else if (line.endsWith(u'!'))
            fd = ::chmod(path, 0);
        else if ((fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) >= 0) {
            const QByteArray json = eq >= 0 ? manifestOf(line.mid(eq + 1)) : QByteArray();
            const bool ok = ::write(fd, json.constData(), size_t(json.size())) == json.size() &&
                            (eq >= 0 || ::ftruncate(fd, line.mid(cut + 1).toLongLong()) == 0);
            fd = ::close(fd) == 0 && ok ? 0 : -1;
        }
        if (fd != 0 || (caret >= 0 && !Fixtures::setModified(name, changed)))
            return false;
    }
    return true;
}

// "S<n>" for the text of n shared layers, "K" for layers kept, "-" for none.
QString code(const std::optional<QString>& detail)
{
    const QString shares = u"Shares %1 layer%2 with other Ollama tags — shared data is kept"_qs;
    for (int n = 1; n < 9; ++n) {
        if (detail == shares.arg(n).arg(n == 1 ? QString() : u"s"_qs))
            return u"S"_qs + QString::number(n);
    }
    return detail == u"Layers kept — another Ollama model here could not be read"_qs
               ? u"K"_qs
               : detail.value_or(u"-"_qs);
}

// Whether an unfinished download's entry lists its files in order, sized and dated by them all.
bool goodDownload(const ModelEntry& entry)
{
    const QString name = QFileInfo(entry.primaryPath).fileName();
    qint64 size = 0;
    QDateTime newest;
    for (const QString& path : entry.allPaths) {
        const QFileInfo file(path);
        size += file.size();
        newest = std::max(newest, file.lastModified().toUTC());
    }
    return entry.id == u"ollama-partial-"_qs + name.left(name.lastIndexOf(u"-partial"_qs)) &&
           std::is_sorted(entry.allPaths.begin(), entry.allPaths.end()) &&
           entry.sizeBytes == size && entry.reclaimableBytes == size &&
           entry.lastModified == newest &&
           entry.detail ==
               u"Unfinished download — safe to remove unless it is still downloading"_qs;
}

// The entries, then the errors, split by ";", paths shortened as build() takes them: "r/n/m/t"
// and "#c" in the main store, "s2:" the second one's, "~" the home. A tag is
// "name|size|M+n|detail|paths", M being its manifest's size, with "|D:files" when it has data
// files; an orphan "orphan path size"; an unfinished download "partial paths size". An entry
// breaking a rule every entry keeps is marked "BAD".
QString describe(const SourceScan& scan, bool running, const QString& home)
{
    QStringList lines;
    for (const ModelEntry& entry : scan.models) {
        const bool orphan = entry.id.startsWith(u"ollama-orphan-"_qs);
        const bool download = entry.id.startsWith(u"ollama-partial-"_qs);
        const bool tag = !orphan && !download;
        const QFileInfo primary(entry.primaryPath);
        const bool outOfReach = entry.unreachableTarget().has_value();
        const bool good =
            entry.source == ModelSource::ollama && entry.isOllamaTag() == tag &&
            entry.allPaths.value(0) == entry.primaryPath && !entry.quantization &&
            entry.deleteRisk == (outOfReach           ? DeleteRisk::unknown
                                 : !orphan && running ? DeleteRisk::risky
                                                      : DeleteRisk::safe) &&
            (tag || entry.dataFiles.isEmpty()) &&
            (download
                 ? goodDownload(entry)
                 : (outOfReach ? !entry.lastModified
                               : entry.lastModified == primary.lastModified().toUTC()) &&
                       (tag ? entry.id == u"ollama-"_qs + QString(entry.name).replace(u':', u'-')
                            : entry.id == u"ollama-orphan-"_qs + primary.fileName() &&
                                  entry.reclaimableBytes == entry.sizeBytes &&
                                  entry.allPaths.size() == 1 &&
                                  entry.detail ==
                                      u"Not referenced by any Ollama model — safe to remove"_qs));
        const QString size = QString::number(entry.sizeBytes);
        const QString freed =
            entry.reclaimableBytes == maxSize
                ? u"max"_qs
                : u"M+"_qs + QString::number(entry.reclaimableBytes - primary.size());
        QString line;
        if (tag) {
            line =
                QStringList{entry.name, size, freed, code(entry.detail), entry.allPaths.join(u',')}
                    .join(u'|');
            if (!entry.dataFiles.isEmpty())
                line += u"|D:"_qs + entry.dataFiles.join(u',');
        } else {
            line =
                (orphan ? u"orphan "_qs : u"partial "_qs) + entry.allPaths.join(u',') + u' ' + size;
        }
        lines.push_back((good ? QString() : u"BAD "_qs) + line);
    }
    QString text = (lines + scan.errors).join(u';');
    for (const QString& store : {u"/.ollama/models/"_qs, u"/s2/"_qs}) {
        for (const QString& folder : {u"manifests/"_qs, u"blobs/"_qs})
            text.replace(home + store + folder, store == u"/s2/"_qs ? u"s2:"_qs : QString());
    }
    for (const QChar c : u"0123456789abcdef"_qs)
        text.replace(blobName(c), u'#' + c);
    return text.replace(home, u"~"_qs);
}

// Whether the probe tells a listener on the Ollama port from a port held by a socket that does
// not listen; nothing when the port is taken. Holding it keeps anything else off it meanwhile.
std::optional<bool> probeFinds(bool listening)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(11434);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (listening && ::listen(fd, 4) != 0)) {
        ::close(fd);
        return std::nullopt;
    }
    const bool found = OllamaScanner::isRunning();
    ::close(fd);
    return found == listening;
}

} // namespace

class OllamaScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void scan_data();
    void scan();
    void orphanNames_data();
    void orphanNames();
    void badManifests_data();
    void badManifests();
    void storeDirs_data();
    void storeDirs();
    void isRunning();
};

void OllamaScannerTest::scan_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("expected");
    const QString a = u"r/n/m/a=1:1,e:900;#1:1;#e:900;#f:4;"_qs;
    const QString keptA = u"m:a|901|M+0|K|r/n/m/a"_qs;
    QTest::newRow("own blobs; every colon of the name replaced in the id")
        << u"registry.ollama.ai/library/llama3/8b:q4=a:100,b:5000;#a:100;#b:5000"_qs
        << u"llama3:8b:q4|5100|M+5100|-|registry.ollama.ai/library/llama3/8b:q4,#a,#b"_qs;
    QTest::newRow("shared layers")
        << u"r/n/m/a=c:5,e:900,d:40;r/n/m/b=c:5,e:900;r/n/m/c=d:40;#c:5;#d:40;#e:900"_qs
        << u"m:a|945|M+0|S3|r/n/m/a;m:b|905|M+0|S2|r/n/m/b;m:c|40|M+0|S1|r/n/m/c"_qs;
    QTest::newRow("a digest listed twice counts once; a missing blob frees nothing")
        << u"r/n/m/t=a:1,b:50,b:50,a:1,c:7;#a:1;#b:50"_qs << u"m:t|58|M+51|-|r/n/m/t,#a,#b"_qs;
    QTest::newRow("hidden ones too; tags in pre-order, orphans in byte order")
        << u"r/n/b/x=a:1;r/n/a/y=b:2;r/n/a b/z=c:3;r/.n/m/.t=d:4;#a:1;#b:2;#c:3;#d:4;#f:6;#0:5"_qs
        << u"m:.t|4|M+4|-|r/.n/m/.t,#d;a:y|2|M+2|-|r/n/a/y,#b;a b:z|3|M+3|-|r/n/a b/z,#c;"
           u"b:x|1|M+1|-|r/n/b/x,#a;orphan #0 5;orphan #f 6"_qs;
    QTest::newRow("only the fourth level holds manifests")
        << u"r/n/m/t=a:1;r/n/m/d/t=b:2;r/n/m2=c:3;r/n/m/pipe|;#a:1;#b:2;#c:3"_qs
        << u"m:t|1|M+1|-|r/n/m/t,#a;orphan #b 2;orphan #c 3"_qs;
    QTest::newRow("no manifests folder") << u"#f:3"_qs << QString();
    QTest::newRow("sums stop at the largest size")
        << u"r/n/m/t=a:9223372036854775807,b:9223372036854775000;#a:1;#b:1"_qs
        << u"m:t|9223372036854775807|max|-|r/n/m/t,#a,#b"_qs;
    QTest::newRow("link to a moved manifest: a tag read through it, its target after")
        << a + u"#2:2;~/moved/b=2:2,e:900;r/n/m/b->@/moved/b"_qs
        << u"m:a|901|M+1|S1|r/n/m/a,#1;m:b|902|M+2|Moved to ~/moved/b · Shares 1 layer with other "
           u"Ollama tags — shared data is kept|r/n/m/b,#2,~/moved/b;orphan #f 4"_qs;
    QTest::newRow("link to a moved manifest out of reach: a tag of nothing, layers kept")
        << a + u"r/n/m/b->@/gone"_qs
        << keptA + u";m:b|0|M+0|Moved to ~/gone — not reachable now · Layers kept — another "
                   u"Ollama model here could not be read|r/n/m/b,~/gone"_qs;
    QTest::newRow("a name that is not UTF-8: counted, no tag")
        << a + u"#2:2;r/n/m/b\\xff=2:2"_qs << u"m:a|901|M+901|-|r/n/m/a,#1,#e;orphan #f 4"_qs;
    for (const char* target : {"fifo", "folder"}) {
        QTest::addRow("link to %s: nothing offered", target)
            << a + u"~/fifo|;~/folder/;r/n/m/b->@/"_qs + QLatin1String(target)
            << keptA + u";Cannot read manifest r/n/m/b"_qs;
    }
    QTest::newRow("link to a huge file")
        << a + u"~/huge:3145728;r/n/m/b->@/huge"_qs << keptA + u";Cannot parse manifest r/n/m/b"_qs;
    QTest::newRow("unreadable manifest")
        << a + u"r/n/m/b=2:2;r/n/m/b!"_qs << keptA + u";Cannot read manifest r/n/m/b"_qs;
    QTest::newRow("unreadable folder") << a + u"r/x/m/b=2:2;r/x!"_qs << keptA;
    QTest::newRow("linked folders at levels 1 to 3 are followed")
        << a + u"#2:2;#3:3;~/lib/m2/b=2:2;~/m3/c=3:3;~/reg/n/m3->@/m3;r/lib->@/lib;reg->@/reg"_qs
        << u"m2:b|2|M+2|-|r/lib/m2/b,#2;m:a|901|M+901|-|r/n/m/a,#1,#e;"
           u"m3:c|3|M+3|-|reg/n/m3/c,#3;orphan #f 4"_qs;
    QTest::newRow("each folder read once, loops cut")
        << a + u"r/n/m2->@/.ollama/models/manifests/r/n/m;r/loop->@/.ollama/models/manifests"_qs
        << u"m:a|901|M+901|-|r/n/m/a,#1,#e;orphan #f 4"_qs;
    QTest::newRow("dangling folder link: nothing offered") << a + u"r/lib->@/gone"_qs << keptA;
    QTest::newRow("stores sharing blobs")
        << a + u"#2:2;#5:5;s2:r/n/m/b=2:2,e:900;~/s2/blobs->@/.ollama/models/blobs"_qs
        << u"m:a|901|M+1|S1|r/n/m/a,#1;m:b|902|M+2|S1|s2:r/n/m/b,s2:#2;orphan #5 5;orphan #f 4"_qs;
    QTest::newRow("separate stores")
        << u"r/n/m/a=d:100;#d:100;#f:3;#7-partial:1;s2:r/n/m/a=d:100;s2:#d:100;s2:#e:2;"
           u"s2:#7-partial:2"_qs
        << u"m:a|100|M+100|-|r/n/m/a,#d;m:a|100|M+100|-|s2:r/n/m/a,s2:#d;"
           u"partial #7-partial 1;orphan #f 3;partial s2:#7-partial 2;orphan s2:#e 2"_qs;
    QTest::newRow("stores sharing blobs list a download once")
        << u"r/n/m/a=d:1;#d:1;#7-partial:5;s2:r/n/m/b=d:1;~/s2/blobs->@/.ollama/models/blobs"_qs
        << u"m:a|1|M+0|S1|r/n/m/a;m:b|1|M+0|S1|s2:r/n/m/b;partial #7-partial 5"_qs;
    QTest::newRow("downloads: one entry per blob, parts in order, never orphans")
        << u"r/n/m/a=1:1;#1:1;#2-partial-1:30;#2-partial:10;#2-partial-0:20;#3-partial-5:7;"
           u"#3-partial-12:8;#f:4;#2-partial-x:6"_qs
        << u"m:a|1|M+1|-|r/n/m/a,#1;partial #2-partial,#2-partial-0,#2-partial-1 60;"
           u"partial #3-partial-12,#3-partial-5 15;orphan #2-partial-x 6;orphan #f 4"_qs;
    QTest::newRow("downloads changed in the last ten minutes are left out")
        << u"#2-partial:1^-600;#3-partial:1^-599;#4-partial:1^60;#5-partial:1^-900;"
           u"#5-partial-1:1^-1"_qs
        << u"partial #2-partial 1"_qs;
    QTest::newRow("downloads listed without manifests, or with unread ones")
        << a + u"#2-partial:5;~/fifo|;r/n/m/b->@/fifo;s2:#3-partial:6"_qs
        << keptA + u";partial #2-partial 5;partial s2:#3-partial 6;Cannot read manifest r/n/m/b"_qs;
    QTest::newRow("every layer of 50,000,000 bytes or more is a data file, whatever it holds")
        << u"r/n/m/a=1:1,*b:50000000,c:60000000;#1:1;#b:50000000;#c:60000000"_qs
        << u"m:a|110000001|M+110000001|-|r/n/m/a,#1,#b,#c|D:#b,#c"_qs;
    // A pull renames each finished layer to its blob name before it writes the manifest.
    QTest::newRow("orphans changed within the last hour are left out")
        << u"r/n/m/a=1:1;#1:1;#2:1^-3600;#3:1^-3599;#4:1^60"_qs
        << u"m:a|1|M+1|-|r/n/m/a,#1;orphan #2 1"_qs;
    QTest::newRow("no orphan of a blobs folder where a download changed in the last ten minutes")
        << u"r/n/m/a=1:1;#1:1;#2:1^-7200;#5-partial:1^-599;s2:r/n/m/b=3:1;s2:#3:1;s2:#e:2"_qs
        << u"m:a|1|M+1|-|r/n/m/a,#1;m:b|1|M+1|-|s2:r/n/m/b,s2:#3;orphan s2:#e 2"_qs;
    QTest::newRow("a quiet download leaves the orphans listed")
        << u"r/n/m/a=1:1;#1:1;#2:1^-7200;#5-partial:1^-601"_qs
        << u"m:a|1|M+1|-|r/n/m/a,#1;partial #5-partial 1;orphan #2 1"_qs;
    QTest::newRow("data file shared, another manifest unread")
        << u"r/n/m/a=1:1,*b:50000000;r/n/m/c=1:1,*b:50000000;#1:1;#b:50000000;~/fifo|;r/n/m/z->@/fifo"_qs
        << u"m:a|50000001|M+0|K|r/n/m/a|D:#b;m:c|50000001|M+0|K|r/n/m/c|D:#b;"
           u"Cannot read manifest r/n/m/z"_qs;
    QTest::newRow("no data file: model layer under 50,000,000 bytes, or its blob missing")
        << u"r/n/m/a=1:1,*b:49999999;r/n/m/c=1:1,*d:50000000;#1:1;#b:49999999"_qs
        << u"m:a|50000000|M+49999999|S1|r/n/m/a,#b;m:c|50000001|M+0|S1|r/n/m/c"_qs;
}

void OllamaScannerTest::scan()
{
    QFETCH(QString, fixture);
    QFETCH(QString, expected);
    TestHome home;
    home.openToEveryone();
    QVERIFY(build(home.path(), fixture));
    for (const bool running : {false, true}) {
        const auto matches = [&] {
            const QString found = describe(
                OllamaScanner::scanStores({home.file(u".ollama/models"_qs), home.file(u"s2/"_qs)},
                                          running, clockTime()),
                running, home.path());
            if (found != expected)
                qWarning() << "running" << running << "gives" << found;
            return found == expected;
        };
        QVERIFY(fixture.contains(u'!') ? Fixtures::runUnprivileged(matches) : matches());
    }
}

void OllamaScannerTest::orphanNames_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("shown"); // in "Orphaned blob (…)", or "download …" for a download
    QTest::newRow("16 characters: whole") << u"sha256-123456789"_qs << u"sha256-123456789"_qs;
    QTest::newRow("17 characters: shortened") << u"sha256-123456789a"_qs << u"sha256-1…3456789a"_qs;
    QTest::newRow("non-ASCII counted as characters")
        << u"ééééééééééééééééé"_qs << u"éééééééé…éééééééé"_qs;
    QTest::newRow("71-character digest form")
        << u"sha256-0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"_qs
        << u"sha256-0…89abcdef"_qs;
    QTest::newRow("hidden") << u".partial-x"_qs << u".partial-x"_qs;
    QTest::newRow("a download") << u"#1-partial"_qs << u"download sha256-1…11111111"_qs;
    QTest::newRow("a download's part") << u"#1-partial-12"_qs << u"download sha256-1…11111111"_qs;
    QTest::newRow("a short download") << u"abc-partial"_qs << u"download abc"_qs;
    QTest::newRow("not a download") << u"x-partial-1y"_qs << u"x-partial-1y"_qs;
}

void OllamaScannerTest::orphanNames()
{
    QFETCH(QString, fileName);
    QFETCH(QString, shown);
    TestHome home;
    QVERIFY(build(home.path(),
                  u"~/.ollama/models/manifests/;~/.ollama/models/blobs/"_qs + fileName + u":5"_qs));
    const SourceScan scan =
        OllamaScanner::scanStores({home.file(u".ollama/models"_qs)}, true, clockTime());
    const bool download = shown.startsWith(u"download "_qs);
    QCOMPARE(describe(scan, true, home.path()),
             (download ? u"partial "_qs : u"orphan "_qs) + fileName + u" 5"_qs);
    QCOMPARE(scan.models[0].name, download ? u"Unfinished download ("_qs + shown.mid(9) + u')'
                                           : u"Orphaned blob ("_qs + shown + u')');
}

void OllamaScannerTest::badManifests_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("parses");
    const QByteArray good = manifestOf(u"a:1,b:2"_qs);
    const QByteArray atLimit = good + QByteArray((1 << 20) - good.size(), ' ');
    const auto config = [](const char* digest, const char* size,
                           const QByteArray& layers = "[]") -> QByteArray {
        return "{\"config\":" + layer(QString::fromLatin1(digest), QString::fromLatin1(size)) +
               ",\"layers\":" + layers + '}';
    };
    const auto digest = [&config](const char* text) {
        return config("sha256:aa", "1", '[' + layer(QString::fromLatin1(text), u"2"_qs) + ']');
    };
    QTest::newRow("exactly 1 MiB") << atLimit << true;
    QTest::newRow("1 MiB and one byte") << atLimit + ' ' << false;
    QTest::newRow("size 0, upper-case hex") << config("sha256:ABCDEF01", "0") << true;
    QTest::newRow("not JSON") << QByteArray("this is not json") << false;
    QTest::newRow("an array") << '[' + good + ']' << false;
    QTest::newRow("config missing") << QByteArray("{\"layers\":[]}") << false;
    QTest::newRow("layers missing")
        << "{\"config\":" + layer(u"sha256:aa"_qs, u"1"_qs) + '}' << false;
    QTest::newRow("layers an object") << config("sha256:aa", "1", "{}") << false;
    QTest::newRow("layer not an object") << config("sha256:aa", "1", "[1]") << false;
    QTest::newRow("digest a number") << config("12", "1").replace("\"12\"", "12") << false;
    QTest::newRow("size a string") << config("sha256:aa", "\"1\"") << false;
    QTest::newRow("size a fraction") << config("sha256:aa", "1.5") << false;
    QTest::newRow("size beyond 64 bits") << config("sha256:aa", "1e30") << false;
    QTest::newRow("negative size") << config("sha256:aa", "-1") << false;
    QTest::newRow("digest climbing out") << digest("sha256:../../../etc") << false;
    QTest::newRow("digest with a slash") << digest("sha256/x:ab") << false;
    QTest::newRow("digest without colon") << digest("sha256") << false;
    QTest::newRow("digest without hex") << digest("sha256:") << false;
    QTest::newRow("digest without algorithm") << digest(":ab") << false;
}

// A manifest that cannot be decoded is reported, and while it is, no blob of the store is
// offered: each may be its.
void OllamaScannerTest::badManifests()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, parses);
    TestHome home;
    QVERIFY(build(home.path(), u"r/n/good/latest=c:3;#c:3;#f:9"_qs));
    QVERIFY(Fixtures::setModified(home.file(u".ollama/models/blobs/"_qs + blobName(u'f')),
                                  QDateTime::currentSecsSinceEpoch() - 2 * 3600));
    QVERIFY(Fixtures::writeFile(home.file(u".ollama/models/manifests/r/n/odd/latest"_qs), content));
    const QStringList found = describe(OllamaScanner::scan(false), false, home.path()).split(u';');
    if (parses)
        QCOMPARE(found.first() + u';' + found.last(),
                 u"good:latest|3|M+3|-|r/n/good/latest,#c;orphan #f 9"_qs);
    else
        QCOMPARE(found.join(u';'),
                 u"good:latest|3|M+0|K|r/n/good/latest;Cannot parse manifest r/n/odd/latest"_qs);
}

void OllamaScannerTest::storeDirs_data()
{
    QTest::addColumn<QString>("variable"); // OLLAMA_MODELS, in the home
    QTest::addColumn<QString>("system");   // an item making the system store ~/sys
    QTest::addColumn<QString>("expected");
    QTest::newRow("variable names a missing path")
        << u"missing"_qs << QString() << u"~/.ollama/models"_qs;
    QTest::newRow("variable names a folder") << u"elsewhere"_qs << QString() << u"~/elsewhere"_qs;
    QTest::newRow("system store another folder")
        << QString() << u"~/sys/"_qs << u"~/.ollama/models;~/sys"_qs;
    QTest::newRow("system store the same folder")
        << QString() << u"~/sys->@/.ollama/models"_qs << u"~/.ollama/models"_qs;
    QTest::newRow("system store a file") << QString() << u"~/sys:1"_qs << u"~/.ollama/models"_qs;
}

void OllamaScannerTest::storeDirs()
{
    QFETCH(QString, variable);
    QFETCH(QString, system);
    QFETCH(QString, expected);
    TestHome home;
    QVERIFY(build(home.path(), u"~/.ollama/models/;~/elsewhere/;"_qs + system));
    if (!variable.isEmpty())
        home.setEnv("OLLAMA_MODELS", QFile::encodeName(home.file(variable)));
    QCOMPARE(OllamaScanner::storeDirs(home.file(u"sys"_qs)).join(u';'),
             expected.replace(u'~', home.path()));
}

void OllamaScannerTest::isRunning()
{
    for (const bool listening : {false, true}) {
        const std::optional<bool> right = probeFinds(listening);
        if (!right)
            QSKIP("Something else holds port 11434 here");
        QVERIFY(*right);
    }
}

QTEST_GUILESS_MAIN(OllamaScannerTest)
#include "tst_ollamascanner.moc"

#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/Mounts.h"
#include "fs/PosixIO.h"
#include "fs/XdgTrash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace TrashFixtures;

namespace {

QByteArray infoKey(const QString& trashed, const QByteArray& key)
{
    for (const QByteArray& line : infoOf(trashed).split('\n')) {
        if (line.startsWith(QByteArray(key + '=')))
            return line.mid(key.size() + 1);
    }
    return {};
}

bool makeSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    if (fd < 0 || bytes.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::copy(bytes.cbegin(), bytes.cend(), address.sun_path);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

class TestXdgTrash : public QObject
{
    Q_OBJECT

private slots:
    void encodesEveryByteOutsideTheSafeSet();
    void writesInfoAndMovesTheItem();
    void pathIsPercentEncoded_data();
    void pathIsPercentEncoded();
    void trashesFoldersAndLinksAsTheyAre();
    void collisionsMoveOnToNumberedNames();
    void neverOverwritesAnItemWithoutInfo();
    void keepsLongNamesWithinLimits();
    void neverUsesTheStagingName();
    void refusesWhatIsNotAFileOrFolder_data();
    void refusesWhatIsNotAFileOrFolder();
    void reportsAMissingItem();
    void failsWhenTheHomeTrashCannotBeMade();
    void recognisesTrashFolders_data();
    void recognisesTrashFolders();
    void recognisesUnreachableTopTrashes_data();
    void recognisesUnreachableTopTrashes();
    void decodesMountInfoEscapes();
};

void TestXdgTrash::encodesEveryByteOutsideTheSafeSet()
{
    const QByteArray safe("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~/");
    for (int byte = 0; byte < 256; ++byte) {
        const QByteArray in(1, static_cast<char>(byte));
        const QByteArray expected =
            safe.contains(in) ? in
                              : '%' + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0');
        QCOMPARE(XdgTrash::encodePath(in), expected);
    }
}

void TestXdgTrash::writesInfoAndMovesTheItem()
{
    TestHome home;
    home.setEnv("TZ", "BVT-05:45"); // far from UTC, so a date written in UTC is caught
    const QString item = home.file(QStringLiteral("models/model.gguf"));
    QVERIFY(Fixtures::writeFile(item, "weights"));
    const QByteArray digest = digestOf(item);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

    const QString trashed = XdgTrash::trashItem(item);

    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QCOMPARE(trashed, homeTrashFiles() + QStringLiteral("/model.gguf"));
    QVERIFY(!PosixIO::lexists(item));
    QCOMPARE(digestOf(trashed), digest);
    const QByteArray info = infoOf(trashed);
    const QRegularExpression shape(QStringLiteral(
        "^\\[Trash "
        "Info\\]\nPath=([^\n]*)\nDeletionDate=(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\n$"));
    const QRegularExpressionMatch match = shape.match(QString::fromUtf8(info));
    QVERIFY2(match.hasMatch(), info.constData());
    QCOMPARE(match.captured(1), item);
    const QDateTime deleted = QDateTime::fromString(match.captured(2), Qt::ISODate);
    QVERIFY2(deleted >= before && deleted <= after, qPrintable(match.captured(2)));
    QCOMPARE(namesIn(homeTrashInfo()), QStringList{QStringLiteral("model.gguf.trashinfo")});
}

void TestXdgTrash::pathIsPercentEncoded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("newline") << QStringLiteral("two\nlines.bin") << QByteArray("two%0Alines.bin");
    QTest::newRow("percent") << QStringLiteral("100%.bin") << QByteArray("100%25.bin");
    QTest::newRow("non-ASCII") << QStringLiteral("modèle ü.gguf")
                               << QByteArray("mod%C3%A8le%20%C3%BC.gguf");
    QTest::newRow("reserved") << QStringLiteral("a+b=c&d#e?.pt")
                              << QByteArray("a%2Bb%3Dc%26d%23e%3F.pt");
    QTest::newRow("kept as is") << QStringLiteral("Az09-._~.bin") << QByteArray("Az09-._~.bin");
}

void TestXdgTrash::pathIsPercentEncoded()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, encoded);
    TestHome home;
    const QString item = home.file(QStringLiteral("dir/") + name);
    QVERIFY(Fixtures::writeFile(item, "x"));
    const QString trashed = XdgTrash::trashItem(item);
    QCOMPARE(trashed, homeTrashFiles() + u'/' + name);
    QCOMPARE(infoKey(trashed, "Path"),
             XdgTrash::encodePath(QFile::encodeName(home.file(QStringLiteral("dir")))) + '/' +
                 encoded);
}

void TestXdgTrash::trashesFoldersAndLinksAsTheyAre()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("m/repo/a.bin=A"),
                                             QStringLiteral("m/repo/sub/b.bin=B"),
                                             QStringLiteral("m/repo/link->a.bin"),
                                             QStringLiteral("m/dangling->/nowhere/at/all"),
                                             QStringLiteral("m/outside->") + home.root()}));
    const QByteArray folder = digestOf(home.file(QStringLiteral("m/repo")));
    const QString trashedFolder = XdgTrash::trashItem(home.file(QStringLiteral("m/repo")));
    QCOMPARE(digestOf(trashedFolder), folder);

    // A link is trashed as a link: its target stays where it is, even a missing one.
    const QString dangling = XdgTrash::trashItem(home.file(QStringLiteral("m/dangling")));
    QCOMPARE(QFile::symLinkTarget(dangling), QStringLiteral("/nowhere/at/all"));
    const QString outside = XdgTrash::trashItem(home.file(QStringLiteral("m/outside")));
    QVERIFY(QFileInfo(outside).isSymLink());
    QVERIFY(QFileInfo::exists(home.file(QStringLiteral("."))));
    QCOMPARE(namesIn(homeTrashFiles()),
             (QStringList{QStringLiteral("dangling"), QStringLiteral("outside"),
                          QStringLiteral("repo")}));
}

void TestXdgTrash::collisionsMoveOnToNumberedNames()
{
    TestHome home;
    const QString item = home.file(QStringLiteral("a.bin"));
    QStringList trashed;
    for (int i = 0; i < 3; ++i) {
        QVERIFY(Fixtures::writeFile(item, QByteArray::number(i)));
        trashed << XdgTrash::trashItem(item);
    }
    QCOMPARE(trashed, (QStringList{homeTrashFiles() + QStringLiteral("/a.bin"),
                                   homeTrashFiles() + QStringLiteral("/a.bin.2"),
                                   homeTrashFiles() + QStringLiteral("/a.bin.3")}));
    for (int i = 0; i < 3; ++i) {
        QFile file(trashed[i]);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray::number(i));
        QCOMPARE(infoKey(trashed[i], "Path"), QFile::encodeName(item));
    }
    // An orphaned .trashinfo holds its name too.
    QVERIFY(Fixtures::writeFile(homeTrashInfo() + QStringLiteral("/b.bin.trashinfo"), "orphan"));
    QVERIFY(Fixtures::writeFile(home.file(QStringLiteral("b.bin")), "b"));
    QCOMPARE(XdgTrash::trashItem(home.file(QStringLiteral("b.bin"))),
             homeTrashFiles() + QStringLiteral("/b.bin.2"));
    QFile orphan(homeTrashInfo() + QStringLiteral("/b.bin.trashinfo"));
    QVERIFY(orphan.open(QIODevice::ReadOnly));
    QCOMPARE(orphan.readAll(), QByteArray("orphan"));
}

void TestXdgTrash::neverOverwritesAnItemWithoutInfo()
{
    TestHome home;
    // Another program left files/x.bin without its .trashinfo.
    QVERIFY(Fixtures::writeFile(homeTrashFiles() + QStringLiteral("/x.bin"), "theirs"));
    QVERIFY(QDir().mkpath(homeTrashInfo()));
    QVERIFY(Fixtures::writeFile(home.file(QStringLiteral("x.bin")), "ours"));

    const QString trashed = XdgTrash::trashItem(home.file(QStringLiteral("x.bin")));

    QCOMPARE(trashed, homeTrashFiles() + QStringLiteral("/x.bin.2"));
    QFile theirs(homeTrashFiles() + QStringLiteral("/x.bin"));
    QVERIFY(theirs.open(QIODevice::ReadOnly));
    QCOMPARE(theirs.readAll(), QByteArray("theirs"));
    // The .trashinfo written for the first try was taken back.
    QCOMPARE(namesIn(homeTrashInfo()), QStringList{QStringLiteral("x.bin.2.trashinfo")});
}

void TestXdgTrash::keepsLongNamesWithinLimits()
{
    TestHome home;
    // 240 bytes of a two-byte character: too long for "<name>.trashinfo" as it is.
    const QString name = QString(120, QChar(0xE9));
    const QString item = home.file(name);
    QVERIFY(Fixtures::writeFile(item, "x"));
    const QString trashed = XdgTrash::trashItem(item);
    const QByteArray stored = QFile::encodeName(trashed.mid(trashed.lastIndexOf(u'/') + 1));
    QVERIFY(stored.size() <= 236);
    QVERIFY(QString::fromUtf8(stored).startsWith(QString(100, QChar(0xE9))));
    QCOMPARE(infoKey(trashed, "Path"), XdgTrash::encodePath(QFile::encodeName(item)));
}

void TestXdgTrash::neverUsesTheStagingName()
{
    TestHome home;
    const QString item = home.file(QStringLiteral(".brimvale-deleting-model.bin"));
    QVERIFY(Fixtures::writeFile(item, "x"));
    const QString trashed = XdgTrash::trashItem(item);
    QCOMPARE(trashed, homeTrashFiles() + QStringLiteral("/_brimvale-deleting-model.bin"));
    QCOMPARE(infoKey(trashed, "Path"), QFile::encodeName(item));
}

void TestXdgTrash::refusesWhatIsNotAFileOrFolder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << QStringLiteral("fifo");
    QTest::newRow("socket") << QStringLiteral("socket");
    QTest::newRow("device") << QStringLiteral("device");
}

void TestXdgTrash::refusesWhatIsNotAFileOrFolder()
{
    QFETCH(QString, kind);
    TestHome home;
    const QString item = home.file(QStringLiteral("special"));
    const QByteArray bytes = QFile::encodeName(item);
    if (kind == QStringLiteral("fifo"))
        QVERIFY(::mkfifo(bytes.constData(), 0600) == 0);
    else if (kind == QStringLiteral("socket"))
        QVERIFY(makeSocket(item));
    else if (::mknod(bytes.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        QSKIP("Device files cannot be made here (mknod is not permitted)");

    QCOMPARE(trashError(item), QStringLiteral("Not a file or folder"));
    QVERIFY(PosixIO::lexists(item));
    QCOMPARE(namesIn(homeTrashInfo()), QStringList());
    QCOMPARE(namesIn(homeTrashFiles()), QStringList());
}

void TestXdgTrash::reportsAMissingItem()
{
    TestHome home;
    QCOMPARE(trashError(home.file(QStringLiteral("gone.bin"))),
             QStringLiteral("No such file or directory"));
}

void TestXdgTrash::failsWhenTheHomeTrashCannotBeMade()
{
    TestHome home;
    // A regular file where the data folder must be: no trash can be made, and nothing is moved.
    QVERIFY(Fixtures::writeFile(home.file(QStringLiteral(".local/share")), "file"));
    const QString item = home.file(QStringLiteral("m.bin"));
    QVERIFY(Fixtures::writeFile(item, "x"));
    QVERIFY(trashError(item).endsWith(QStringLiteral(": Not a directory")));
    QVERIFY(PosixIO::lexists(item));
}

void TestXdgTrash::recognisesTrashFolders_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("inTrash");
    const QString files = QStringLiteral("$T/files/");
    QTest::newRow("item in files") << files + QStringLiteral("m.bin") << true;
    QTest::newRow("missing item in files") << files + QStringLiteral("gone.bin") << true;
    QTest::newRow("through a linked folder") << QStringLiteral("$H/trashlink/m.bin") << true;
    QTest::newRow("inside an item") << files + QStringLiteral("dir/inner.bin") << false;
    QTest::newRow("dot-dot item") << files + QStringLiteral("..") << false;
    QTest::newRow("dot item") << files + QStringLiteral(".") << false;
    QTest::newRow("escaping by dot-dot")
        << files + QStringLiteral("dir/../../../../victim.bin") << false;
    QTest::newRow("info folder") << QStringLiteral("$T/info/m.bin.trashinfo") << false;
    QTest::newRow("the trash itself") << QStringLiteral("$T") << false;
    QTest::newRow("elsewhere") << QStringLiteral("$H/victim.bin") << false;
    QTest::newRow("relative") << QStringLiteral("files/m.bin") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("fake top trash in home") << QStringLiteral("$H/.Trash-0/files/m.bin") << false;
}

void TestXdgTrash::recognisesTrashFolders()
{
    QFETCH(QString, item);
    QFETCH(bool, inTrash);
    TestHome home;
    QVERIFY(Fixtures::makeTree(homeTrash(), {QStringLiteral("files/m.bin=x"),
                                             QStringLiteral("files/dir/inner.bin=x"),
                                             QStringLiteral("info/m.bin.trashinfo=x")}));
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("victim.bin=x"),
                                             QStringLiteral(".Trash-0/files/m.bin=x"),
                                             QStringLiteral("trashlink->") + homeTrashFiles()}));
    item.replace(QStringLiteral("$T"), homeTrash()).replace(QStringLiteral("$H"), home.path());
    QCOMPARE(XdgTrash::isInTrash(item), inTrash);
    if (item.startsWith(homeTrashFiles() + u'/') && inTrash)
        QVERIFY(XdgTrash::isTrashFilesFolder(homeTrashFiles()));
    QVERIFY(!XdgTrash::isTrashFilesFolder(home.path()));
}

void TestXdgTrash::recognisesUnreachableTopTrashes_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("unreachable");
    QTest::newRow("per-user trash")
        << QStringLiteral("/no-such-drive/.Trash-1000/files/m.bin") << true;
    QTest::newRow("shared trash") << QStringLiteral("/no-such-drive/.Trash/1000/files/m.bin")
                                  << true;
    QTest::newRow("not a trash") << QStringLiteral("/no-such-drive/models/files/m.bin") << false;
    QTest::newRow("odd uid") << QStringLiteral("/no-such-drive/.Trash-x/files/m.bin") << false;
    QTest::newRow("home-like") << QStringLiteral("/no-such-drive/Trash/files/m.bin") << false;
    QTest::newRow("present drive") << QStringLiteral("$H/.Trash-0/files/gone.bin") << false;
}

void TestXdgTrash::recognisesUnreachableTopTrashes()
{
    QFETCH(QString, item);
    QFETCH(bool, unreachable);
    TestHome home;
    QVERIFY(QDir().mkpath(home.file(QStringLiteral(".Trash-0/files"))));
    item.replace(QStringLiteral("$H"), home.path());
    QCOMPARE(XdgTrash::isUnreachable(item), unreachable);
}

void TestXdgTrash::decodesMountInfoEscapes()
{
    QCOMPARE(Mounts::decodeMountInfoField("/media/my\\040disk\\011x\\134y\\012"),
             QByteArray("/media/my disk\tx\\y\n"));
    QCOMPARE(Mounts::decodeMountInfoField("/plain\\9"), QByteArray("/plain\\9"));
    QVERIFY(Mounts::localMountPoints().contains("/"));
}

QTEST_GUILESS_MAIN(TestXdgTrash)
#include "tst_xdgtrash.moc"

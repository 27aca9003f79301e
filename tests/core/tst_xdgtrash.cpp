#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/AppPaths.h"
#include "fs/Mounts.h"
#include "fs/PosixIO.h"
#include "fs/XdgTrash.h"

#include <QDir>
#include <QTest>
#include <ctime>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace TrashFixtures;

namespace {

// The value of Path= in the item's .trashinfo.
QByteArray pathKey(const QString& trashed)
{
    const QByteArray info = infoOf(trashed);
    const qsizetype at = info.indexOf("\nPath=") + 6;
    return info.mid(at, info.indexOf('\n', at) - at);
}

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestXdgTrash : public QObject
{
    Q_OBJECT
    std::optional<TestHome> m_home;
    QString h(const QString& relative) const { return m_home->file(relative); }
private slots:
    void init() { m_home.emplace(); }
    void cleanup() { m_home.reset(); }

    void pathIsPercentEncoded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QString>("stored"); // the name in files/ when it differs
        const auto row = [](const char* row, const QString& name, const QByteArray& encoded,
                            const QString& stored = {}) {
            QTest::newRow(row) << name << encoded << stored;
        };
        row("newline", u"two\nlines.bin"_qs, "two%0Alines.bin");
        row("percent", u"100%.bin"_qs, "100%25.bin");
        row("non-ASCII", u"modèle ü.gguf"_qs, "mod%C3%A8le%20%C3%BC.gguf");
        row("reserved", u"a+b=c&d#e?.pt"_qs, "a%2Bb%3Dc%26d%23e%3F.pt");
        row("kept as is", u"Az09-._~.bin"_qs, "Az09-._~.bin");
        row("a staging name", u".brimvale-deleting-m"_qs, ".brimvale-deleting-m",
            u"_brimvale-deleting-m"_qs);
        // 240 bytes of a two-byte character: too long for "<name>.trashinfo" as it is.
        const QString longName(120, QChar(0xE9));
        row("a long name", longName, XdgTrash::encodePath(longName.toUtf8()),
            QString(118, QChar(0xE9)));
    }

    void pathIsPercentEncoded()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, encoded);
        QFETCH(QString, stored);
        m_home->setEnv("TZ", "BVT-05:45"); // far from UTC, so a date written in UTC is caught
        const QString item = h(u"dir/"_qs) + name;
        QVERIFY(Fixtures::writeFile(item, "weights"));
        const QByteArray digest = digestOf(item);
        ::tzset();
        const time_t before = ::time(nullptr);
        const QString id = u"m:1\nPath=/x"_qs; // a record id is written encoded, as Path= is
        const QString trashed = XdgTrash::trashItem(item, id);
        QCOMPARE(trashed, homeTrashFiles() + u'/' + (stored.isEmpty() ? name : stored));
        QVERIFY(!PosixIO::lexists(item));
        QCOMPARE(digestOf(trashed), digest);
        const QByteArray path =
            XdgTrash::encodePath(QFile::encodeName(h(u"dir"_qs))) + '/' + encoded;
        QByteArray info = infoOf(trashed);
        const QByteArray key = "\nX-Brimvale-Record=m%3A1%0APath%3D/x\n";
        QVERIFY2(info.endsWith(key), info.constData());
        QVERIFY(XdgTrash::isItemOf(trashed, item, id, 0)); // its key, whatever the time
        info.chop(key.size() - 1);
        QCOMPARE(info.chopped(20), "[Trash Info]\nPath=" + path + "\nDeletionDate=");
        // Read back as local time by the C library itself: Qt may keep the zone it saw first.
        struct tm local
        {
        };
        QVERIFY(::strptime(info.right(20).constData(), "%Y-%m-%dT%H:%M:%S", &local) != nullptr);
        local.tm_isdst = -1;
        const time_t deleted = ::mktime(&local);
        QVERIFY2(deleted >= before - 1 && deleted <= ::time(nullptr) + 1, info.constData());
        QCOMPARE(namesIn(homeTrashInfo()).size(), 1);
    }

    void trashesFoldersAndLinksAsTheyAre()
    {
        QVERIFY(Fixtures::makeTree(m_home->path(),
                                   {u"m/repo/a.bin=A"_qs, u"m/repo/sub/b.bin=B"_qs,
                                    u"m/repo/link->a.bin"_qs, u"m/dangling->/nowhere/at/all"_qs,
                                    u"m/outside->"_qs + m_home->root()}));
        const QByteArray folder = digestOf(h(u"m/repo"_qs));
        QCOMPARE(digestOf(XdgTrash::trashItem(h(u"m/repo"_qs))), folder);
        // A link is trashed as a link: its target stays where it is, even a missing one.
        const QString dangling = XdgTrash::trashItem(h(u"m/dangling"_qs));
        QCOMPARE(QFile::symLinkTarget(dangling), u"/nowhere/at/all"_qs);
        QVERIFY(QFileInfo(XdgTrash::trashItem(h(u"m/outside"_qs))).isSymLink());
        QVERIFY(QFileInfo::exists(m_home->path()));
        QCOMPARE(namesIn(homeTrashFiles()),
                 (QStringList{u"dangling"_qs, u"outside"_qs, u"repo"_qs}));
    }

    void takenNamesMoveOnToNumberedNames()
    {
        // Another program left files/a.bin.2 without its .trashinfo, and a .trashinfo for b.bin.
        QVERIFY(Fixtures::writeFile(homeTrashFiles() + u"/a.bin.2"_qs, "theirs"));
        QVERIFY(Fixtures::writeFile(homeTrashInfo() + u"/b.bin.trashinfo"_qs, "orphan"));
        QStringList trashed;
        for (const char* content : {"0", "1", "2"}) {
            QVERIFY(Fixtures::writeFile(h(u"a.bin"_qs), content));
            trashed << XdgTrash::trashItem(h(u"a.bin"_qs));
        }
        QVERIFY(Fixtures::writeFile(h(u"b.bin"_qs), "b"));
        trashed << XdgTrash::trashItem(h(u"b.bin"_qs));
        const QString f = homeTrashFiles() + u'/';
        QCOMPARE(trashed, (QStringList{f + u"a.bin"_qs, f + u"a.bin.3"_qs, f + u"a.bin.4"_qs,
                                       f + u"b.bin.2"_qs}));
        QCOMPARE(readAll(trashed[2]), u"2"_qs);
        QCOMPARE(pathKey(trashed[2]), QFile::encodeName(h(u"a.bin"_qs)));
        QCOMPARE(readAll(f + u"a.bin.2"_qs), u"theirs"_qs);
        QCOMPARE(readAll(homeTrashInfo() + u"/b.bin.trashinfo"_qs), u"orphan"_qs);
        // The .trashinfo written for a name whose item was taken was taken back.
        QVERIFY(!PosixIO::lexists(homeTrashInfo() + u"/a.bin.2.trashinfo"_qs));
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::newRow("FIFO") << u"fifo"_qs << u"Not a file or folder"_qs;
        QTest::newRow("socket") << u"socket"_qs << u"Not a file or folder"_qs;
        QTest::newRow("device") << u"device"_qs << u"Not a file or folder"_qs;
        QTest::newRow("missing") << u"missing"_qs << u"No such file or directory"_qs;
        QTest::newRow("NUL in the path") << u"nul"_qs << u"Invalid path"_qs;
        QTest::newRow("no home trash can be made")
            << u"blocked"_qs << u"Cannot create folder $H/.local/share: Not a directory"_qs;
    }

    void refuses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QString item = h(u"special"_qs);
        const QByteArray bytes = QFile::encodeName(item);
        sockaddr_un address{AF_UNIX, {}};
        std::copy(bytes.cbegin(), bytes.cend(), address.sun_path);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (kind == u"fifo"_qs)
            QVERIFY(::mkfifo(bytes.constData(), 0600) == 0);
        else if (kind == u"socket"_qs)
            QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        else if (kind == u"device"_qs &&
                 ::mknod(bytes.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("Device files cannot be made here (mknod is not permitted)");
        if (kind == u"nul"_qs) { // up to NUL it names a folder, which must stay
            QVERIFY(QDir().mkpath(item));
            item += QChar(0) + u"x/m.gguf"_qs;
        }
        if (kind == u"blocked"_qs) // a file where the data folder must be
            QVERIFY(Fixtures::writeFile(item) && Fixtures::writeFile(h(u".local/share"_qs)));
        ::close(fd);
        QCOMPARE(trashError(item), error.replace(u"$H"_qs, m_home->path()));
        QCOMPARE(PosixIO::lexists(h(u"special"_qs)), kind != u"missing"_qs);
        QCOMPARE(namesIn(homeTrashInfo()), QStringList());
        QCOMPARE(namesIn(homeTrashFiles()), QStringList());
    }

    void tellsAnItemFromALaterOneOfItsName_data()
    {
        QTest::addColumn<bool>("topTrash");    // a drive's own trash, not the home trash
        QTest::addColumn<QByteArray>("path");  // Path= in its .trashinfo; empty: none. $A: $H/pub/a
        QTest::addColumn<QString>("original"); // what the record says
        QTest::addColumn<qint64>("age");       // of the .trashinfo, against the record's time
        QTest::addColumn<QByteArray>("key");   // after the standard keys; the record's id is m-1
        QTest::addColumn<bool>("its");
        const auto row = [](const char* name, bool top, const char* path, const QString& original,
                            qint64 age, bool its, const char* key = "") {
            QTest::newRow(name) << top << QByteArray(path) << original << age << QByteArray(key)
                                << its;
        };
        const qint64 days2 = 2 * 24 * 3600;
        row("its key, two days later", false, "$A/m.gguf", u"$A/m.gguf"_qs, days2, true,
            "X-Brimvale-Record=m-1\n");
        row("its key, two days earlier", true, "pub/a/m.gguf", u"$A/m.gguf"_qs, -days2, true,
            "X-Brimvale-Record=m-1\n");
        row("its key among others, CRLF", false, "$A/m.gguf", u"$A/m.gguf"_qs, days2, true,
            "X-Other=m-2\r\n# X-Brimvale-Record=m-2\r\n X-Brimvale-Record = m-1 \r\n");
        row("another record's key", false, "$A/m.gguf", u"$A/m.gguf"_qs, 0, false,
            "X-Brimvale-Record=m-2\n");
        row("its key, another path", false, "$H/pub/b/m.gguf", u"$A/m.gguf"_qs, 0, false,
            "X-Brimvale-Record=m-1\n");
        row("its own", false, "$A/m.gguf", u"$A/m.gguf"_qs, 0, true);
        row("percent-encoded", false, "$A%20b%0A/m.gguf", u"$A b\n/m.gguf"_qs, 0, true);
        row("recorded with a slash", false, "$A", u"$A/"_qs, 0, true);
        row("through a linked folder", false, "$A/m.gguf", u"$H/linked/a/m.gguf"_qs, 0, true);
        row("ten minutes apart", false, "$A/m.gguf", u"$A/m.gguf"_qs, 600, true);
        row("relative in a drive's trash", true, "pub/a/m.gguf", u"$A/m.gguf"_qs, 0, true);
        row("another model's", false, "$H/pub/b/m.gguf", u"$A/m.gguf"_qs, 0, false);
        row("trashed again later", false, "$A/m.gguf", u"$A/m.gguf"_qs, 601, false);
        row("trashed earlier", false, "$A/m.gguf", u"$A/m.gguf"_qs, -601, false);
        row("no .trashinfo", false, "", u"$A/m.gguf"_qs, 0, false);
        row("relative in the home trash", false, "pub/a/m.gguf", u"$A/m.gguf"_qs, 0, false);
        row("NUL in the record", false, "$A/m.gguf", u"$A/m.gguf"_qs + QChar(0), 0, false);
    }

    void tellsAnItemFromALaterOneOfItsName()
    {
        QFETCH(bool, topTrash);
        QFETCH(QByteArray, path);
        QFETCH(QString, original);
        QFETCH(qint64, age);
        QFETCH(QByteArray, key);
        const qint64 at = 1'700'000'000;
        QVERIFY(QDir().mkpath(h(u"pub/a"_qs)) && QFile::link(h(u"pub"_qs), h(u"linked"_qs)));
        const QString item = h(topTrash ? u".Trash-0/files/m.gguf"_qs : u"Trash/files/m.gguf"_qs);
        original.replace(u"$A"_qs, u"$H/pub/a"_qs).replace(u"$H"_qs, m_home->path());
        const QString info = XdgTrash::infoPathOf(item);
        if (!path.isEmpty()) {
            path.replace("$A", "$H/pub/a").replace("$H", QFile::encodeName(m_home->path()));
            QVERIFY(Fixtures::writeFile(info,
                                        XdgTrash::infoContent(path, "2023-11-14T22:13:20") + key));
            QVERIFY(Fixtures::setModified(info, at + age));
        }
        const QString id = u"m-1"_qs;
        QTEST(XdgTrash::isItemOf(item, original, id, at), "its");
        // A link in place of the .trashinfo is never read.
        if (!path.isEmpty() && QFile::rename(info, info + u"-real"_qs) &&
            QFile::link(info + u"-real"_qs, info))
            QVERIFY(!XdgTrash::isItemOf(item, original, id, at));
    }

    void recognisesTrashFolders_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("inTrash");
        const QString files = u"$T/files/"_qs;
        QTest::newRow("item in files") << files + u"m.bin"_qs << true;
        QTest::newRow("missing item in files") << files + u"gone.bin"_qs << true;
        QTest::newRow("through a linked folder") << u"$H/trashlink/m.bin"_qs << true;
        QTest::newRow("inside an item") << files + u"dir/inner.bin"_qs << false;
        QTest::newRow("dot-dot item") << files + u".."_qs << false;
        QTest::newRow("dot item") << files + u"."_qs << false;
        QTest::newRow("escaping by dot-dot") << files + u"dir/../../../../victim.bin"_qs << false;
        QTest::newRow("info folder") << u"$T/info/m.bin.trashinfo"_qs << false;
        QTest::newRow("the trash itself") << u"$T"_qs << false;
        QTest::newRow("elsewhere") << u"$H/victim.bin"_qs << false;
        QTest::newRow("relative") << u"files/m.bin"_qs << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("fake top trash in home") << u"$H/.Trash-0/files/m.bin"_qs << false;
    }

    void recognisesTrashFolders()
    {
        QFETCH(QString, item);
        QFETCH(bool, inTrash);
        QVERIFY(Fixtures::makeTree(
            AppPaths::homeTrash(),
            {u"files/m.bin=x"_qs, u"files/dir/inner.bin=x"_qs, u"info/m.bin.trashinfo=x"_qs}));
        QVERIFY(
            Fixtures::makeTree(m_home->path(), {u"victim.bin=x"_qs, u".Trash-0/files/m.bin=x"_qs,
                                                u"trashlink->"_qs + homeTrashFiles()}));
        item.replace(u"$T"_qs, AppPaths::homeTrash()).replace(u"$H"_qs, m_home->path());
        QCOMPARE(XdgTrash::isInTrash(item), inTrash);
        QVERIFY(XdgTrash::isTrashFilesFolder(homeTrashFiles()));
        QVERIFY(!XdgTrash::isTrashFilesFolder(m_home->path()));
    }

    void recognisesUnreachableTopTrashes_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("unreachable");
        QTest::newRow("per-user trash") << u"/no-such-drive/.Trash-1000/files/m.bin"_qs << true;
        QTest::newRow("shared trash") << u"/no-such-drive/.Trash/1000/files/m.bin"_qs << true;
        QTest::newRow("not a trash") << u"/no-such-drive/models/files/m.bin"_qs << false;
        QTest::newRow("odd uid") << u"/no-such-drive/.Trash-x/files/m.bin"_qs << false;
        QTest::newRow("home-like") << u"/no-such-drive/Trash/files/m.bin"_qs << false;
        QTest::newRow("present drive") << u"$H/.Trash-0/files/gone.bin"_qs << false;
    }

    void recognisesUnreachableTopTrashes()
    {
        QFETCH(QString, item);
        QVERIFY(QDir().mkpath(h(u".Trash-0/files"_qs)));
        QTEST(XdgTrash::isUnreachable(item.replace(u"$H"_qs, m_home->path())), "unreachable");
    }

    void decodesMountInfoEscapes()
    {
        QCOMPARE(Mounts::decodeMountInfoField("/media/my\\040disk\\011x\\134y\\012"),
                 QByteArray("/media/my disk\tx\\y\n"));
        QCOMPARE(Mounts::decodeMountInfoField("/plain\\9"), QByteArray("/plain\\9"));
        QVERIFY(Mounts::localMountPoints().contains("/"));
    }
};

QTEST_GUILESS_MAIN(TestXdgTrash)
#include "tst_xdgtrash.moc"

// The trash of a second drive: /dev/shm stands in for a disk other than the home's.
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "fs/AppPaths.h"
#include "fs/Mounts.h"
#include "fs/PosixIO.h"
#include "fs/XdgTrash.h"
#include "model/BrimvaleError.h"
#include "services/TrashService.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QUuid>
#include <sys/stat.h>
#include <unistd.h>

using namespace TrashFixtures;

namespace {

const QString kDrive = u"/dev/shm"_qs;

// What lstat says of the path (all zero when it fails).
struct stat statOf(const QString& path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        st = {};
    return st;
}

// Removes a file, a link or a whole folder (links inside are removed, never followed).
void removeAll(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

} // namespace

class TestTrashDrive : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_ownTrash = kDrive + u"/.Trash-"_qs + QString::number(::getuid());
        m_sharedTrash = kDrive + u"/.Trash"_qs;
        if (!QFileInfo(kDrive).isDir())
            QSKIP("/dev/shm is missing: no second filesystem to test with");
        if (statOf(kDrive).st_dev == statOf(QDir::tempPath()).st_dev)
            QSKIP("/dev/shm is the same filesystem as the temporary folder here");
        if (Mounts::topDirectoryOf(QFile::encodeName(kDrive)) != QFile::encodeName(kDrive))
            QSKIP("/dev/shm is not the top of its own mount here");
        m_folder =
            kDrive + u"/brimvale-test-"_qs + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QVERIFY(QDir().mkpath(m_folder));
        m_home.emplace();
        m_createdHere.clear();
        for (const QString& trash : {m_ownTrash, m_sharedTrash}) {
            if (!PosixIO::lexists(trash))
                m_createdHere << trash;
        }
    }

    void cleanup()
    {
        if (!m_folder.isEmpty())
            removeAll(m_folder);
        for (const QString& trash : m_createdHere)
            removeAll(trash);
        m_folder.clear();
        m_createdHere.clear();
        m_home.reset();
    }

    void usesTheDrivesOwnTrash()
    {
        QVERIFY(Fixtures::makeTree(m_folder, {u"model dir/w.bin=A"_qs, u"b/w.bin=B"_qs}));
        const QString a = m_folder + u"/model dir"_qs, b = m_folder + u"/b"_qs;
        const QByteArray digest = digestOf(a);
        const TrashEntry first = *TrashService::moveToTrash(model(u"a"_qs, {a})).entry;
        const TrashEntry second = *TrashService::moveToTrash(model(u"b"_qs, {b})).entry;
        const QString trashed = first.trashedPaths.value(0);
        if (m_createdHere.contains(m_sharedTrash) || QFileInfo(m_sharedTrash).isSymLink()) {
            QCOMPARE(trashed, m_ownTrash + u"/files/model dir"_qs);
            if (m_createdHere.contains(m_ownTrash))
                QCOMPARE(statOf(m_ownTrash).st_mode & 07777, mode_t(0700));
        }
        QCOMPARE(digestOf(trashed), digest);
        QCOMPARE(statOf(trashed).st_dev, statOf(kDrive).st_dev);
        const QByteArray relative = QFile::encodeName(m_folder.mid(kDrive.size() + 1));
        QVERIFY(infoOf(trashed).contains(QByteArray("\nPath=" + relative + "/model%20dir\n")));
        QVERIFY(!PosixIO::lexists(AppPaths::homeTrash())); // nothing reached the home trash
        QCOMPARE(TrashService::entries().size(), 2);
        // Path= is relative to the drive's top: the items are still the records' own.
        QCOMPARE(TrashService::restore(first.id).restored, QStringList{a});
        QCOMPARE(digestOf(a), digest);
        QCOMPARE(infoOf(trashed), QByteArray());
        QCOMPARE(TrashService::deletePermanently(second.id).deleted, second.trashedPaths);
        QVERIFY(!PosixIO::lexists(second.trashedPaths[0]) &&
                infoOf(second.trashedPaths[0]).isEmpty());
        QVERIFY(TrashService::entries().isEmpty());
        // A staged leftover there that no record names: the sweep finds it through the mount table.
        const QString files = trashed.left(trashed.lastIndexOf(u'/'));
        const QString name =
            u"brimvale-sweep-"_qs + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QVERIFY(Fixtures::writeFile(files + u"/.brimvale-deleting-"_qs + name) &&
                Fixtures::writeFile(XdgTrash::infoPathOf(files + u'/' + name)));
        QCOMPARE(TrashService::restore(u"no-such-id"_qs).errorKind, BrimvaleError::Kind::notFound);
        QVERIFY(!PosixIO::lexists(files + u"/.brimvale-deleting-"_qs + name));
        QVERIFY(!PosixIO::lexists(XdgTrash::infoPathOf(files + u'/' + name)));
        // A link on the home's drive to an item here goes to the home trash, as a link.
        const QString link = m_home->file(u"link.bin"_qs);
        QVERIFY(QFile::link(a, link));
        QCOMPARE(XdgTrash::trashItem(link), homeTrashFiles() + u"/link.bin"_qs);
        QVERIFY(QFileInfo(homeTrashFiles() + u"/link.bin"_qs).isSymLink() && PosixIO::lexists(a));
    }

    void prefersASharedStickyTrash_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("shared");
        QTest::newRow("sticky") << u"sticky"_qs << true;
        QTest::newRow("not sticky") << u"plain"_qs << false;
        QTest::newRow("a link to a sticky folder") << u"link"_qs << false;
    }

    void prefersASharedStickyTrash()
    {
        QFETCH(QString, kind);
        QFETCH(bool, shared);
        if (!m_createdHere.contains(m_sharedTrash))
            QSKIP("/dev/shm already has a .Trash folder, which this test must not change");
        const QByteArray path = QFile::encodeName(m_sharedTrash);
        if (kind == u"link"_qs) {
            const QString real = m_folder + u"/realtrash"_qs;
            QVERIFY(QDir().mkpath(real));
            QVERIFY(::chmod(QFile::encodeName(real).constData(), 01777) == 0);
            QVERIFY(::symlink(QFile::encodeName(real).constData(), path.constData()) == 0);
        } else {
            QVERIFY(::mkdir(path.constData(), 0777) == 0);
            QVERIFY(::chmod(path.constData(), kind == u"sticky"_qs ? 01777 : 0777) == 0);
        }
        const QString item = m_folder + u"/m.bin"_qs;
        QVERIFY(Fixtures::writeFile(item, "x"));
        const QString trashed = XdgTrash::trashItem(item);
        const QString expected =
            shared ? m_sharedTrash + u'/' + QString::number(::getuid()) : m_ownTrash;
        QCOMPARE(trashed, expected + u"/files/m.bin"_qs);
        QVERIFY(XdgTrash::isInTrash(trashed));
        removeAll(trashed);
        QVERIFY(QFile::remove(XdgTrash::infoPathOf(trashed)));
        if (kind == u"link"_qs)
            QVERIFY(QFile::remove(m_sharedTrash));
        else
            removeAll(m_sharedTrash);
    }

    void refusesWhenTheDriveHasNoUsableTrash_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("a link in place of the trash") << u"link"_qs;
        QTest::newRow("a trash owned by someone else") << u"foreign"_qs;
        QTest::newRow("a file in place of the trash") << u"file"_qs;
        QTest::newRow("no trash yet: it is made") << QString();
    }

    void refusesWhenTheDriveHasNoUsableTrash()
    {
        QFETCH(QString, obstacle);
        if (::getuid() != 0)
            QSKIP("needs root to act as another user");
        if (QFileInfo(m_sharedTrash).isDir())
            QSKIP("/dev/shm has a shared .Trash folder here, which would be used first");
        const QString theirTrash = kDrive + u"/.Trash-65534"_qs;
        if (PosixIO::lexists(theirTrash))
            QSKIP("/dev/shm already has a .Trash-65534, which this test must not change");
        m_home->openToEveryone();
        QVERIFY(::chmod(QFile::encodeName(m_folder).constData(), 0777) == 0);
        const QString item = m_folder + u"/m.bin"_qs;
        QVERIFY(Fixtures::writeFile(item, "x"));
        QVERIFY(::chown(QFile::encodeName(item).constData(), 65534, 65534) == 0);
        const QByteArray trash = QFile::encodeName(theirTrash);
        if (obstacle == u"link"_qs) {
            QVERIFY(QDir().mkpath(m_folder + u"/elsewhere"_qs));
            QVERIFY(::chown(QFile::encodeName(m_folder + u"/elsewhere"_qs).constData(), 65534,
                            65534) == 0);
            QVERIFY(QFile::link(m_folder + u"/elsewhere"_qs, theirTrash));
        } else if (obstacle == u"foreign"_qs) {
            QVERIFY(::mkdir(trash.constData(), 0777) == 0);
            QVERIFY(::chmod(trash.constData(), 0777) == 0);
        } else if (obstacle == u"file"_qs) {
            QVERIFY(Fixtures::writeFile(theirTrash, "x"));
        }
        const bool asExpected = Fixtures::runUnprivileged([&] {
            const QString error = trashError(item);
            if (obstacle.isEmpty())
                return error == u"(no error)"_qs &&
                       PosixIO::lexists(theirTrash + u"/files/m.bin"_qs);
            return error == u"No usable Trash on its drive"_qs && PosixIO::lexists(item);
        });
        if (obstacle.isEmpty()) {
            QCOMPARE(statOf(theirTrash).st_uid, uid_t(65534));
            QCOMPARE(statOf(theirTrash).st_mode & 07777, mode_t(0700));
        }
        removeAll(theirTrash);
        QVERIFY(asExpected);
    }

private:
    std::optional<TestHome> m_home;
    QString m_folder;          // our uniquely named folder on the drive
    QStringList m_createdHere; // top-level trash folders this test made (removed at the end)
    QString m_ownTrash;        // {drive}/.Trash-{uid}
    QString m_sharedTrash;     // {drive}/.Trash
};

QTEST_GUILESS_MAIN(TestTrashDrive)
#include "tst_trashdrive.moc"

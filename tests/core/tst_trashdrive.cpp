// The trash of a second drive: /dev/shm stands in for a disk other than the home's.
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
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

const QString kDrive = QStringLiteral("/dev/shm");

dev_t deviceOf(const QString& path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : 0;
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
    void init();
    void cleanup();
    void usesTheDrivesOwnTrash();
    void prefersASharedStickyTrash_data();
    void prefersASharedStickyTrash();
    void aLinkGoesToTheTrashOfItsOwnDrive();
    void refusesWhenTheDriveHasNoUsableTrash_data();
    void refusesWhenTheDriveHasNoUsableTrash();
    void restoresAndDeletesFromTheDrive();
    void sweepsLeftoversOnEveryDrive();

private:
    QString m_folder;          // our uniquely named folder on the drive
    QStringList m_createdHere; // top-level trash folders this test made (removed at the end)
    QString m_ownTrash;        // {drive}/.Trash-{uid}
    QString m_sharedTrash;     // {drive}/.Trash
};

void TestTrashDrive::init()
{
    m_ownTrash = kDrive + QStringLiteral("/.Trash-") + QString::number(::getuid());
    m_sharedTrash = kDrive + QStringLiteral("/.Trash");
    if (!QFileInfo(kDrive).isDir())
        QSKIP("/dev/shm is missing: no second filesystem to test with");
    if (deviceOf(kDrive) == deviceOf(QDir::tempPath()))
        QSKIP("/dev/shm is the same filesystem as the temporary folder here");
    if (Mounts::topDirectoryOf(QFile::encodeName(kDrive)) != QFile::encodeName(kDrive))
        QSKIP("/dev/shm is not the top of its own mount here");
    m_folder = kDrive + QStringLiteral("/brimvale-test-") +
               QUuid::createUuid().toString(QUuid::WithoutBraces);
    QVERIFY(QDir().mkpath(m_folder));
    m_createdHere.clear();
    for (const QString& trash : {m_ownTrash, m_sharedTrash}) {
        if (!PosixIO::lexists(trash))
            m_createdHere << trash;
    }
}

void TestTrashDrive::cleanup()
{
    if (!m_folder.isEmpty())
        removeAll(m_folder);
    for (const QString& trash : m_createdHere)
        removeAll(trash);
    m_folder.clear();
    m_createdHere.clear();
}

void TestTrashDrive::usesTheDrivesOwnTrash()
{
    if (QFileInfo(m_sharedTrash).isDir() && !QFileInfo(m_sharedTrash).isSymLink())
        QSKIP("/dev/shm has a shared .Trash folder here, which would be chosen first");
    TestHome home;
    const QString item = m_folder + QStringLiteral("/model dir/w.bin");
    QVERIFY(Fixtures::writeFile(item, "weights"));
    const QByteArray digest = digestOf(item);

    const QString trashed = XdgTrash::trashItem(item);

    QCOMPARE(trashed, m_ownTrash + QStringLiteral("/files/w.bin"));
    QCOMPARE(digestOf(trashed), digest);
    QCOMPARE(deviceOf(trashed), deviceOf(kDrive));
    const QByteArray relative = QFile::encodeName(m_folder.mid(kDrive.size() + 1));
    QVERIFY(infoOf(trashed).contains(QByteArray("\nPath=" + relative + "/model%20dir/w.bin\n")));
    if (m_createdHere.contains(m_ownTrash)) {
        struct stat st
        {
        };
        QVERIFY(::lstat(QFile::encodeName(m_ownTrash).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
    }
    QVERIFY(XdgTrash::isInTrash(trashed));
    // Nothing reached the home trash.
    QVERIFY(!PosixIO::lexists(homeTrash()));
    removeAll(trashed);
    QVERIFY(QFile::remove(m_ownTrash + QStringLiteral("/info/w.bin.trashinfo")));
}

void TestTrashDrive::prefersASharedStickyTrash_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("shared");
    QTest::newRow("sticky") << QStringLiteral("sticky") << true;
    QTest::newRow("not sticky") << QStringLiteral("plain") << false;
    QTest::newRow("a link to a sticky folder") << QStringLiteral("link") << false;
}

void TestTrashDrive::prefersASharedStickyTrash()
{
    QFETCH(QString, kind);
    QFETCH(bool, shared);
    if (!m_createdHere.contains(m_sharedTrash))
        QSKIP("/dev/shm already has a .Trash folder, which this test must not change");
    TestHome home;
    const QByteArray path = QFile::encodeName(m_sharedTrash);
    if (kind == QStringLiteral("link")) {
        const QString real = m_folder + QStringLiteral("/realtrash");
        QVERIFY(QDir().mkpath(real));
        QVERIFY(::chmod(QFile::encodeName(real).constData(), 01777) == 0);
        QVERIFY(::symlink(QFile::encodeName(real).constData(), path.constData()) == 0);
    } else {
        QVERIFY(::mkdir(path.constData(), 0777) == 0);
        QVERIFY(::chmod(path.constData(), kind == QStringLiteral("sticky") ? 01777 : 0777) == 0);
    }
    const QString item = m_folder + QStringLiteral("/m.bin");
    QVERIFY(Fixtures::writeFile(item, "x"));

    const QString trashed = XdgTrash::trashItem(item);

    const QString expected =
        shared ? m_sharedTrash + u'/' + QString::number(::getuid()) : m_ownTrash;
    QCOMPARE(trashed, expected + QStringLiteral("/files/m.bin"));
    QVERIFY(XdgTrash::isInTrash(trashed));
    removeAll(trashed);
    QVERIFY(QFile::remove(XdgTrash::infoPathOf(trashed)));
    if (kind == QStringLiteral("link"))
        QVERIFY(QFile::remove(m_sharedTrash));
    else
        removeAll(m_sharedTrash);
}

void TestTrashDrive::aLinkGoesToTheTrashOfItsOwnDrive()
{
    TestHome home;
    QVERIFY(Fixtures::writeFile(m_folder + QStringLiteral("/target.bin"), "x"));
    const QString link = home.file(QStringLiteral("link.bin"));
    QVERIFY(QFile::link(m_folder + QStringLiteral("/target.bin"), link));

    const QString trashed = XdgTrash::trashItem(link);

    QCOMPARE(trashed, homeTrashFiles() + QStringLiteral("/link.bin"));
    QVERIFY(QFileInfo(trashed).isSymLink());
    QVERIFY(PosixIO::lexists(m_folder + QStringLiteral("/target.bin")));
}

void TestTrashDrive::refusesWhenTheDriveHasNoUsableTrash_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("a link in place of the trash") << QStringLiteral("link");
    QTest::newRow("a trash owned by someone else") << QStringLiteral("foreign");
    QTest::newRow("a file in place of the trash") << QStringLiteral("file");
    QTest::newRow("no trash yet: it is made") << QString();
}

void TestTrashDrive::refusesWhenTheDriveHasNoUsableTrash()
{
    QFETCH(QString, obstacle);
    if (::getuid() != 0)
        QSKIP("needs root to act as another user");
    if (QFileInfo(m_sharedTrash).isDir())
        QSKIP("/dev/shm has a shared .Trash folder here, which would be used first");
    const QString theirTrash = kDrive + QStringLiteral("/.Trash-65534");
    if (PosixIO::lexists(theirTrash))
        QSKIP("/dev/shm already has a .Trash-65534, which this test must not change");
    TestHome home;
    home.openToEveryone();
    QVERIFY(::chmod(QFile::encodeName(m_folder).constData(), 0777) == 0);
    const QString item = m_folder + QStringLiteral("/m.bin");
    QVERIFY(Fixtures::writeFile(item, "x"));
    QVERIFY(::chown(QFile::encodeName(item).constData(), 65534, 65534) == 0);
    const QByteArray trash = QFile::encodeName(theirTrash);
    if (obstacle == QStringLiteral("link")) {
        QVERIFY(QDir().mkpath(m_folder + QStringLiteral("/elsewhere")));
        QVERIFY(::chown(QFile::encodeName(m_folder + QStringLiteral("/elsewhere")).constData(),
                        65534, 65534) == 0);
        QVERIFY(QFile::link(m_folder + QStringLiteral("/elsewhere"), theirTrash));
    } else if (obstacle == QStringLiteral("foreign")) {
        QVERIFY(::mkdir(trash.constData(), 0777) == 0);
        QVERIFY(::chmod(trash.constData(), 0777) == 0);
    } else if (obstacle == QStringLiteral("file")) {
        QVERIFY(Fixtures::writeFile(theirTrash, "x"));
    }

    const bool asExpected = Fixtures::runUnprivileged([&] {
        const QString error = trashError(item);
        if (obstacle.isEmpty())
            return error == QStringLiteral("(no error)") &&
                   PosixIO::lexists(theirTrash + QStringLiteral("/files/m.bin"));
        return error == QStringLiteral("No usable Trash on its drive") && PosixIO::lexists(item);
    });
    if (obstacle.isEmpty()) {
        struct stat st
        {
        };
        QVERIFY(::lstat(trash.constData(), &st) == 0);
        QCOMPARE(st.st_uid, uid_t(65534));
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
    }
    removeAll(theirTrash);
    QVERIFY(asExpected);
}

void TestTrashDrive::restoresAndDeletesFromTheDrive()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(m_folder, {QStringLiteral("a/w.bin=A"), QStringLiteral("b/w.bin=B"),
                                          QStringLiteral("b/extra/x.bin=X")}));
    const QByteArray a = digestOf(m_folder + QStringLiteral("/a"));
    const TrashOutcome first =
        TrashService::moveToTrash(model(QStringLiteral("a"), {m_folder + QStringLiteral("/a")}));
    const TrashOutcome second =
        TrashService::moveToTrash(model(QStringLiteral("b"), {m_folder + QStringLiteral("/b")}));
    QVERIFY(first.succeeded() && second.succeeded());
    QVERIFY(first.entry->trashedPaths[0].startsWith(kDrive + QStringLiteral("/.Trash")));
    QCOMPARE(TrashService::entries().size(), 2);

    QCOMPARE(TrashService::restore(first.entry->id), QStringList{m_folder + QStringLiteral("/a")});
    QCOMPARE(digestOf(m_folder + QStringLiteral("/a")), a);
    QCOMPARE(infoOf(first.entry->trashedPaths[0]), QByteArray());

    TrashService::deletePermanently(second.entry->id);
    QVERIFY(!PosixIO::lexists(second.entry->trashedPaths[0]));
    QCOMPARE(infoOf(second.entry->trashedPaths[0]), QByteArray());
    QVERIFY(!PosixIO::lexists(m_folder + QStringLiteral("/b")));
    QCOMPARE(TrashService::entries().size(), 0);
}

void TestTrashDrive::sweepsLeftoversOnEveryDrive()
{
    TestHome home;
    // Make sure the drive has its trash, then leave a staged item no record names there.
    QVERIFY(Fixtures::writeFile(m_folder + QStringLiteral("/m.bin"), "x"));
    const QString trashed = XdgTrash::trashItem(m_folder + QStringLiteral("/m.bin"));
    const QString files = trashed.left(trashed.lastIndexOf(u'/'));
    const QString name =
        QStringLiteral("brimvale-sweep-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QVERIFY(QFile::rename(trashed, files + QStringLiteral("/.brimvale-deleting-") + name));
    QVERIFY(
        QFile::rename(XdgTrash::infoPathOf(trashed), XdgTrash::infoPathOf(files + u'/' + name)));

    // The log knows nothing of this drive; the sweep finds it through the mount table.
    try {
        TrashService::deletePermanently(QStringLiteral("no-such-id"));
        QFAIL("expected Trash entry not found");
    } catch (const BrimvaleError& error) {
        QCOMPARE(error.message(), QStringLiteral("Trash entry not found"));
    }
    QVERIFY(!PosixIO::lexists(files + QStringLiteral("/.brimvale-deleting-") + name));
    QVERIFY(!PosixIO::lexists(XdgTrash::infoPathOf(files + u'/' + name)));
}

QTEST_GUILESS_MAIN(TestTrashDrive)
#include "tst_trashdrive.moc"

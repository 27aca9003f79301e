// MoveService across filesystems where rights and limits stop it: a read-only or full
// destination, a source it may set aside but not delete, and read-only folders of its own.
// Permission bits stop nothing for root, so these cases run in a child at an unprivileged uid
// or under a file size limit.
#include "Fixtures.h"
#include "MoveTestSupport.h"
#include "TestHome.h"
#include "services/MoveService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace MoveTestSupport;

class MoveRightsTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void failedRemovalOfTheSource();
    void fullDestination();
    void readOnlyDestination();
    void readOnlyFolderMovedByItsOwner();
};

void MoveRightsTest::init()
{
    setUp();
}

void MoveRightsTest::cleanup()
{
    tearDown();
}

void MoveRightsTest::failedRemovalOfTheSource()
{
    // A folder with the sticky bit, owned by root with root's file inside: the unprivileged
    // mover may rename it aside but not empty it.
    QVERIFY(openMoveLockToEveryone(*m_home));
    const QString pkg = m_source + QStringLiteral("/pkg");
    QVERIFY(Fixtures::makeTree(pkg, {QStringLiteral("root.bin=root's")}));
    for (const QString& path : {m_source, m_second})
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0777) == 0);
    QVERIFY(::chmod(QFile::encodeName(pkg).constData(), 01777) == 0);
    const QString moved = m_second + QStringLiteral("/pkg");
    const QString aside = m_source + QStringLiteral("/.brimvale-moved-pkg");
    const bool ok = Fixtures::runUnprivileged([&] {
        const MoveOutcome outcome = MoveService::move({entryWith(pkg)}, m_second, true);
        return outcome == MoveOutcome{{moved},
                                      {pkg},
                                      QStringLiteral("Moved, but could not remove ") + aside +
                                          QStringLiteral(": Operation not permitted")};
    });
    QVERIFY(ok);
    QCOMPARE(linkTarget(pkg), moved);
    QCOMPARE(namesIn(moved), QStringList{QStringLiteral("root.bin")});
    QCOMPARE(namesIn(aside), QStringList{QStringLiteral("root.bin")});
}

void MoveRightsTest::fullDestination()
{
    const QString item = m_source + QStringLiteral("/big.gguf");
    const QByteArray content = Fixtures::headBytes(11, 3'000'000);
    QVERIFY(Fixtures::writeFile(item, content));
    const bool ok = runInChild([&] {
        // A file size limit makes every write past 1 MB fail as on a full drive.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1'000'000, 1'000'000};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return false;
        const MoveOutcome outcome = MoveService::move({entryWith(item)}, m_second, true);
        return outcome == MoveOutcome{{},
                                      {},
                                      QStringLiteral("Could not move ") + item +
                                          QStringLiteral(": File too large")};
    });
    QVERIFY(ok);
    QFile file(item);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == content);
    QVERIFY(namesIn(m_second).isEmpty());
}

void MoveRightsTest::readOnlyDestination()
{
    QVERIFY(openMoveLockToEveryone(*m_home));
    const QString item = m_source + QStringLiteral("/m.bin");
    QVERIFY(Fixtures::writeFile(item, "model"));
    QVERIFY(::chmod(QFile::encodeName(m_source).constData(), 0777) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_second).constData(), 0755) == 0);
    const bool ok = Fixtures::runUnprivileged([&] {
        const MoveOutcome outcome = MoveService::move({entryWith(item)}, m_second, true);
        return outcome == MoveOutcome{{},
                                      {},
                                      QStringLiteral("Could not move ") + item +
                                          QStringLiteral(": Permission denied")};
    });
    QVERIFY(ok);
    QVERIFY(QFileInfo(item).isFile());
    QVERIFY(namesIn(m_second).isEmpty());
}

void MoveRightsTest::readOnlyFolderMovedByItsOwner()
{
    // A folder without write permission inside the item (as some caches make them): the owner's
    // move must still be able to delete the source afterwards.
    QVERIFY(openMoveLockToEveryone(*m_home));
    for (const QString& path : {m_source, m_second})
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0777) == 0);
    const QString pkg = m_source + QStringLiteral("/pkg");
    const QString moved = m_second + QStringLiteral("/pkg");
    const bool ok = Fixtures::runUnprivileged([&] {
        if (!Fixtures::makeTree(pkg,
                                {QStringLiteral("ro/sub/x.bin=x"), QStringLiteral("y.bin=y")}) ||
            ::chmod(QFile::encodeName(pkg + QStringLiteral("/ro/sub")).constData(), 0555) != 0 ||
            ::chmod(QFile::encodeName(pkg + QStringLiteral("/ro")).constData(), 0500) != 0)
            return false;
        const MoveOutcome outcome = MoveService::move({entryWith(pkg)}, m_second, true);
        return outcome == MoveOutcome{{moved}, {pkg}, std::nullopt};
    });
    QVERIFY(ok);
    QCOMPARE(namesIn(m_source), QStringList{QStringLiteral("pkg")});
    QFileInfo ro(moved + QStringLiteral("/ro"));
    QCOMPARE(int(ro.permissions() & 0x7000), int(QFile::ReadOwner | QFile::ExeOwner) & 0x7000);
    QVERIFY(QFileInfo::exists(moved + QStringLiteral("/ro/sub/x.bin")));
}

QTEST_GUILESS_MAIN(MoveRightsTest)
#include "tst_moverights.moc"

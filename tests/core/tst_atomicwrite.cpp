// The modes of files written atomically, and what such a write does to the rest of the process.
#include "Fixtures.h"
#include "TestHome.h"
#include "fs/PosixIO.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <atomic>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::atomic<bool> g_watching{false};
QString g_probeFolder;
QList<int> g_probedModes;

// A folder created on another thread, as the hash cache or a restore may do at any moment.
void createFolderOnAnotherThread()
{
    std::thread([] {
        const QByteArray path = QFile::encodeName(g_probeFolder);
        struct stat st = {};
        if (::mkdir(path.constData(), 0777) == 0 && ::stat(path.constData(), &st) == 0)
            g_probedModes.push_back(int(st.st_mode & 07777));
        ::rmdir(path.constData());
    }).join();
}

int modeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

// Every umask() call of this process lands here (the core is linked into the test). While a
// mask is in force that would let new folders be written by everyone, another thread creates a
// folder: what a busy program would meet by chance, met here every time.
extern "C" mode_t umask(mode_t mask) noexcept
{
    const auto previous = static_cast<mode_t>(::syscall(SYS_umask, mask));
    if (g_watching && (mask & 0022) != 0022)
        createFolderOnAnotherThread();
    return previous;
}

class AtomicWriteTest : public QObject
{
    Q_OBJECT

private slots:
    void modes_data()
    {
        QTest::addColumn<int>("before"); // -1: no file yet
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("expected");
        QTest::newRow("replaced private file") << 0600 << 0022 << 0600;
        QTest::newRow("replaced group file") << 0660 << 0077 << 0660;
        QTest::newRow("new file") << -1 << 0027 << 0640;
    }

    void modes()
    {
        QFETCH(int, before);
        QFETCH(int, mask);
        QFETCH(int, expected);
        TestHome home;
        const QString path = home.file(u"list.json"_s);
        if (before >= 0) {
            QVERIFY(Fixtures::writeFile(path, "old"));
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(before)) == 0);
        }
        const mode_t previous = ::umask(mode_t(mask));
        PosixIO::writeAtomically(path, "new");
        ::umask(previous);
        QCOMPARE(modeOf(path), expected);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("new"));
        QCOMPARE(QDir(home.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"list.json"_s});
    }

    void otherThreadsKeepTheUmask()
    {
        TestHome home;
        g_probeFolder = home.file(u"made-meanwhile"_s);
        const mode_t previous = ::umask(0022);
        g_watching = true;
        for (int i = 0; i < 3; ++i) { // a new file, then replacements
            PosixIO::writeAtomically(home.file(u"list.json"_s), "x");
            createFolderOnAnotherThread();
        }
        g_watching = false;
        ::umask(previous);
        QVERIFY(!g_probedModes.isEmpty());
        for (const int mode : std::as_const(g_probedModes))
            QCOMPARE(mode, 0755);
    }
};

QTEST_GUILESS_MAIN(AtomicWriteTest)
#include "tst_atomicwrite.moc"

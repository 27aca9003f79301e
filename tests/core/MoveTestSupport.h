#pragma once

// Helpers shared by the MoveService tests.
#include "TestHome.h"
#include "model/ModelEntry.h"
#include "services/MoveOutcome.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QUuid>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Readable MoveOutcome in failure messages.
inline char* toString(const MoveOutcome& outcome)
{
    return QTest::toString(QStringLiteral("movedTo=[") + outcome.movedTo.join(u',') +
                           QStringLiteral("] symlinksCreated=[") +
                           outcome.symlinksCreated.join(u',') + QStringLiteral("] error=") +
                           outcome.error.value_or(QStringLiteral("none")));
}

namespace MoveTestSupport {

inline QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

inline QString linkTarget(const QString& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(buffer, n));
}

inline ModelEntry entryWith(const QString& path)
{
    ModelEntry entry;
    entry.id = path;
    entry.allPaths = {path};
    return entry;
}

// Runs the function in a forked child (keeping root) and returns what it returned.
inline bool runInChild(const std::function<bool()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body() ? 0 : 1);
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0) {
    }
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Lets an unprivileged child take the move lock in the home's data directory.
inline bool openMoveLockToEveryone(const TestHome& home)
{
    home.openToEveryone();
    const QString dataDir = home.file(QStringLiteral(".brimvale"));
    const QString lock = dataDir + QStringLiteral("/move.lock");
    QDir().mkpath(dataDir);
    QFile file(lock);
    return file.open(QIODevice::WriteOnly) &&
           ::chmod(QFile::encodeName(dataDir).constData(), 0777) == 0 &&
           ::chmod(QFile::encodeName(lock).constData(), 0666) == 0;
}

// A uniquely named folder on /dev/shm, a filesystem other than the temporary home's; removed
// with everything in it when the object goes away.
class SecondFilesystem
{
public:
    ~SecondFilesystem()
    {
        if (!m_path.isEmpty()) {
            std::error_code ignored;
            std::filesystem::remove_all(QFile::encodeName(m_path).toStdString(), ignored);
        }
    }

    // Why there is nothing to cross here, or nothing when the folder was made.
    std::optional<QString> create(const TestHome& home)
    {
        struct stat homeStat
        {
        };
        struct stat shm
        {
        };
        if (::stat("/dev/shm", &shm) != 0 || !S_ISDIR(shm.st_mode))
            return QStringLiteral("No /dev/shm here: no second filesystem to move across");
        if (::stat(QFile::encodeName(home.path()).constData(), &homeStat) != 0 ||
            homeStat.st_dev == shm.st_dev)
            return QStringLiteral(
                "/dev/shm is on the same filesystem as the temporary home: nothing to cross");
        m_path = QStringLiteral("/dev/shm/brimvale-move-test-") +
                 QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (!QDir().mkpath(m_path))
            return QStringLiteral("Cannot create a folder in /dev/shm");
        return std::nullopt;
    }

    [[nodiscard]] QString path() const { return m_path; }

private:
    QString m_path;
};

// The set-up of the move tests across filesystems: a temporary home holding an empty "models"
// folder and a folder on a second filesystem. A test class derives from it and calls setUp()
// from init() (which skips the test where there is no second filesystem) and tearDown() from
// cleanup().
class CrossFsFixture
{
protected:
    void setUp()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->isValid());
        m_secondFs = std::make_unique<SecondFilesystem>();
        if (const std::optional<QString> reason = m_secondFs->create(*m_home))
            QSKIP(qPrintable(*reason));
        m_second = m_secondFs->path();
        m_source = m_home->file(QStringLiteral("models"));
        QVERIFY(QDir().mkpath(m_source));
    }

    void tearDown()
    {
        m_secondFs.reset();
        m_home.reset();
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<SecondFilesystem> m_secondFs;
    QString m_second; // a folder on the second filesystem
    QString m_source; // the folder holding the items in the home
};

} // namespace MoveTestSupport

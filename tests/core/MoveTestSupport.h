#pragma once

// Helpers shared by the move tests: expected outcomes, trees read back byte for byte, a second
// filesystem, and the move lock held by another process.
#include "Fixtures.h"
#include "TestHome.h"
#include "fs/FileLock.h"
#include "model/ModelEntry.h"
#include "services/MoveOutcome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QUuid>
#include <filesystem>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

inline char* toString(const MoveOutcome& outcome)
{
    QString items;
    for (const MovedItem& item : outcome.items)
        items += item.from + QStringLiteral(" -> ") + item.to +
                 QString::fromLatin1(item.linked ? "+link; " : "; ");
    return QTest::toString(items + QStringLiteral("error=") +
                           outcome.error.value_or(QStringLiteral("none")) +
                           QStringLiteral(" kind=%1").arg(int(outcome.errorKind)));
}

namespace MoveTestSupport {

inline QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

inline QString linkTarget(const QString& path)
{
    return Fixtures::isSymlink(path) ? QFile::symLinkTarget(path) : QString();
}

inline QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline ModelEntry entryWith(const QStringList& paths)
{
    ModelEntry entry;
    entry.id = paths.value(0);
    entry.allPaths = paths;
    return entry;
}

// The outcome of a move that put `items` in place and met `error` first.
inline MoveOutcome outcomeOf(const QList<MovedItem>& items, std::optional<QString> error = {},
                             BrimvaleError::Kind kind = BrimvaleError::Kind::general)
{
    MoveOutcome outcome{{}, {}, std::move(error), kind, items};
    for (const MovedItem& item : items) {
        outcome.movedTo.push_back(item.to);
        if (item.linked)
            outcome.symlinksCreated.push_back(item.from);
    }
    return outcome;
}

// One entry of a tree: 'f' with a digest of its bytes, 'd', or 'l' with its target; with its
// permission bits and modification time.
struct Node
{
    char type = '?';
    QByteArray digest;
    std::string target;
    unsigned mode = 0;
    qint64 modifiedNs = 0;
    friend bool operator==(const Node&, const Node&) = default;
};
using Tree = std::map<std::string, Node>; // by byte path below the root, "" for the root

// Everything at the path, read without following links; empty when nothing is there.
inline Tree treeOf(const QString& root)
{
    namespace fs = std::filesystem;
    const auto nodeOf = [](const fs::path& path) {
        struct stat st
        {
        };
        Node node;
        if (::lstat(path.c_str(), &st) != 0)
            return node;
        node.mode = S_ISLNK(st.st_mode) ? 0 : st.st_mode & 07777;
        node.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        node.type = S_ISREG(st.st_mode) ? 'f' : S_ISDIR(st.st_mode) ? 'd' : 'l';
        if (S_ISLNK(st.st_mode))
            node.target = fs::read_symlink(path).string();
        QFile file(QFile::decodeName(QByteArray::fromStdString(path.string())));
        if (S_ISREG(st.st_mode) && file.open(QIODevice::ReadOnly)) {
            QCryptographicHash hash(QCryptographicHash::Sha1);
            hash.addData(&file);
            node.digest = hash.result();
        }
        return node;
    };
    const fs::path base(QFile::encodeName(root).toStdString());
    Tree tree;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(base, error)))
        return tree;
    tree[""] = nodeOf(base);
    if (tree[""].type == 'd')
        for (const auto& entry : fs::recursive_directory_iterator(base, error))
            tree[entry.path().lexically_relative(base).string()] = nodeOf(entry.path());
    return tree;
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
    QFile lock(dataDir + QStringLiteral("/move.lock"));
    return QDir().mkpath(dataDir) && lock.open(QIODevice::WriteOnly) &&
           lock.setPermissions(QFileDevice::Permissions(0x6666)) &&
           QFile::setPermissions(dataDir, QFileDevice::Permissions(0x7777));
}

// Another process holding the move lock of the current home until this object goes away.
class MoveLockHolder
{
public:
    MoveLockHolder()
    {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(m_release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            const FileLock lock = FileLock::inDataDir(QStringLiteral("move"));
            char byte = 0;
            ::close(m_release[1]);
            (void)!::write(ready[1], "x", 1);
            (void)!::read(m_release[0], &byte, 1); // until the parent closes its end
            ::_exit(0);
        }
        char byte = 0;
        ::close(ready[1]);
        m_holding = m_pid > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~MoveLockHolder() { release(); }
    [[nodiscard]] bool holding() const { return m_holding; }
    void release()
    {
        if (m_pid <= 0)
            return;
        ::close(m_release[1]);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_release[2] = {-1, -1};
    bool m_holding = false;
};

// A temporary home holding an empty "models" folder, and a folder on /dev/shm, a filesystem
// other than the home's (removed with everything in it by tearDown()). setUp() skips the test
// where there is no second filesystem.
class CrossFsFixture
{
protected:
    void setUp()
    {
        m_home = std::make_unique<TestHome>();
        m_source = m_home->file(QStringLiteral("models"));
        QVERIFY(QDir().mkpath(m_source));
        struct stat home
        {
        };
        struct stat shm
        {
        };
        if (::stat("/dev/shm", &shm) != 0 || !S_ISDIR(shm.st_mode) ||
            ::stat(QFile::encodeName(m_source).constData(), &home) != 0 ||
            home.st_dev == shm.st_dev)
            QSKIP("No /dev/shm on a filesystem other than the temporary home's");
        m_second = QStringLiteral("/dev/shm/brimvale-move-test-") +
                   QUuid::createUuid().toString(QUuid::WithoutBraces);
        QVERIFY(QDir().mkpath(m_second));
    }

    void tearDown()
    {
        if (!m_second.isEmpty()) {
            std::error_code ignored;
            std::filesystem::remove_all(QFile::encodeName(m_second).toStdString(), ignored);
            m_second.clear();
        }
        m_home.reset();
    }

    std::unique_ptr<TestHome> m_home;
    QString m_second; // a folder on the second filesystem
    QString m_source; // the folder holding the items in the home
};

} // namespace MoveTestSupport

#pragma once

// Helpers shared by the move tests: expected outcomes, trees read back byte for byte, a second
// filesystem.
#include "Fixtures.h"
#include "TestHome.h"
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

inline char* toString(const MoveOutcome& outcome)
{
    QString text = outcome.error.value_or(QString()) + u" (%1)"_qs.arg(int(outcome.errorKind));
    for (const MovedItem& item : outcome.items)
        text += u' ' + item.from + u" -> "_qs + item.to + (item.linked ? u'+' : u' ');
    return QTest::toString(text);
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

// Fixtures::makeTree with its lines joined by ";".
inline bool makeTree(const QString& root, const QString& lines)
{
    return Fixtures::makeTree(root, lines.split(u';', Qt::SkipEmptyParts));
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

// One entry of a tree: its type ('f', 'd' or 'l'), the digest of a file's bytes or a link's
// target, its permission bits and its modification time.
struct Node
{
    char type = '?';
    QByteArray content;
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
        struct stat st = {};
        if (::lstat(path.c_str(), &st) != 0)
            return Node();
        Node node{S_ISREG(st.st_mode)   ? 'f'
                  : S_ISDIR(st.st_mode) ? 'd'
                                        : 'l',
                  {},
                  S_ISLNK(st.st_mode) ? 0 : st.st_mode & 07777,
                  qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
        QFile file(QFile::decodeName(QByteArray::fromStdString(path.string())));
        if (S_ISLNK(st.st_mode))
            node.content = QByteArray::fromStdString(fs::read_symlink(path).string());
        else if (S_ISREG(st.st_mode) && file.open(QIODevice::ReadOnly))
            node.content = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
        return node;
    };
    const fs::path base(QFile::encodeName(root).toStdString());
    Tree tree;
    std::error_code error;
    if (fs::exists(fs::symlink_status(base, error)))
        tree[""] = nodeOf(base);
    if (tree.count("") && tree[""].type == 'd')
        for (const auto& entry : fs::recursive_directory_iterator(base, error))
            tree[entry.path().lexically_relative(base).string()] = nodeOf(entry.path());
    return tree;
}

inline bool setModes(const QStringList& paths, mode_t mode)
{
    for (const QString& path : paths)
        if (::chmod(QFile::encodeName(path).constData(), mode) != 0)
            return false;
    return true;
}

// Lets an unprivileged child take the move lock in the home's data directory.
inline bool openMoveLockToEveryone(const TestHome& home)
{
    home.openToEveryone();
    const QString dataDir = home.file(u".brimvale"_qs);
    QFile lock(dataDir + u"/move.lock"_qs);
    return QDir().mkpath(dataDir) && lock.open(QIODevice::WriteOnly) &&
           lock.setPermissions(QFileDevice::Permissions(0x6666)) &&
           QFile::setPermissions(dataDir, QFileDevice::Permissions(0x7777));
}

// A temporary home holding an empty "models" folder, and a folder on /dev/shm, a filesystem
// other than the home's (removed with everything in it by tearDown()). setUp() skips the test
// where there is no second filesystem.
class CrossFsFixture
{
protected:
    void setUp()
    {
        m_home = std::make_unique<TestHome>();
        m_source = m_home->file(u"models"_qs);
        struct stat home = {}, shm = {};
        if (!QDir().mkpath(m_source) || ::stat("/dev/shm", &shm) != 0 ||
            ::stat(QFile::encodeName(m_source).constData(), &home) != 0 ||
            home.st_dev == shm.st_dev)
            QSKIP("No /dev/shm on a filesystem other than the temporary home's");
        m_second =
            u"/dev/shm/brimvale-move-test-"_qs + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QVERIFY(QDir().mkpath(m_second));
    }

    void tearDown()
    {
        std::error_code ignored;
        if (const QString second = std::exchange(m_second, QString()); !second.isEmpty())
            std::filesystem::remove_all(QFile::encodeName(second).toStdString(), ignored);
        m_home.reset();
    }

    std::unique_ptr<TestHome> m_home;
    QString m_second; // a folder on the second filesystem
    QString m_source; // the folder holding the items in the home
};

} // namespace MoveTestSupport

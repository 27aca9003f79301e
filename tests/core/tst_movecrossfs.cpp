// MoveService across filesystems (the temporary home and /dev/shm): what the copy carries over,
// what makes an item fail with its source whole and no copy left, a stop, long names, the
// failures once the copy is in place, and rights and limits (in an unprivileged child).
#include "MoveTestSupport.h"
#include "services/ItemMover.h"
#include "services/MoveService.h"

#include <QtEndian>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace MoveTestSupport;

namespace {

bool makeFolderWithEverything(const QString& pkg)
{
    const bool made =
        makeTree(pkg, u"blobs/sha-1=first blob;blobs/sha-2=second blob;empty/;"
                      "deep/er/est/;snap/main/model.bin->../../blobs/sha-1;"
                      "absolute->/etc/hostname;dangling->nowhere;"
                      "ro/inside.txt=locked in;private.key=secret"_s) &&
        Fixtures::writeFile(pkg + u"/big.bin"_s, Fixtures::headBytes(7, 3'500'000)) &&
        Fixtures::makeSparseFile(pkg + u"/sparse.gguf"_s, 60'000'000, Fixtures::headBytes(3));
    const QByteArray latin1 = QFile::encodeName(pkg) + "/caf\xe9.bin"; // not UTF-8
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0644);
    return made && fd >= 0 && ::write(fd, "latin", 5) == 5 && ::close(fd) == 0 &&
           setModes({pkg + u"/private.key"_s}, 0600) &&
           Fixtures::setModified(pkg + u"/blobs/sha-1"_s, 1'600'000'000) &&
           Fixtures::setModified(pkg + u"/snap/main/model.bin"_s, 1'500'000'000) &&
           Fixtures::setModified(pkg + u"/empty"_s, 1'400'000'000) &&
           setModes({pkg + u"/ro"_s}, 0555);
}

// A POSIX ACL as the kernel keeps it in system.posix_acl_*: the version, then per entry its tag,
// permission bits and id. The owner has rw (a folder rwx), user 1234, the group, the mask and
// others r (a folder rx).
QByteArray aclValue(bool folder)
{
    QByteArray value;
    const auto add = [&](auto number) {
        const auto little = qToLittleEndian(number);
        value.append(reinterpret_cast<const char*>(&little), sizeof little);
    };
    add(quint32(2));
    const quint16 owner = folder ? 7 : 6;
    const quint16 others = folder ? 5 : 4;
    for (const auto& [tag, bits, id] : {std::tuple{0x01, owner, ~0u},
                                        {0x02, others, 1234u},
                                        {0x04, others, ~0u},
                                        {0x10, others, ~0u},
                                        {0x20, others, ~0u}}) {
        add(quint16(tag));
        add(quint16(bits));
        add(quint32(id));
    }
    return value;
}

// The entry at a path of treeOf() below the root.
QString entryAt(const QString& root, const std::string& path)
{
    return path.empty() ? root : root + u'/' + QFile::decodeName(QByteArray::fromStdString(path));
}

bool setAttribute(const QString& path, const char* name, const QByteArray& value)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), name, value.constData(),
                       size_t(value.size()), 0) == 0;
}

// The extended attributes of every entry of the tree, by the path below the root.
std::map<std::string, std::map<QByteArray, QByteArray>> attributesIn(const QString& root)
{
    std::map<std::string, std::map<QByteArray, QByteArray>> attributes;
    for (const auto& [path, node] : treeOf(root)) {
        const QByteArray at = QFile::encodeName(entryAt(root, path));
        QByteArray names(65536, '\0');
        const ssize_t n = ::llistxattr(at.constData(), names.data(), size_t(names.size()));
        for (const QByteArray& name : names.left(qMax<qsizetype>(n, 0)).split('\0')) {
            QByteArray value(65536, '\0');
            const ssize_t size =
                ::lgetxattr(at.constData(), name.constData(), value.data(), size_t(value.size()));
            if (!name.isEmpty())
                attributes[path][name] = value.left(size);
        }
    }
    return attributes;
}

} // namespace

class MoveCrossFsTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void copiesEverything()
    {
        QVERIFY(makeFolderWithEverything(pkg()));
        const Tree before = treeOf(pkg());
        qint64 lastCopied = 0;
        bool increasing = true;
        MoveProgress progress;
        progress.copied = [&](qint64 bytes) {
            increasing = increasing && bytes > lastCopied;
            lastCopied = bytes;
        };
        QCOMPARE(MoveService::move({entryWith({pkg()})}, m_second, true, progress),
                 outcomeOf({{pkg(), moved(), true}}));
        QCOMPARE(linkTarget(pkg()), moved());
        QVERIFY(treeOf(moved()) == before);
        QVERIFY(increasing && lastCopied >= 3'500'000);
        QCOMPARE(namesIn(m_second), QStringList{u"pkg"_s});
        QCOMPARE(namesIn(m_source), QStringList{u"pkg"_s}); // just the link
        struct stat st = {};
        const QByteArray sparse = QFile::encodeName(moved() + u"/sparse.gguf"_s);
        QVERIFY(::stat(sparse.constData(), &st) == 0 && st.st_blocks * 512 < 10'000'000); // holes
    }

    void itemFailsWithSourceWhole_data()
    {
        QTest::addColumn<bool>("folder"); // the item is a folder holding big.bin, else big.bin
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("description");
        const QString special = u"Not a file, folder or symlink: pkg/sub/odd"_s;
        QTest::newRow("FIFO inside") << true << u"fifo"_s << special;
        QTest::newRow("device inside") << true << u"device"_s << special;
        for (const bool folder : {true, false}) {
            const QString changed =
                u"Changed while being copied: "_s + (folder ? u"pkg/"_s : QString()) + u"big.bin"_s;
            // "time put back": the modification time is set back after the write, as some tools do.
            for (const char* change :
                 {"grows", "shrinks", "rewritten", "rewritten, time put back",
                  "copied, rewritten, time put back", "changed after verification",
                  "rewritten after verification, time put back"})
                if (folder || !QByteArray(change).startsWith("copied"))
                    QTest::addRow("%s: %s", folder ? "file in a folder" : "file", change)
                        << folder << QString::fromLatin1(change) << changed;
        }
        QTest::newRow("set-aside name taken") << true << u"aside"_s << u"File exists"_s;
    }

    void itemFailsWithSourceWhole()
    {
        QFETCH(bool, folder);
        QFETCH(QString, change);
        QFETCH(QString, description);
        const QString item = folder ? pkg() : m_source + u"/big.bin"_s;
        const QString file = folder ? item + u"/big.bin"_s : item;
        QVERIFY(Fixtures::writeFile(file, Fixtures::headBytes(5, 4'000'000)));
        QVERIFY(!folder || makeTree(item, u"small.txt=s;sub/"_s));
        const QByteArray special = QFile::encodeName(item + u"/sub/odd"_s);
        if (change == u"fifo"_s)
            QCOMPARE(::mkfifo(special.constData(), 0644), 0);
        if (change == u"device"_s &&
            ::mknod(special.constData(), S_IFCHR | 0644, makedev(1, 3)) != 0)
            QSKIP("Device files cannot be made here");
        if (change == u"aside"_s)
            QVERIFY(makeTree(m_source, u".brimvale-moved-pkg/old.bin=old"_s));
        const Tree before = treeOf(m_source);

        bool changed = false;
        QByteArray changedTo;
        const auto alter = [&](bool afterVerification) {
            if (changed || !description.startsWith(u"Changed"_s) ||
                afterVerification != change.contains(u"after verification"_s))
                return;
            changed = true;
            struct stat st = {};
            QVERIFY(::stat(QFile::encodeName(file).constData(), &st) == 0);
            QFile target(file);
            QVERIFY(target.open(QIODevice::ReadWrite));
            QVERIFY(change != u"shrinks"_s || target.resize(1000));
            QVERIFY(target.seek(change.contains(u"rewritten"_s) ? 3'000'000 : target.size()));
            QCOMPARE(target.write("more"), 4);
            target.close();
            const timespec times[2] = {st.st_atim, st.st_mtim};
            QVERIFY(!change.endsWith(u"time put back"_s) ||
                    ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0) == 0);
            changedTo = contentOf(file);
        };
        MoveProgress progress;
        progress.copied = [&](qint64 bytes) { // "copied": once big.bin is copied whole
            if (bytes > 4'000'000 || !change.startsWith(u"copied"_s))
                alter(false);
        };
        progress.stage = [&](const QString&, MoveStage stage) {
            if (stage == MoveStage::settingAside)
                alter(true);
        };
        QCOMPARE(MoveService::move({entryWith({item})}, m_second, true, progress),
                 outcomeOf({}, u"Could not move "_s + item + u": "_s + description));
        QVERIFY(namesIn(m_second).isEmpty());
        if (changed) // the source is back under its name, with the change
            QVERIFY(namesIn(m_source) == QStringList{item.section(u'/', -1)} &&
                    QFileInfo(file).isFile() && !Fixtures::isSymlink(item) &&
                    contentOf(file) == changedTo);
        else
            QVERIFY(treeOf(m_source) == before);
    }

    void stopEndsTheMove_data()
    {
        QTest::addColumn<bool>("midCopy");
        QTest::newRow("in the middle of a copy") << true;
        QTest::newRow("between items") << false;
    }

    void stopEndsTheMove()
    {
        QFETCH(bool, midCopy);
        const QString other = m_second + u"/sub/other.bin"_s; // moved by a rename
        QVERIFY(Fixtures::writeFile(pkg() + u"/big.bin"_s, Fixtures::headBytes(5, 4'000'000)) &&
                Fixtures::writeFile(other, "other"));
        const Tree pkgBefore = treeOf(pkg());
        const Tree otherBefore = treeOf(other);
        StopToken stop;
        MoveProgress progress;
        if (midCopy) // after the first of several blocks
            progress.copied = [&](qint64) { stop.requestStop(); };
        else
            progress.stage = [&](const QString&, MoveStage stage) {
                if (stage == MoveStage::linking)
                    stop.requestStop();
            };
        QCOMPARE(MoveService::move({entryWith({pkg(), other})}, m_second, true, progress, &stop),
                 outcomeOf(midCopy ? QList<MovedItem>{} : QList<MovedItem>{{pkg(), moved(), true}},
                           u"Stopped — the remaining items were not moved"_s,
                           BrimvaleError::Kind::stopped));
        QCOMPARE(namesIn(m_second).join(u' '), midCopy ? u"sub"_s : u"pkg sub"_s);
        QVERIFY(treeOf(midCopy ? pkg() : moved()) == pkgBefore);
        QVERIFY(treeOf(other) == otherBefore);
    }

    void staleCopyIsReplaced_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("short name") << u"pkg"_s;
        QTest::newRow("255 bytes") << QString(255, u'n');
        QTest::newRow("245 bytes, cut inside a character")
            << u'a' + QString(120, QChar(0xe9)) + u".bin"_s;
    }

    void staleCopyIsReplaced()
    {
        QFETCH(QString, name);
        const QByteArray bytes = QFile::encodeName(name);
        for (const QByteArray& prefix :
             {QByteArrayLiteral(".brimvale-partial-"), QByteArrayLiteral(".brimvale-moved-")}) {
            const QByteArray temporary = ItemMover::temporaryName(prefix, bytes);
            QVERIFY(temporary.size() <= 255);
            QCOMPARE(QString::fromUtf8(temporary).toUtf8(), temporary); // whole characters only
            QVERIFY(temporary != ItemMover::temporaryName(prefix, bytes.chopped(1) + 'y'));
        }
        const QString item = m_source + u'/' + name;
        const QString outside = m_home->file(u"outside"_s);
        const QString stale = m_second + u'/' +
                              QFile::decodeName(ItemMover::temporaryName(
                                  QByteArrayLiteral(".brimvale-partial-"), bytes));
        QVERIFY(Fixtures::writeFile(item, "fresh") && makeTree(outside, u"keep.bin=k"_s) &&
                makeTree(stale, u"a.bin=half;ro/x=1;link->"_s + outside) &&
                setModes({stale + u"/ro"_s}, 0555) && setModes({item}, 0640));
        const Tree before = treeOf(item);
        QCOMPARE(MoveService::move({entryWith({item})}, m_second, true),
                 outcomeOf({{item, m_second + u'/' + name, true}}));
        QCOMPARE(namesIn(m_second), QStringList{name});
        QVERIFY(treeOf(m_second + u'/' + name) == before);
        QCOMPARE(namesIn(outside), QStringList{u"keep.bin"_s}); // link not followed
    }

    void failedSymlink_data()
    {
        QTest::addColumn<bool>("across");
        QTest::newRow("within one filesystem") << false;
        QTest::newRow("across filesystems") << true;
    }

    void failedSymlink()
    {
        QFETCH(bool, across);
        const QString dest = across ? m_second : m_home->file(u"dest"_s);
        QVERIFY(QDir().mkpath(dest) && makeTree(pkg(), u"a.bin=a"_s));
        MoveProgress progress;
        progress.stage = [&](const QString&, MoveStage stage) {
            if (stage == MoveStage::linking)
                QVERIFY(Fixtures::writeFile(pkg(), "someone else's file"));
        };
        QCOMPARE(MoveService::move({entryWith({pkg()})}, dest, true, progress),
                 outcomeOf({{pkg(), dest + u"/pkg"_s, false}},
                           u"Moved, but the symlink at "_s + pkg() + u" failed: File exists"_s));
        QCOMPARE(namesIn(dest + u"/pkg"_s), QStringList{u"a.bin"_s});
        QCOMPARE(namesIn(m_source), QStringList{u"pkg"_s}); // no set-aside source left
        QVERIFY(QFileInfo(pkg()).isFile());
    }

    void failedRemovalOfTheSource()
    {
        // A folder with the sticky bit, owned by root with root's file inside: the unprivileged
        // mover may rename it aside but not empty it.
        const QString aside = m_source + u"/.brimvale-moved-pkg"_s;
        QVERIFY(openMoveLockToEveryone(*m_home) && makeTree(pkg(), u"root.bin=r"_s) &&
                setModes({m_source, m_second}, 0777) && setModes({pkg()}, 01777));
        QVERIFY(Fixtures::runUnprivileged([&] {
            return MoveService::move({entryWith({pkg()})}, m_second, true) ==
                   outcomeOf({{pkg(), moved(), true}}, u"Moved, but could not remove "_s + aside +
                                                           u": Operation not permitted"_s);
        }));
        QCOMPARE(linkTarget(pkg()), moved());
        QCOMPARE(namesIn(moved()), QStringList{u"root.bin"_s});
        QCOMPARE(namesIn(aside), QStringList{u"root.bin"_s});
    }

    void fullDestination()
    {
        const QString item = m_source + u"/big.gguf"_s;
        QVERIFY(Fixtures::writeFile(item, Fixtures::headBytes(11, 3'000'000)) &&
                openMoveLockToEveryone(*m_home) && setModes({m_source, m_second}, 0777));
        const Tree before = treeOf(m_source);
        QVERIFY(Fixtures::runUnprivileged([&] {
            // A file size limit makes every write past 1 MB fail as on a full drive.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{1'000'000, 1'000'000};
            return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                   MoveService::move({entryWith({item})}, m_second, true) ==
                       outcomeOf({}, u"Could not move "_s + item + u": File too large"_s);
        }));
        QVERIFY(treeOf(m_source) == before);
        QVERIFY(namesIn(m_second).isEmpty());
    }

    void readOnlyFolderMovedByItsOwner()
    {
        // A folder without write permission inside the item (as some caches make them): the owner's
        // move must still be able to delete the source afterwards.
        QVERIFY(openMoveLockToEveryone(*m_home) && setModes({m_source, m_second}, 0777));
        const QString ro = pkg() + u"/ro"_s;
        QVERIFY(Fixtures::runUnprivileged([&] {
            return makeTree(pkg(), u"ro/sub/x.bin=x;y.bin=y"_s) &&
                   setModes({ro + u"/sub"_s}, 0555) && setModes({ro}, 0500) &&
                   MoveService::move({entryWith({pkg()})}, m_second, true) ==
                       outcomeOf({{pkg(), moved(), true}});
        }));
        QCOMPARE(namesIn(m_source), QStringList{u"pkg"_s});
        QCOMPARE(int(QFileInfo(moved() + u"/ro"_s).permissions() & 0x7000),
                 int(QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(QFileInfo::exists(moved() + u"/ro/sub/x.bin"_s));
    }

    void keepsExtendedAttributes_data()
    {
        QTest::addColumn<QString>("lines");       // the item, below the source folder
        QTest::addColumn<QString>("attributes");  // set on each file and folder of the item
        QTest::addColumn<bool>("destinationAcl"); // the destination has a default ACL
        QTest::addColumn<bool>("held");           // the copy can take every attribute
        QTest::newRow("file") << u"model.gguf=w"_s << u"user acl"_s << false << true;
        QTest::newRow("folder") << u"pkg/a.bin=a;pkg/sub/b.bin=b;pkg/link->a.bin"_s << u"user acl"_s
                                << false << true;
        QTest::newRow("into a folder with a default ACL")
            << u"model.gguf=w"_s << QString() << true << true;
        QTest::newRow("an attribute only an administrator may set")
            << u"model.gguf=w"_s << u"user security"_s << false << false;
    }

    void keepsExtendedAttributes()
    {
        QFETCH(QString, lines);
        QFETCH(QString, attributes);
        QFETCH(bool, destinationAcl);
        QFETCH(bool, held);
        const QString name = lines.section(u'/', 0, 0).section(u'=', 0, 0);
        const QString item = m_source + u'/' + name;
        QVERIFY(makeTree(m_source, lines) && openMoveLockToEveryone(*m_home) &&
                setModes({m_source, m_second}, 0777));
        // The item belongs to the unprivileged mover, with the attributes root gave it.
        for (const auto& [path, node] : treeOf(item)) {
            const QString at = entryAt(item, path);
            QVERIFY(::lchown(QFile::encodeName(at).constData(), 65534, 65534) == 0);
            const bool folder = node.type == 'd';
            if (node.type == 'l')
                continue;
            for (const QString& kind : attributes.split(u' ', Qt::SkipEmptyParts))
                QVERIFY(kind == u"user"_s
                            ? setAttribute(at, "user.brimvale.origin", QFile::encodeName(at))
                        : kind == u"security"_s
                            ? setAttribute(at, "security.brimvale", "set by root")
                            : setAttribute(at, "system.posix_acl_access", aclValue(folder)) &&
                                  (!folder ||
                                   setAttribute(at, "system.posix_acl_default", aclValue(true))));
        }
        QVERIFY(!destinationAcl ||
                setAttribute(m_second, "system.posix_acl_default", aclValue(true)));
        const Tree before = treeOf(item);
        auto expected = attributesIn(item);
        for (auto& [path, named] : expected)
            named.erase("security.brimvale");
        const QString target = m_second + u'/' + name;
        QVERIFY(Fixtures::runUnprivileged([&] {
            return MoveService::move({entryWith({item})}, m_second, true) ==
                   outcomeOf({{item, target, true}},
                             held ? std::nullopt
                                  : std::optional(u"Moved without extended attributes: "_s + item));
        }));
        QVERIFY(treeOf(target) == before);
        QVERIFY(attributesIn(target) == expected);
    }

private:
    [[nodiscard]] QString pkg() const { return m_source + u"/pkg"_s; }
    [[nodiscard]] QString moved() const { return m_second + u"/pkg"_s; }
};

QTEST_GUILESS_MAIN(MoveCrossFsTest)
#include "tst_movecrossfs.moc"

// DedupeService on a loop-mounted XFS with reflink (blocks shared in place) and on the
// temporary home's filesystem, which cannot share blocks (hard links): what is freed, what is
// refused and left exactly as it was (a stop and a busy lock among them), leftovers of an
// interrupted run, a dry run.
#include "DedupeTestSupport.h"
#include "XfsMount.h"
#include "fs/BlockLayout.h"
#include "fs/FileLock.h"
#include "fs/ReadLease.h"
#include "services/DedupePlan.h"
#include "services/DedupeService.h"

#include <algorithm>
#include <memory>
#include <sys/xattr.h>

using namespace DedupeTestSupport;

namespace {

constexpr qint64 kBig = (qint64(32) << 20) + 4321; // on XFS; the last block is partial
constexpr qint64 kSmall = qint64(3) << 20;         // files for hard links

const QString kChanged = QStringLiteral("Changed since the scan — scan again");
const QString kOwner = QStringLiteral("Different permissions or owner than the copy that stays");
const QString kCannotShare = QStringLiteral(
    "This filesystem cannot share blocks — use --hard-link to replace the copy by a hard link");
const QString kWriter = QStringLiteral("A program has this file open for writing");

bool setAttribute(const QString& path, const char* value)
{
    return ::setxattr(QFile::encodeName(path).constData(), "user.origin", value, strlen(value),
                      0) == 0;
}

// Rewrites one byte of the file in place with the value it already has, or another one.
bool touchByte(const QString& path, qint64 offset, bool sameValue)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(offset))
        return false;
    char byte = 0;
    if (!file.getChar(&byte) || !file.seek(offset))
        return false;
    return file.putChar(sameValue ? byte : char(byte ^ 0x5a)) && file.flush();
}

// Data, then a preallocated range that was never written (reading as zeros), then the data again.
bool writePreallocated(const QString& path, const QByteArray& data)
{
    if (!writeSynced(path, data))
        return false;
    const UniqueFd fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC));
    return fd.isValid() && ::fallocate(fd.get(), 0, data.size(), data.size()) == 0 &&
           ::pwrite(fd.get(), data.constData(), size_t(data.size()), 2 * data.size()) ==
               data.size() &&
           ::fsync(fd.get()) == 0;
}

std::optional<QByteArray> layoutOf(const QString& path)
{
    FileIdentity ignored;
    const UniqueFd fd = ContentHash::openRegular(path, ignored);
    return fd.isValid() ? BlockLayout::of(fd.get()) : std::nullopt;
}

} // namespace

class DedupeServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_xfs = std::make_unique<XfsMount>(); }
    void cleanupTestCase() { m_xfs.reset(); }
    void init();
    void cleanup();
    void sharesBlocksOnXfs();
    void xfsWithoutReflink_data();
    void xfsWithoutReflink();
    void hardLinks();
    void refusals_data();
    void refusals();
    void rerunAfterSharingPreallocated();
    void copyThatStaysOnOwnFilesystem();
    void leftovers_data();
    void leftovers();
    void swapChecks_data();
    void swapChecks();
    void dryRun_data();
    void dryRun();

private:
    // A folder on the XFS; empty when there is none (then skipReason() tells why).
    QString xfsFolder();
    [[nodiscard]] QByteArray skipReason() const
    {
        return QStringLiteral("No XFS with reflink: %1").arg(m_xfs->problem()).toUtf8();
    }
    // The copy that stays and its duplicate (same bytes, written apart) in the folder.
    void makePair(const QString& folder, qint64 size);
    [[nodiscard]] bool noTemporaryNames() const
    {
        return temporaryNames(m_folder).isEmpty() &&
               temporaryNames(m_keep.section(u'/', 0, -2)).isEmpty();
    }

    std::unique_ptr<XfsMount> m_xfs;
    std::unique_ptr<TestHome> m_home;
    QString m_folder; // holds the duplicate
    QString m_keep;
    QString m_duplicate;
};

void DedupeServiceTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
}

void DedupeServiceTest::cleanup()
{
    if (m_xfs->problem().isEmpty())
        QDir(m_xfs->path() + QStringLiteral("/t")).removeRecursively();
    m_home.reset();
}

QString DedupeServiceTest::xfsFolder()
{
    if (!m_xfs->problem().isEmpty())
        return {};
    const QString folder = m_xfs->path() + QStringLiteral("/t");
    QDir().mkpath(folder);
    return folder;
}

void DedupeServiceTest::makePair(const QString& folder, qint64 size)
{
    m_folder = folder;
    m_keep = folder + QStringLiteral("/keep/model.gguf");
    m_duplicate = folder + QStringLiteral("/copy.gguf");
    const QByteArray bytes = randomBytes(7, size);
    QVERIFY(writeSynced(m_keep, bytes) && writeSynced(m_duplicate, bytes));
}

void DedupeServiceTest::sharesBlocksOnXfs()
{
    const QString folder = xfsFolder();
    if (folder.isEmpty())
        QSKIP(skipReason().constData());
    makePair(folder, kBig);
    QVERIFY(::chown(QFile::encodeName(m_duplicate).constData(), 65534, 65534) == 0 &&
            ::chmod(QFile::encodeName(m_duplicate).constData(), 0600) == 0 &&
            setAttribute(m_duplicate, "hub"));
    QVERIFY(DedupeService::canShareBlocks(m_duplicate));
    const DedupeItem item = itemOf(m_duplicate, m_keep);
    const struct stat before = statOf(m_duplicate);
    QVERIFY(physicalOf(m_duplicate) != physicalOf(m_keep));
    const qint64 freeBefore = freeBytes(folder);

    const DedupeOutcome outcome = DedupeService::run({{item}, {}}, {});
    QCOMPARE(outcome.files, QList<DedupedFile>{freedFile(item, false)});
    QVERIFY(outcome.succeeded() && outcome.bytesShared() == kBig);
    const struct stat after = statOf(m_duplicate);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QVERIFY(after.st_uid == 65534 && after.st_gid == 65534);
    QCOMPARE(FileIdentity::of(after), item.identity); // mtime and ctime too
    QCOMPARE(after.st_atim.tv_sec, before.st_atim.tv_sec);
    char origin[8] = {};
    QCOMPARE(::getxattr(QFile::encodeName(m_duplicate).constData(), "user.origin", origin, 8), 3);
    QCOMPARE(QByteArray(origin), QByteArray("hub"));
    QCOMPARE(hashOf(m_duplicate), item.hash);
    QCOMPARE(physicalOf(m_duplicate), physicalOf(m_keep));
    QVERIFY(freeBytes(folder) - freeBefore >= kBig * 9 / 10);
    QCOMPARE(outcome.filesystems.size(), 1);
    QCOMPARE(outcome.filesystems[0].mountPoint, m_xfs->path());
    QVERIFY(outcome.filesystems[0].freed() >= kBig * 9 / 10);
}

void DedupeServiceTest::xfsWithoutReflink_data()
{
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<bool>("dryRun");
    QTest::newRow("refused") << false << false;
    QTest::newRow("refused in a dry run") << false << true;
    QTest::newRow("hard link") << true << false;
}

// XFS made without reflink has the sharing call but not the feature.
void DedupeServiceTest::xfsWithoutReflink()
{
    QFETCH(bool, hardLink);
    QFETCH(bool, dryRun);
    const XfsMount plain(false);
    if (!plain.problem().isEmpty())
        QSKIP(qPrintable(QStringLiteral("No XFS without reflink: ") + plain.problem()));
    makePair(plain.path(), kSmall);
    QVERIFY(!DedupeService::canShareBlocks(m_keep));
    const DedupeItem item = itemOf(m_duplicate, m_keep);
    const FileState duplicate = stateOf(m_duplicate);
    DedupeService::Options options;
    options.hardLink = hardLink;
    options.dryRun = dryRun;
    const DedupeOutcome outcome = DedupeService::run({{item}, {}}, options);
    QCOMPARE(outcome.files, QList<DedupedFile>{hardLink ? freedFile(item, true)
                                                        : fileOf(item, 0, false, kCannotShare)});
    QVERIFY(hardLink ? identityOf(m_duplicate).sameFile(identityOf(m_keep))
                     : stateOf(m_duplicate) == duplicate);
}

void DedupeServiceTest::hardLinks()
{
    makePair(m_home->file(QStringLiteral("models")), kSmall);
    QVERIFY(!DedupeService::canShareBlocks(m_keep));
    // A name of 255 bytes: its temporary name is cut to fit.
    const QString second =
        m_home->file(QStringLiteral("other/") + QString(250, u'n') + QStringLiteral(".gguf"));
    QVERIFY(writeSynced(second, randomBytes(7, kSmall)));
    for (const QString& path : {m_keep, m_duplicate, second}) // the same on each: no loss
        QVERIFY(setAttribute(path, "hub"));
    const DedupedFile skipped{QStringLiteral("entry-x"),
                              m_home->file(QStringLiteral("x.bin")),
                              {},
                              0,
                              false,
                              QStringLiteral("No copy stays outside the entries")};
    const DedupeItem first = itemOf(m_duplicate, m_keep);
    const DedupeItem other = itemOf(second, m_keep); // the same copy stays for both

    DedupeService::Options options;
    options.hardLink = true;
    const DedupeOutcome outcome = DedupeService::run({{first, other}, {skipped}}, options);
    QCOMPARE(outcome.files,
             (QList<DedupedFile>{skipped, freedFile(first, true), freedFile(other, true)}));
    QVERIFY(!outcome.error && !outcome.succeeded()); // the skipped file is not freed
    QCOMPARE(outcome.bytesShared(), 2 * kSmall);
    for (const QString& path : {m_duplicate, second}) {
        QVERIFY(identityOf(path).sameFile(identityOf(m_keep)));
        QCOMPARE(hashOf(path), first.hash);
    }
    QCOMPARE(statOf(m_keep).st_nlink, nlink_t(3));
    QVERIFY(noTemporaryNames() && temporaryNames(second.section(u'/', 0, -2)).isEmpty());
    QCOMPARE(outcome.filesystems.size(), 1);
    QVERIFY(!outcome.filesystems[0].mountPoint.isEmpty() && outcome.filesystems[0].freeBefore > 0);
}

void DedupeServiceTest::refusals_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<BrimvaleError::Kind>("kind");
    const auto general = BrimvaleError::Kind::general;
    QTest::newRow("different mode") << QStringLiteral("mode") << true << kOwner << general;
    QTest::newRow("different owner") << QStringLiteral("owner") << true << kOwner << general;
    QTest::newRow("one byte appended after the scan")
        << QStringLiteral("append") << true << kChanged << general;
    QTest::newRow("rewritten after the scan, same size")
        << QStringLiteral("rewrite") << true << kChanged << general;
    QTest::newRow("copy that stays rewritten after the scan")
        << QStringLiteral("rewrite keep") << true << kChanged << general;
    QTest::newRow("content is not the scanned one")
        << QStringLiteral("hash") << true << kChanged << general;
    QTest::newRow("extended attribute on the duplicate only")
        << QStringLiteral("xattr") << true
        << QStringLiteral("Different ACLs or extended attributes than the copy that stays")
        << general;
    QTest::newRow("open for writing") << QStringLiteral("writer") << true << kWriter << general;
    QTest::newRow("another name the scan did not see")
        << QStringLiteral("link") << true << QStringLiteral("Another name still holds this file")
        << general;
    QTest::newRow("without --hard-link") << QString() << false << kCannotShare << general;
    QTest::newRow("path holding NUL")
        << QStringLiteral("nul") << true << QStringLiteral("Invalid path")
        << BrimvaleError::Kind::invalidPath;
    QTest::newRow("on another filesystem")
        << QStringLiteral("xfs apart") << true
        << QStringLiteral("On another filesystem than the copy that stays") << general;
    // Sharing blocks checks the bytes and the times itself.
    QTest::newRow("xfs: one byte differs")
        << QStringLiteral("xfs differs") << false
        << QStringLiteral("Content differs from the copy that stays") << general;
    QTest::newRow("xfs: duplicate written after the scan, same bytes")
        << QStringLiteral("xfs touch") << false << kChanged << general;
    QTest::newRow("xfs: copy that stays written after the scan, same bytes")
        << QStringLiteral("xfs touch keep") << false << kChanged << general;
    const QString stopped = QStringLiteral("Stopped — the remaining files were not freed");
    const auto stop = BrimvaleError::Kind::stopped;
    QTest::newRow("stopped before hard links") << QStringLiteral("stop") << true << stopped << stop;
    QTest::newRow("stopped before refused files") // nothing would be hashed
        << QStringLiteral("stop") << false << stopped << stop;
    QTest::newRow("lock held by another run")
        << QStringLiteral("busy") << true
        << QStringLiteral("Another Brimvale is freeing duplicates — try again in a moment")
        << BrimvaleError::Kind::busy;
}

void DedupeServiceTest::refusals()
{
    QFETCH(QString, change);
    QFETCH(bool, hardLink);
    QFETCH(QString, reason);
    QFETCH(BrimvaleError::Kind, kind);
    const QString folder =
        change.startsWith(QStringLiteral("xfs")) ? xfsFolder() : m_home->file(QStringLiteral("m"));
    if (folder.isEmpty())
        QSKIP(skipReason().constData());
    makePair(folder, kSmall);
    if (change == QStringLiteral("xfs differs"))
        QVERIFY(touchByte(m_duplicate, 1000, false));
    if (change == QStringLiteral("xfs apart")) { // the copy that stays is in the home
        m_keep = m_home->file(QStringLiteral("keep.gguf"));
        QVERIFY(writeSynced(m_keep, randomBytes(7, kSmall)));
    }
    const QByteArray path = QFile::encodeName(m_duplicate);
    if (change == QStringLiteral("mode"))
        QVERIFY(::chmod(path.constData(), 0600) == 0);
    if (change == QStringLiteral("owner"))
        QVERIFY(::chown(path.constData(), 65534, 65534) == 0);
    if (change == QStringLiteral("xattr"))
        QVERIFY(setAttribute(m_duplicate, "hub"));
    if (change == QStringLiteral("link"))
        QVERIFY(
            ::link(path.constData(),
                   QFile::encodeName(m_home->file(QStringLiteral("elsewhere.gguf"))).constData()) ==
            0);
    const UniqueFd writer(
        change == QStringLiteral("writer") ? ::open(path.constData(), O_WRONLY | O_CLOEXEC) : -1);
    DedupeItem item = itemOf(m_duplicate, m_keep);
    if (change == QStringLiteral("append")) {
        QFile file(m_duplicate);
        QVERIFY(file.open(QIODevice::Append) && file.putChar('x'));
    }
    if (change.startsWith(QStringLiteral("rewrite")))
        QVERIFY(
            touchByte(change.endsWith(QStringLiteral("keep")) ? m_keep : m_duplicate, 5, false));
    if (change.startsWith(QStringLiteral("xfs touch"))) // only the times change
        QVERIFY(
            touchByte(change.endsWith(QStringLiteral("keep")) ? m_keep : m_duplicate, 1000, true));
    if (change == QStringLiteral("hash"))
        item.hash = ContentHash::fnv1a64("other content").repeated(2);
    if (change == QStringLiteral("nul"))
        item.path += QChar(u'\0') + QStringLiteral("x");
    const FileState duplicate = stateOf(m_duplicate);
    const FileState keep = stateOf(m_keep);

    StopToken stop;
    std::optional<FileLock> held;
    DedupeService::Options options;
    options.hardLink = hardLink;
    if (change == QStringLiteral("stop")) {
        stop.requestStop();
        options.stop = &stop;
    }
    if (change == QStringLiteral("busy")) {
        held.emplace(FileLock::inDataDir(QStringLiteral("dedupe")));
        options.lockWait = std::chrono::milliseconds{0};
    }
    const int count = change == QStringLiteral("stop") ? 2 : 1;
    const DedupeOutcome outcome = DedupeService::run({QList<DedupeItem>(count, item), {}}, options);
    QCOMPARE(outcome.files, QList<DedupedFile>(count, fileOf(item, 0, false, reason)));
    QCOMPARE(outcome.error,
             kind == BrimvaleError::Kind::general
                 ? QStringLiteral("Could not free ") + item.path + QStringLiteral(": ") + reason
                 : reason);
    QCOMPARE(outcome.errorKind, kind);
    QVERIFY(stateOf(m_duplicate) == duplicate);
    QVERIFY(stateOf(m_keep) == keep);
    QVERIFY(noTemporaryNames());
}

// Sharing leaves each file's unwritten extents as they are; the pair is stored once all the same,
// and a run again frees nothing.
void DedupeServiceTest::rerunAfterSharingPreallocated()
{
    const QString folder = xfsFolder();
    if (folder.isEmpty())
        QSKIP(skipReason().constData());
    m_folder = folder;
    m_keep = folder + QStringLiteral("/keep/model.gguf");
    m_duplicate = folder + QStringLiteral("/copy.gguf");
    const QByteArray data = randomBytes(7, kSmall);
    QVERIFY(writePreallocated(m_keep, data) && writePreallocated(m_duplicate, data));
    const DedupeItem first = itemOf(m_duplicate, m_keep);
    QCOMPARE(DedupeService::run({{first}, {}}, {}).files,
             QList<DedupedFile>{freedFile(first, false)});
    QVERIFY(layoutOf(m_duplicate) && layoutOf(m_duplicate) == layoutOf(m_keep));

    const DedupeItem again = itemOf(m_duplicate, m_keep);
    const DedupeOutcome outcome = DedupeService::run({{again}, {}}, {});
    QCOMPARE(outcome.files,
             QList<DedupedFile>{fileOf(again, 0, false, QStringLiteral("Already stored once"))});
    QCOMPARE(outcome.filesystems.size(), 1);
    QCOMPARE(outcome.filesystems[0].bytesShared, 0);
}

// A copy on another filesystem leads the group; one of the two in the home is freed against
// the other.
void DedupeServiceTest::copyThatStaysOnOwnFilesystem()
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/brimvale-dedupe-XXXXXX"));
    const QString far = shm.path() + QStringLiteral("/lmstudio.gguf");
    const QString first = m_home->file(QStringLiteral("a/model.gguf"));
    const QString second = m_home->file(QStringLiteral("b/model.gguf"));
    const QByteArray data = randomBytes(7, kSmall);
    QVERIFY(shm.isValid() && writeSynced(far, data) && writeSynced(first, data) &&
            writeSynced(second, data));
    if (identityOf(far).device == identityOf(first).device)
        QSKIP("/dev/shm is on the home's filesystem");
    ScanResult scan;
    DuplicateGroup group{hashOf(first), kSmall, {}};
    for (const QString& path : {far, first, second}) {
        ModelEntry entry;
        entry.id = path.section(u'/', -2, -2);
        entry.primaryPath = path;
        entry.dataFiles = {path};
        scan.models.push_back(entry);
        group.copies.push_back({path, identityOf(path), {}, {entry.id}});
    }
    scan.duplicateGroups = {group};
    const DedupePlan::Plan plan = DedupePlan::of(scan, {scan.models[1]});
    DedupeService::Options options;
    options.hardLink = true;
    const DedupeOutcome outcome = DedupeService::run(plan, options);
    QCOMPARE(outcome.files,
             (QList<DedupedFile>{{QStringLiteral("a"), first, second, kSmall, true, {}}}));
    QVERIFY(identityOf(first).sameFile(identityOf(second)));
}

void DedupeServiceTest::leftovers_data()
{
    QTest::addColumn<bool>("sameContent"); // of the duplicate's own leftover with one link
    QTest::newRow("one-link leftover equal to its file: removed") << true;
    QTest::newRow("one-link leftover differing from its file: kept") << false;
}

void DedupeServiceTest::leftovers()
{
    QFETCH(bool, sameContent);
    makePair(m_home->file(QStringLiteral("models")), kSmall);
    const QString linked = m_folder + QStringLiteral("/.brimvale-dedupe-old.gguf");
    const QString lonely = m_folder + QStringLiteral("/.brimvale-dedupe-only.gguf");
    QVERIFY(writeSynced(lonely, "the only copy of this"));
    // An interrupted run left a link to the copy that stays; removing it changes that copy's
    // status-change time, which is no change since the scan.
    QVERIFY(::link(QFile::encodeName(m_keep).constData(), QFile::encodeName(linked).constData()) ==
            0);
    // Another run was killed once it had linked, and the copy it linked to is gone since.
    const QString own =
        m_folder + u'/' +
        QString::fromUtf8(HardLinkSwap::temporaryName(QByteArrayLiteral("copy.gguf")));
    QVERIFY(writeSynced(own, randomBytes(sameContent ? 7 : 8, kSmall)));
    const DedupeItem item = itemOf(m_duplicate, m_keep);
    DedupeService::Options options;
    options.hardLink = true;
    const DedupeOutcome outcome = DedupeService::run({{item}, {}}, options);
    QCOMPARE(outcome.files, QList<DedupedFile>{freedFile(item, true)});
    QVERIFY(outcome.succeeded());
    QStringList left{lonely.section(u'/', -1)};
    QStringList notes{QStringLiteral("Left ") + lonely +
                      QStringLiteral(": an interrupted dedupe made it, and the file it was made "
                                     "for is gone")};
    if (!sameContent) {
        left.prepend(own.section(u'/', -1));
        notes.prepend(QStringLiteral("Left ") + own +
                      QStringLiteral(": an interrupted dedupe made it, and its content differs "
                                     "from ") +
                      m_duplicate);
    }
    QCOMPARE(temporaryNames(m_folder), left);
    std::ranges::sort(notes);
    QStringList noted = outcome.notes;
    std::ranges::sort(noted);
    QCOMPARE(noted, notes);
    QCOMPARE(statOf(m_keep).st_nlink, nlink_t(2)); // the copy that stays and the duplicate
}

void DedupeServiceTest::swapChecks_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<HardLinkSwap::Outcome::End>("end");
    using End = HardLinkSwap::Outcome::End;
    QTest::newRow("duplicate changed after it was verified")
        << QStringLiteral("duplicate") << End::changed;
    QTest::newRow("copy that stays replaced after it was verified")
        << QStringLiteral("keep") << End::changed;
    QTest::newRow("duplicate opened for writing after the lease was taken")
        << QStringLiteral("writer") << End::written;
}

void DedupeServiceTest::swapChecks()
{
    QFETCH(QString, change);
    QFETCH(HardLinkSwap::Outcome::End, end);
    makePair(m_home->file(QStringLiteral("models")), kSmall);
    const DedupeItem item = itemOf(m_duplicate, m_keep);
    const UniqueFd reader(::open(QFile::encodeName(m_duplicate).constData(), O_RDONLY | O_CLOEXEC));
    const ReadLease lease(reader.get());
    QCOMPARE(lease.error(), 0);
    if (change == QStringLiteral("writer")) {
        // The open waits for the lease to be given back, unless it may not wait; either way the
        // lease is broken and the holder is signalled.
        QCOMPARE(
            ::open(QFile::encodeName(m_duplicate).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC),
            -1);
        QCOMPARE(errno, EWOULDBLOCK);
    } else {
        const QString changed = change == QStringLiteral("duplicate") ? m_duplicate : m_keep;
        QVERIFY(writeSynced(changed, randomBytes(7, kSmall))); // same bytes, another file
    }
    const FileState duplicate = stateOf(m_duplicate);
    const HardLinkSwap::Outcome outcome =
        HardLinkSwap::swap(m_keep, item.keepIdentity, m_duplicate, item.identity, lease);
    QCOMPARE(outcome.end, end);
    QVERIFY(stateOf(m_duplicate) == duplicate);
    QVERIFY(noTemporaryNames());
}

void DedupeServiceTest::dryRun_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<bool>("sameMode");
    QTest::addColumn<std::optional<QString>>("reason");
    QTest::newRow("hard link") << QStringLiteral("home") << true << true
                               << std::optional<QString>();
    QTest::newRow("sharing blocks")
        << QStringLiteral("xfs") << false << true << std::optional<QString>();
    QTest::newRow("cannot share") << QStringLiteral("home") << false << true
                                  << std::optional<QString>(kCannotShare);
    QTest::newRow("different mode")
        << QStringLiteral("home") << true << false << std::optional<QString>(kOwner);
}

void DedupeServiceTest::dryRun()
{
    QFETCH(QString, where);
    QFETCH(bool, hardLink);
    QFETCH(bool, sameMode);
    QFETCH(std::optional<QString>, reason);
    const QString folder =
        where == QStringLiteral("xfs") ? xfsFolder() : m_home->file(QStringLiteral("m"));
    if (folder.isEmpty())
        QSKIP(skipReason().constData());
    makePair(folder, kSmall);
    if (!sameMode)
        QVERIFY(::chmod(QFile::encodeName(m_duplicate).constData(), 0600) == 0);
    const DedupeItem item = itemOf(m_duplicate, m_keep);
    const FileState duplicate = stateOf(m_duplicate);
    const FileState keep = stateOf(m_keep);
    const bool hardLinked = hardLink && !reason;

    DedupeService::Options options;
    options.hardLink = hardLink;
    options.dryRun = true;
    const DedupeOutcome outcome = DedupeService::run({{item}, {}}, options);
    QCOMPARE(outcome.files,
             QList<DedupedFile>{fileOf(item, reason ? 0 : kSmall, hardLinked, reason)});
    QCOMPARE(outcome.succeeded(), !reason);
    QVERIFY(stateOf(m_duplicate) == duplicate);
    QVERIFY(stateOf(m_keep) == keep);
    QVERIFY(!QFile::exists(m_home->file(QStringLiteral(".brimvale/dedupe.lock"))));
    QCOMPARE(outcome.filesystems.size(), 1);
    QCOMPARE(outcome.filesystems[0].freeAfter, outcome.filesystems[0].freeBefore);
}

QTEST_GUILESS_MAIN(DedupeServiceTest)
#include "tst_dedupeservice.moc"

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

const QString kChanged = u"Changed since the scan — scan again"_qs;
const QString kOwner = u"Different permissions or owner than the copy that stays"_qs;
const QString kCannotShare =
    u"This filesystem cannot share blocks — use --hard-link to replace the copy by a hard link"_qs;
const QString kWriter = u"A program has this file open for writing"_qs;

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

    void init()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->isValid());
    }

    void cleanup()
    {
        if (m_xfs->problem().isEmpty())
            QDir(m_xfs->path() + u"/t"_qs).removeRecursively();
        m_home.reset();
    }

    void sharesBlocksOnXfs()
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
        QCOMPARE(::getxattr(QFile::encodeName(m_duplicate).constData(), "user.origin", origin, 8),
                 3);
        QCOMPARE(QByteArray(origin), QByteArray("hub"));
        QCOMPARE(hashOf(m_duplicate), item.hash);
        QCOMPARE(physicalOf(m_duplicate), physicalOf(m_keep));
        QVERIFY(freeBytes(folder) - freeBefore >= kBig * 9 / 10);
        QCOMPARE(outcome.filesystems.size(), 1);
        QCOMPARE(outcome.filesystems[0].mountPoint, m_xfs->path());
        QVERIFY(outcome.filesystems[0].freed() >= kBig * 9 / 10);
    }

    void xfsWithoutReflink_data()
    {
        QTest::addColumn<bool>("hardLink");
        QTest::addColumn<bool>("dryRun");
        QTest::newRow("refused") << false << false;
        QTest::newRow("refused in a dry run") << false << true;
        QTest::newRow("hard link") << true << false;
    }

    // XFS made without reflink has the sharing call but not the feature.
    void xfsWithoutReflink()
    {
        QFETCH(bool, hardLink);
        QFETCH(bool, dryRun);
        const XfsMount plain(false);
        if (!plain.problem().isEmpty())
            QSKIP(qPrintable(u"No XFS without reflink: "_qs + plain.problem()));
        makePair(plain.path(), kSmall);
        QVERIFY(!DedupeService::canShareBlocks(m_keep));
        const DedupeItem item = itemOf(m_duplicate, m_keep);
        const FileState duplicate = stateOf(m_duplicate);
        DedupeService::Options options;
        options.hardLink = hardLink;
        options.dryRun = dryRun;
        const DedupeOutcome outcome = DedupeService::run({{item}, {}}, options);
        QCOMPARE(outcome.files,
                 QList<DedupedFile>{hardLink ? freedFile(item, true)
                                             : fileOf(item, 0, false, kCannotShare)});
        QVERIFY(hardLink ? identityOf(m_duplicate).sameFile(identityOf(m_keep))
                         : stateOf(m_duplicate) == duplicate);
    }

    void hardLinks()
    {
        makePair(m_home->file(u"models"_qs), kSmall);
        QVERIFY(!DedupeService::canShareBlocks(m_keep));
        // A name of 255 bytes: its temporary name is cut to fit.
        const QString second = m_home->file(u"other/"_qs + QString(250, u'n') + u".gguf"_qs);
        QVERIFY(writeSynced(second, randomBytes(7, kSmall)));
        for (const QString& path : {m_keep, m_duplicate, second}) // the same on each: no loss
            QVERIFY(setAttribute(path, "hub"));
        const DedupedFile skipped{u"entry-x"_qs,
                                  m_home->file(u"x.bin"_qs),
                                  {},
                                  0,
                                  false,
                                  u"No copy stays outside the entries"_qs};
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
        QVERIFY(!outcome.filesystems[0].mountPoint.isEmpty() &&
                outcome.filesystems[0].freeBefore > 0);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("hardLink");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<BrimvaleError::Kind>("kind");
        using Kind = BrimvaleError::Kind;
        const auto row = [](const char* name, const QString& change, bool hardLink,
                            const QString& reason, Kind kind = Kind::general) {
            QTest::newRow(name) << change << hardLink << reason << kind;
        };
        row("different mode", u"mode"_qs, true, kOwner);
        row("different owner", u"owner"_qs, true, kOwner);
        row("one byte appended after the scan", u"append"_qs, true, kChanged);
        row("rewritten after the scan, same size", u"rewrite"_qs, true, kChanged);
        row("copy that stays rewritten after the scan", u"rewrite keep"_qs, true, kChanged);
        row("content is not the scanned one", u"hash"_qs, true, kChanged);
        row("extended attribute on the duplicate only", u"xattr"_qs, true,
            u"Different ACLs or extended attributes than the copy that stays"_qs);
        row("open for writing", u"writer"_qs, true, kWriter);
        row("another name the scan did not see", u"link"_qs, true,
            u"Another name still holds this file"_qs);
        row("without --hard-link", QString(), false, kCannotShare);
        row("path holding NUL", u"nul"_qs, true, u"Invalid path"_qs, Kind::invalidPath);
        row("on another filesystem", u"xfs apart"_qs, true,
            u"On another filesystem than the copy that stays"_qs);
        // Sharing blocks checks the bytes and the times itself.
        row("xfs: one byte differs", u"xfs differs"_qs, false,
            u"Content differs from the copy that stays"_qs);
        row("xfs: duplicate written after the scan, same bytes", u"xfs touch"_qs, false, kChanged);
        row("xfs: copy that stays written after the scan, same bytes", u"xfs touch keep"_qs, false,
            kChanged);
        const QString stopped = u"Stopped — the remaining files were not freed"_qs;
        row("stopped before hard links", u"stop"_qs, true, stopped, Kind::stopped);
        // Nothing would be hashed.
        row("stopped before refused files", u"stop"_qs, false, stopped, Kind::stopped);
        row("lock held by another run", u"busy"_qs, true,
            u"Another Brimvale is freeing duplicates — try again in a moment"_qs, Kind::busy);
    }

    void refusals()
    {
        QFETCH(QString, change);
        QFETCH(bool, hardLink);
        QFETCH(QString, reason);
        QFETCH(BrimvaleError::Kind, kind);
        const QString folder = change.startsWith(u"xfs"_qs) ? xfsFolder() : m_home->file(u"m"_qs);
        if (folder.isEmpty())
            QSKIP(skipReason().constData());
        makePair(folder, kSmall);
        if (change == u"xfs differs"_qs)
            QVERIFY(touchByte(m_duplicate, 1000, false));
        if (change == u"xfs apart"_qs) { // the copy that stays is in the home
            m_keep = m_home->file(u"keep.gguf"_qs);
            QVERIFY(writeSynced(m_keep, randomBytes(7, kSmall)));
        }
        const QByteArray path = QFile::encodeName(m_duplicate);
        if (change == u"mode"_qs)
            QVERIFY(::chmod(path.constData(), 0600) == 0);
        if (change == u"owner"_qs)
            QVERIFY(::chown(path.constData(), 65534, 65534) == 0);
        if (change == u"xattr"_qs)
            QVERIFY(setAttribute(m_duplicate, "hub"));
        if (change == u"link"_qs)
            QVERIFY(::link(path.constData(),
                           QFile::encodeName(m_home->file(u"elsewhere.gguf"_qs)).constData()) == 0);
        const UniqueFd writer(
            change == u"writer"_qs ? ::open(path.constData(), O_WRONLY | O_CLOEXEC) : -1);
        DedupeItem item = itemOf(m_duplicate, m_keep);
        if (change == u"append"_qs) {
            QFile file(m_duplicate);
            QVERIFY(file.open(QIODevice::Append) && file.putChar('x'));
        }
        if (change.startsWith(u"rewrite"_qs))
            QVERIFY(touchByte(change.endsWith(u"keep"_qs) ? m_keep : m_duplicate, 5, false));
        if (change.startsWith(u"xfs touch"_qs)) // only the times change
            QVERIFY(touchByte(change.endsWith(u"keep"_qs) ? m_keep : m_duplicate, 1000, true));
        if (change == u"hash"_qs)
            item.hash = ContentHash::fnv1a64("other content").repeated(2);
        if (change == u"nul"_qs)
            item.path += QChar(u'\0') + u"x"_qs;
        const FileState duplicate = stateOf(m_duplicate);
        const FileState keep = stateOf(m_keep);

        StopToken stop;
        std::optional<FileLock> held;
        DedupeService::Options options;
        options.hardLink = hardLink;
        if (change == u"stop"_qs) {
            stop.requestStop();
            options.stop = &stop;
        }
        if (change == u"busy"_qs) {
            held.emplace(FileLock::inDataDir(u"dedupe"_qs));
            options.lockWait = std::chrono::milliseconds{0};
        }
        const int count = change == u"stop"_qs ? 2 : 1;
        const DedupeOutcome outcome =
            DedupeService::run({QList<DedupeItem>(count, item), {}}, options);
        QCOMPARE(outcome.files, QList<DedupedFile>(count, fileOf(item, 0, false, reason)));
        QCOMPARE(outcome.error, kind == BrimvaleError::Kind::general
                                    ? u"Could not free "_qs + item.path + u": "_qs + reason
                                    : reason);
        QCOMPARE(outcome.errorKind, kind);
        QVERIFY(stateOf(m_duplicate) == duplicate);
        QVERIFY(stateOf(m_keep) == keep);
        QVERIFY(noTemporaryNames());
    }

    // Sharing leaves each file's unwritten extents as they are; the pair is stored once all the
    // same, and a run again frees nothing.
    void rerunAfterSharingPreallocated()
    {
        const QString folder = xfsFolder();
        if (folder.isEmpty())
            QSKIP(skipReason().constData());
        m_folder = folder;
        m_keep = folder + u"/keep/model.gguf"_qs;
        m_duplicate = folder + u"/copy.gguf"_qs;
        const QByteArray data = randomBytes(7, kSmall);
        QVERIFY(writePreallocated(m_keep, data) && writePreallocated(m_duplicate, data));
        const DedupeItem first = itemOf(m_duplicate, m_keep);
        QCOMPARE(DedupeService::run({{first}, {}}, {}).files,
                 QList<DedupedFile>{freedFile(first, false)});
        QVERIFY(layoutOf(m_duplicate) && layoutOf(m_duplicate) == layoutOf(m_keep));

        const DedupeItem again = itemOf(m_duplicate, m_keep);
        const DedupeOutcome outcome = DedupeService::run({{again}, {}}, {});
        QCOMPARE(outcome.files,
                 QList<DedupedFile>{fileOf(again, 0, false, u"Already stored once"_qs)});
        QCOMPARE(outcome.filesystems.size(), 1);
        QCOMPARE(outcome.filesystems[0].bytesShared, 0);
    }

    // A copy on another filesystem leads the group; one of the two in the home is freed against
    // the other.
    void copyThatStaysOnOwnFilesystem()
    {
        QTemporaryDir shm(u"/dev/shm/brimvale-dedupe-XXXXXX"_qs);
        const QString far = shm.path() + u"/lmstudio.gguf"_qs;
        const QString first = m_home->file(u"a/model.gguf"_qs);
        const QString second = m_home->file(u"b/model.gguf"_qs);
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
        QCOMPARE(outcome.files, (QList<DedupedFile>{{u"a"_qs, first, second, kSmall, true, {}}}));
        QVERIFY(identityOf(first).sameFile(identityOf(second)));
    }

    void leftovers_data()
    {
        QTest::addColumn<bool>("sameContent"); // of the duplicate's own leftover with one link
        QTest::newRow("one-link leftover equal to its file: removed") << true;
        QTest::newRow("one-link leftover differing from its file: kept") << false;
    }

    void leftovers()
    {
        QFETCH(bool, sameContent);
        makePair(m_home->file(u"models"_qs), kSmall);
        const QString linked = m_folder + u"/.brimvale-dedupe-old.gguf"_qs;
        const QString lonely = m_folder + u"/.brimvale-dedupe-only.gguf"_qs;
        QVERIFY(writeSynced(lonely, "the only copy of this"));
        // An interrupted run left a link to the copy that stays; removing it changes that copy's
        // status-change time, which is no change since the scan.
        QVERIFY(::link(QFile::encodeName(m_keep).constData(),
                       QFile::encodeName(linked).constData()) == 0);
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
        QStringList notes{u"Left "_qs + lonely +
                          u": an interrupted dedupe made it, and the file it was made "
                          "for is gone"_qs};
        if (!sameContent) {
            left.prepend(own.section(u'/', -1));
            notes.prepend(u"Left "_qs + own +
                          u": an interrupted dedupe made it, and its content differs "
                          "from "_qs +
                          m_duplicate);
        }
        QCOMPARE(temporaryNames(m_folder), left);
        std::ranges::sort(notes);
        QStringList noted = outcome.notes;
        std::ranges::sort(noted);
        QCOMPARE(noted, notes);
        QCOMPARE(statOf(m_keep).st_nlink, nlink_t(2)); // the copy that stays and the duplicate
    }

    void swapChecks_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<HardLinkSwap::Outcome::End>("end");
        using End = HardLinkSwap::Outcome::End;
        QTest::newRow("duplicate changed after it was verified") << u"duplicate"_qs << End::changed;
        QTest::newRow("copy that stays replaced after it was verified")
            << u"keep"_qs << End::changed;
        QTest::newRow("duplicate opened for writing after the lease was taken")
            << u"writer"_qs << End::written;
    }

    void swapChecks()
    {
        QFETCH(QString, change);
        QFETCH(HardLinkSwap::Outcome::End, end);
        makePair(m_home->file(u"models"_qs), kSmall);
        const DedupeItem item = itemOf(m_duplicate, m_keep);
        const UniqueFd reader(
            ::open(QFile::encodeName(m_duplicate).constData(), O_RDONLY | O_CLOEXEC));
        const ReadLease lease(reader.get());
        QCOMPARE(lease.error(), 0);
        if (change == u"writer"_qs) {
            // The open waits for the lease to be given back, unless it may not wait; either way the
            // lease is broken and the holder is signalled.
            QCOMPARE(::open(QFile::encodeName(m_duplicate).constData(),
                            O_WRONLY | O_NONBLOCK | O_CLOEXEC),
                     -1);
            QCOMPARE(errno, EWOULDBLOCK);
        } else {
            const QString changed = change == u"duplicate"_qs ? m_duplicate : m_keep;
            QVERIFY(writeSynced(changed, randomBytes(7, kSmall))); // same bytes, another file
        }
        const FileState duplicate = stateOf(m_duplicate);
        const HardLinkSwap::Outcome outcome =
            HardLinkSwap::swap(m_keep, item.keepIdentity, m_duplicate, item.identity, lease);
        QCOMPARE(outcome.end, end);
        QVERIFY(stateOf(m_duplicate) == duplicate);
        QVERIFY(noTemporaryNames());
    }

    void dryRun_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("hardLink");
        QTest::addColumn<bool>("sameMode");
        QTest::addColumn<std::optional<QString>>("reason");
        QTest::newRow("hard link") << u"home"_qs << true << true << std::optional<QString>();
        QTest::newRow("sharing blocks") << u"xfs"_qs << false << true << std::optional<QString>();
        QTest::newRow("cannot share")
            << u"home"_qs << false << true << std::optional<QString>(kCannotShare);
        QTest::newRow("different mode")
            << u"home"_qs << true << false << std::optional<QString>(kOwner);
    }

    void dryRun()
    {
        QFETCH(QString, where);
        QFETCH(bool, hardLink);
        QFETCH(bool, sameMode);
        QFETCH(std::optional<QString>, reason);
        const QString folder = where == u"xfs"_qs ? xfsFolder() : m_home->file(u"m"_qs);
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
        QVERIFY(!QFile::exists(m_home->file(u".brimvale/dedupe.lock"_qs)));
        QCOMPARE(outcome.filesystems.size(), 1);
        QCOMPARE(outcome.filesystems[0].freeAfter, outcome.filesystems[0].freeBefore);
    }

private:
    // A folder on the XFS; empty when there is none (then skipReason() tells why).

    QString xfsFolder()
    {
        if (!m_xfs->problem().isEmpty())
            return {};
        const QString folder = m_xfs->path() + u"/t"_qs;
        QDir().mkpath(folder);
        return folder;
    }

    [[nodiscard]] QByteArray skipReason() const
    {
        return u"No XFS with reflink: %1"_qs.arg(m_xfs->problem()).toUtf8();
    }
    // The copy that stays and its duplicate (same bytes, written apart) in the folder.

    void makePair(const QString& folder, qint64 size)
    {
        m_folder = folder;
        m_keep = folder + u"/keep/model.gguf"_qs;
        m_duplicate = folder + u"/copy.gguf"_qs;
        const QByteArray bytes = randomBytes(7, size);
        QVERIFY(writeSynced(m_keep, bytes) && writeSynced(m_duplicate, bytes));
    }

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

QTEST_GUILESS_MAIN(DedupeServiceTest)
#include "tst_dedupeservice.moc"

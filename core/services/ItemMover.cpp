#include "services/ItemMover.h"

#include "fs/FileLock.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "model/BrimvaleError.h"
#include "model/PathParts.h"
#include "services/TreeRemover.h"
#include "services/TreeSnapshot.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ItemMover {

namespace {

const QByteArray kPartialPrefix = QByteArrayLiteral(".brimvale-partial-");
const QByteArray kMovedPrefix = QByteArrayLiteral(".brimvale-moved-");
constexpr qsizetype kNameMax = 255; // bytes in one file name

void syncFolder(int folder)
{
    (void)::fsync(folder);
}

class Mover
{
public:
    Mover(const QString& path, const QString& destination, const Options& options)
        : m_path(path), m_destination(destination), m_options(options)
    {
        m_parent = PathParts::parentOf(path);
        m_name = path.mid(path.lastIndexOf(u'/') + 1);
        m_nameBytes = QFile::encodeName(m_name);
    }

    Result run()
    {
        std::optional<FileLock> lock;
        try {
            lock.emplace(moveLock(m_options.lockWait));
        } catch (const BrimvaleError& error) {
            if (error.kind() == BrimvaleError::Kind::busy)
                return end(error);
            return fail(error.message());
        }
        m_sourceDir = UniqueFd(
            ::open(QFile::encodeName(m_parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!m_sourceDir.isValid())
            return fail(BrimvaleError::describe(errno));
        m_destinationDir = UniqueFd(::open(QFile::encodeName(m_destination).constData(),
                                           O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!m_destinationDir.isValid())
            return fail(BrimvaleError::describe(errno));
        if (const std::optional<QString> problem = checkAgain())
            return fail(*problem);

        report(MoveStage::renaming);
        const int error = PosixIO::renameNoReplaceAt(m_sourceDir.get(), m_nameBytes,
                                                     m_destinationDir.get(), m_nameBytes);
        if (error == EXDEV)
            return acrossFilesystems();
        if (error != 0)
            return fail(BrimvaleError::describe(error));
        syncFolder(m_destinationDir.get());
        syncFolder(m_sourceDir.get());
        m_result.moved = true;
        link();
        return m_result;
    }

private:
    // The item still exists, is no symlink, and nothing has taken its name at the destination.
    std::optional<QString> checkAgain() const
    {
        struct stat st
        {
        };
        if (::fstatat(m_sourceDir.get(), m_nameBytes.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return BrimvaleError::describe(errno);
        if (S_ISLNK(st.st_mode))
            return QStringLiteral("Already a symlink");
        if (::fstatat(m_destinationDir.get(), m_nameBytes.constData(), &st, AT_SYMLINK_NOFOLLOW) ==
            0)
            return BrimvaleError::describe(EEXIST);
        if (errno != ENOENT)
            return BrimvaleError::describe(errno);
        return std::nullopt;
    }

    Result acrossFilesystems()
    {
        const QByteArray partial = partialName(m_nameBytes);
        if (const int error = TreeRemover::remove(m_destinationDir.get(), partial))
            return fail(BrimvaleError::describe(error)); // a stale copy we cannot clear
        TreeCopier::Copied copied;
        try {
            report(MoveStage::copying);
            copied = TreeCopier::copy(m_sourceDir.get(), m_nameBytes, m_destinationDir.get(),
                                      partial, m_options.copied, m_options.stop);
            report(MoveStage::verifying);
            using TreeSnapshot::Compare;
            const auto source = TreeSnapshot::list(m_sourceDir.get(), m_nameBytes);
            if (const auto path =
                    TreeSnapshot::firstDifference(copied.source, source, Compare::sameSource))
                throw BrimvaleError(changedText(*path));
            const auto copy = TreeSnapshot::list(m_destinationDir.get(), partial, m_nameBytes);
            if (const auto path = TreeSnapshot::firstDifference(copied.source, copy, Compare::copy))
                throw BrimvaleError(QStringLiteral("The copy does not match the original: ") +
                                    TreeSnapshot::display(m_nameBytes, *path));
            syncFolder(m_destinationDir.get());
        } catch (const BrimvaleError& error) {
            (void)TreeRemover::remove(m_destinationDir.get(), partial);
            syncFolder(m_destinationDir.get());
            if (error.kind() == BrimvaleError::Kind::stopped)
                return end(error);
            return fail(error.message());
        }

        report(MoveStage::settingAside);
        if (const int error = PosixIO::renameNoReplaceAt(m_destinationDir.get(), partial,
                                                         m_destinationDir.get(), m_nameBytes)) {
            (void)TreeRemover::remove(m_destinationDir.get(), partial);
            syncFolder(m_destinationDir.get());
            return fail(BrimvaleError::describe(error));
        }
        syncFolder(m_destinationDir.get());
        // Renaming a file moves its change time, so a single file is compared a last time here.
        if (copied.source.front().kind == TreeSnapshot::Kind::file) {
            if (const std::optional<QString> change =
                    changedSince(copied.source, m_nameBytes, TreeSnapshot::Compare::sameSource)) {
                withdrawCopy(partial);
                return fail(*change);
            }
        }
        const QByteArray aside = asideName(m_nameBytes);
        if (const int error = PosixIO::renameNoReplaceAt(m_sourceDir.get(), m_nameBytes,
                                                         m_sourceDir.get(), aside)) {
            withdrawCopy(partial);
            return fail(BrimvaleError::describe(error));
        }
        syncFolder(m_sourceDir.get());
        if (const std::optional<QString> change =
                changedSince(copied.source, aside, TreeSnapshot::Compare::renamedSource)) {
            // The source goes back first: until it is back, the copy keeps every file whole.
            if (PosixIO::renameNoReplaceAt(m_sourceDir.get(), aside, m_sourceDir.get(),
                                           m_nameBytes) == 0) {
                syncFolder(m_sourceDir.get());
                withdrawCopy(partial);
            }
            return fail(*change);
        }

        m_result.moved = true;
        if (copied.attributesLeftOut)
            record(QStringLiteral("Moved without extended attributes: ") + m_path);
        link();
        report(MoveStage::cleaningUp);
        if (const int error = TreeRemover::remove(m_sourceDir.get(), aside))
            record(QStringLiteral("Moved, but could not remove ") +
                   PathParts::join(m_parent, QFile::decodeName(aside)) + QStringLiteral(": ") +
                   BrimvaleError::describe(error));
        syncFolder(m_sourceDir.get());
        return m_result;
    }

    // Whether the source, now under `name` (its own or the aside name), differs from what was
    // copied.
    std::optional<QString> changedSince(const TreeSnapshot::Snapshot& copied,
                                        const QByteArray& name, TreeSnapshot::Compare how) const
    {
        try {
            const auto now = TreeSnapshot::list(m_sourceDir.get(), name, m_nameBytes);
            if (const auto path = TreeSnapshot::firstDifference(copied, now, how))
                return changedText(*path);
        } catch (const BrimvaleError& error) {
            return error.message();
        }
        return std::nullopt;
    }

    // Takes the finished copy back out of the destination: renamed to the partial name (never
    // replacing anything) and deleted there.
    void withdrawCopy(const QByteArray& partial) const
    {
        if (PosixIO::renameNoReplaceAt(m_destinationDir.get(), m_nameBytes, m_destinationDir.get(),
                                       partial) != 0)
            return;
        syncFolder(m_destinationDir.get());
        (void)TreeRemover::remove(m_destinationDir.get(), partial);
        syncFolder(m_destinationDir.get());
    }

    void link()
    {
        if (!m_options.relink.isEmpty()) {
            repoint();
            return;
        }
        if (!m_options.createSymlink)
            return;
        report(MoveStage::linking);
        const QByteArray target = QFile::encodeName(PathParts::join(m_destination, m_name));
        if (::symlinkat(target.constData(), m_sourceDir.get(), m_nameBytes.constData()) != 0) {
            record(QStringLiteral("Moved, but the symlink at ") + m_path +
                   QStringLiteral(" failed: ") + BrimvaleError::describe(errno));
            return;
        }
        syncFolder(m_sourceDir.get());
        m_result.linked = true;
    }

    // Re-points the link that named the item's old place at its new one: a link under a
    // temporary name beside it, renamed over it after checking it still names the old place.
    void repoint()
    {
        report(MoveStage::linking);
        const QString& link = m_options.relink;
        const QByteArray folder = QFile::encodeName(PathParts::parentOf(link));
        const QByteArray name = QFile::encodeName(link.mid(link.lastIndexOf(u'/') + 1));
        const UniqueFd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const QByteArray fresh = temporaryName(QByteArrayLiteral(".brimvale-link-"), name);
        const QByteArray target = QFile::encodeName(PathParts::join(m_destination, m_name));
        QByteArray old;
        int error =
            dir.isValid() ? TreeSnapshot::readLink(dir.get(), name.constData(), old) : errno;
        QString oldTarget = QFile::decodeName(old);
        if (!oldTarget.startsWith(u'/'))
            oldTarget = PathParts::join(PathParts::parentOf(link), oldTarget);
        if (error == 0 && QDir::cleanPath(oldTarget) != QDir::cleanPath(m_path))
            error = ESTALE;
        if (error == 0) {
            (void)::unlinkat(dir.get(), fresh.constData(), 0);
            if (::symlinkat(target.constData(), dir.get(), fresh.constData()) != 0 ||
                ::renameat(dir.get(), fresh.constData(), dir.get(), name.constData()) != 0)
                error = errno;
        }
        if (error != 0) {
            if (dir.isValid())
                (void)::unlinkat(dir.get(), fresh.constData(), 0);
            record(QStringLiteral("Moved, but the symlink at ") + link +
                   QStringLiteral(" could not be re-pointed: ") + BrimvaleError::describe(error));
            return;
        }
        syncFolder(dir.get());
        m_result.linked = true;
    }

    QString changedText(const QByteArray& path) const
    {
        return QStringLiteral("Changed while being copied: ") +
               TreeSnapshot::display(m_nameBytes, path);
    }

    void report(MoveStage stage) const
    {
        if (m_options.stage)
            m_options.stage(m_path, stage);
    }

    void record(const QString& message)
    {
        if (!m_result.error)
            m_result.error = message;
    }

    Result fail(const QString& description)
    {
        record(QStringLiteral("Could not move ") + m_path + QStringLiteral(": ") + description);
        return m_result;
    }

    // The item ends untouched for a reason that ends the whole move (a stop, a busy lock).
    Result end(const BrimvaleError& error)
    {
        m_result.error = error.message();
        m_result.errorKind = error.kind();
        return m_result;
    }

    QString m_path;
    QString m_destination;
    const Options& m_options;
    QString m_parent;
    QString m_name;
    QByteArray m_nameBytes;
    UniqueFd m_sourceDir;
    UniqueFd m_destinationDir;
    Result m_result;
};

} // namespace

Result move(const QString& path, const QString& destination, const Options& options)
{
    return Mover(path, destination, options).run();
}

FileLock moveLock(LockWait wait)
{
    return FileLock::inDataDir(
        QStringLiteral("move"), wait,
        QStringLiteral("Another Brimvale is moving files — try again in a moment"));
}

QByteArray partialName(const QByteArray& name)
{
    return temporaryName(kPartialPrefix, name);
}

QByteArray asideName(const QByteArray& name)
{
    return temporaryName(kMovedPrefix, name);
}

QByteArray temporaryName(const QByteArray& prefix, const QByteArray& name)
{
    if (prefix.size() + name.size() <= kNameMax)
        return prefix + name;
    const QByteArray hash =
        QCryptographicHash::hash(name, QCryptographicHash::Sha256).toHex().left(12);
    qsizetype keep = kNameMax - prefix.size() - 1 - hash.size();
    // A UTF-8 character is at most four bytes: step back over up to three continuation bytes.
    for (int i = 0; i < 3 && keep > 0 && (uchar(name[keep]) & 0xC0) == 0x80; ++i)
        --keep;
    return prefix + name.left(keep) + '-' + hash;
}

} // namespace ItemMover

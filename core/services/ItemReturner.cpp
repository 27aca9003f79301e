#include "services/ItemReturner.h"

#include "fs/FileLock.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "model/PathParts.h"
#include "services/TreeRemover.h"
#include "services/TreeSnapshot.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ItemReturner {

namespace {

using ItemMover::Result;
using TreeSnapshot::Compare;

UniqueFd openFolder(const QString& path)
{
    return UniqueFd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

class Returner
{
public:
    Returner(const MovedPath& path, const ItemMover::Options& options)
        : m_path(path), m_options(options)
    {
        m_linkName = QFile::encodeName(path.link.mid(path.link.lastIndexOf(u'/') + 1));
        m_targetName = QFile::encodeName(path.target.mid(path.target.lastIndexOf(u'/') + 1));
    }

    Result run()
    {
        std::optional<FileLock> lock;
        try {
            lock.emplace(ItemMover::moveLock(m_options.lockWait));
        } catch (const BrimvaleError& error) {
            if (error.kind() == BrimvaleError::Kind::busy)
                return end(error);
            return fail(error.message());
        }
        if (const std::optional<QString> problem = prepare())
            return fail(*problem);

        report(MoveStage::renaming);
        const int error =
            PosixIO::exchangeAt(m_targetDir.get(), m_targetName, m_linkDir.get(), m_linkName);
        if (error == EXDEV)
            return acrossFilesystems();
        if (error != 0)
            return fail(BrimvaleError::describe(error));
        // The link now stands at the target's old name.
        m_result.moved = true;
        ::fsync(m_linkDir.get());
        removeLink(m_targetDir.get(), m_targetName);
        return m_result;
    }

    // Opens the two folders and checks the target and the link; the problem found, if any.
    std::optional<QString> prepare()
    {
        m_linkDir = openFolder(PathParts::parentOf(m_path.link));
        if (!m_linkDir.isValid())
            return BrimvaleError::describe(errno);
        m_targetDir = openFolder(PathParts::parentOf(m_path.target));
        if (!m_targetDir.isValid() || !targetThere())
            return QStringLiteral(
                       "The moved files are not reachable — connect the drive that holds ") +
                   m_path.target;
        return linkProblem();
    }

private:
    bool targetThere() const
    {
        struct stat st
        {
        };
        return ::fstatat(m_targetDir.get(), m_targetName.constData(), &st, AT_SYMLINK_NOFOLLOW) ==
               0;
    }

    // Whether the link is still a symlink to the target (nothing else stands at the path).
    std::optional<QString> linkProblem() const
    {
        struct stat st
        {
        };
        if (::fstatat(m_linkDir.get(), m_linkName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return BrimvaleError::describe(errno);
        if (!S_ISLNK(st.st_mode))
            return QStringLiteral("Something other than the link is at the path");
        QByteArray text;
        if (const int error = TreeSnapshot::readLink(m_linkDir.get(), m_linkName.constData(), text))
            return BrimvaleError::describe(error);
        QString target = QFile::decodeName(text);
        if (!target.startsWith(u'/'))
            target = PathParts::join(PathParts::parentOf(m_path.link), target);
        if (QDir::cleanPath(target) != QDir::cleanPath(m_path.target))
            return QStringLiteral("The link no longer points to ") + m_path.target;
        return std::nullopt;
    }

    Result acrossFilesystems()
    {
        const QByteArray partial = ItemMover::partialName(m_linkName);
        if (const int error = TreeRemover::remove(m_linkDir.get(), partial))
            return fail(BrimvaleError::describe(error));
        TreeCopier::Copied copied;
        try {
            report(MoveStage::copying);
            copied = TreeCopier::copy(m_targetDir.get(), m_targetName, m_linkDir.get(), partial,
                                      m_options.copied, m_options.stop);
            report(MoveStage::verifying);
            const auto copy = TreeSnapshot::list(m_linkDir.get(), partial, m_linkName);
            if (const auto path = TreeSnapshot::firstDifference(copied.source, copy, Compare::copy))
                throw BrimvaleError(QStringLiteral("The copy does not match the original: ") +
                                    TreeSnapshot::display(m_linkName, *path));
            if (const std::optional<QString> change =
                    changedSince(copied.source, m_targetName, Compare::sameSource))
                throw BrimvaleError(*change);
            ::fsync(m_linkDir.get());
            if (const std::optional<QString> problem = linkProblem())
                throw BrimvaleError(*problem);
        } catch (const BrimvaleError& error) {
            (void)TreeRemover::remove(m_linkDir.get(), partial);
            ::fsync(m_linkDir.get());
            if (error.kind() == BrimvaleError::Kind::stopped)
                return end(error);
            return fail(error.message());
        }

        report(MoveStage::settingAside);
        // The one rename that replaces something: our own link, just checked.
        if (const int error = swapOrReplace(partial)) {
            (void)TreeRemover::remove(m_linkDir.get(), partial);
            ::fsync(m_linkDir.get());
            return fail(BrimvaleError::describe(error));
        }
        ::fsync(m_linkDir.get());
        m_result.moved = true;
        removeLink(m_linkDir.get(), partial);

        const QByteArray aside = ItemMover::asideName(m_targetName);
        if (const int error = PosixIO::renameNoReplaceAt(m_targetDir.get(), m_targetName,
                                                         m_targetDir.get(), aside)) {
            record(QStringLiteral("Moved back, but could not remove ") + m_path.target +
                   QStringLiteral(": ") + BrimvaleError::describe(error));
            return m_result;
        }
        ::fsync(m_targetDir.get());
        report(MoveStage::cleaningUp);
        if (const std::optional<QString> change =
                changedSince(copied.source, aside, Compare::renamedSource)) {
            // Changed after it was copied: kept under its own name, for the user to look at.
            if (PosixIO::renameNoReplaceAt(m_targetDir.get(), aside, m_targetDir.get(),
                                           m_targetName) == 0)
                ::fsync(m_targetDir.get());
            record(QStringLiteral("Moved back, but kept ") + m_path.target + QStringLiteral(": ") +
                   *change);
            return m_result;
        }
        if (const int error = TreeRemover::remove(m_targetDir.get(), aside))
            record(QStringLiteral("Moved back, but could not remove ") +
                   PathParts::join(PathParts::parentOf(m_path.target), QFile::decodeName(aside)) +
                   QStringLiteral(": ") + BrimvaleError::describe(error));
        ::fsync(m_targetDir.get());
        return m_result;
    }

    // The copy takes the link's name: swapped with the link, or, where the file system cannot
    // swap, renamed over it (a folder cannot replace a link: the link goes first).
    int swapOrReplace(const QByteArray& partial) const
    {
        const int error =
            PosixIO::exchangeAt(m_linkDir.get(), partial, m_linkDir.get(), m_linkName);
        if (error != EINVAL && error != ENOSYS)
            return error;
        if (::renameat(m_linkDir.get(), partial.constData(), m_linkDir.get(),
                       m_linkName.constData()) == 0)
            return 0;
        if (errno != ENOTDIR && errno != EISDIR)
            return errno;
        if (::unlinkat(m_linkDir.get(), m_linkName.constData(), 0) != 0)
            return errno;
        ::fsync(m_linkDir.get());
        return PosixIO::renameNoReplaceAt(m_linkDir.get(), partial, m_linkDir.get(), m_linkName);
    }

    // Removes the old link, now under `name`, when it is still a link.
    void removeLink(int dir, const QByteArray& name)
    {
        struct stat st
        {
        };
        if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode) && ::unlinkat(dir, name.constData(), 0) != 0)
            record(QStringLiteral("Moved back, but could not remove the old link: ") +
                   BrimvaleError::describe(errno));
        ::fsync(dir);
    }

    std::optional<QString> changedSince(const TreeSnapshot::Snapshot& copied,
                                        const QByteArray& name, Compare how) const
    {
        try {
            const auto now = TreeSnapshot::list(m_targetDir.get(), name, m_targetName);
            if (const auto path = TreeSnapshot::firstDifference(copied, now, how))
                return QStringLiteral("Changed while being copied: ") +
                       TreeSnapshot::display(m_targetName, *path);
        } catch (const BrimvaleError& error) {
            return error.message();
        }
        return std::nullopt;
    }

    void report(MoveStage stage) const
    {
        if (m_options.stage)
            m_options.stage(m_path.link, stage);
    }

    void record(const QString& message)
    {
        if (!m_result.error)
            m_result.error = message;
    }

    Result fail(const QString& description)
    {
        record(QStringLiteral("Could not move back ") + m_path.link + QStringLiteral(": ") +
               description);
        return m_result;
    }

    Result end(const BrimvaleError& error)
    {
        m_result.error = error.message();
        m_result.errorKind = error.kind();
        return m_result;
    }

    const MovedPath& m_path;
    const ItemMover::Options& m_options;
    QByteArray m_linkName;
    QByteArray m_targetName;
    UniqueFd m_linkDir;
    UniqueFd m_targetDir;
    Result m_result;
};

} // namespace

std::optional<QString> check(const MovedPath& path)
{
    const ItemMover::Options options;
    if (const std::optional<QString> problem = Returner(path, options).prepare())
        return QStringLiteral("Could not move back ") + path.link + QStringLiteral(": ") + *problem;
    return std::nullopt;
}

Result moveBack(const MovedPath& path, const ItemMover::Options& options)
{
    return Returner(path, options).run();
}

} // namespace ItemReturner

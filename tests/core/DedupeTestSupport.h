#pragma once

// Helpers shared by the dedupe tests: files of random bytes written for real (no holes, no
// shared blocks), plan items made from files as they are on disk, readable test output.
#include "Fixtures.h"
#include "TestHome.h"
#include "fs/BlockSharing.h"
#include "fs/UniqueFd.h"
#include "scanners/ContentHash.h"
#include "services/DedupeItem.h"
#include "services/DedupeOutcome.h"
#include "services/HardLinkSwap.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

inline char* toString(const DedupedFile& file)
{
    return QTest::toString(
        u"%1 (%2) against %3: %4 bytes%5, %6"_qs.arg(file.path, file.entryId, file.keepPath)
            .arg(file.bytesShared)
            .arg(file.hardLinked ? u" linked"_qs : QString())
            .arg(file.reason.value_or(u"freed"_qs)));
}

namespace DedupeTestSupport {

// Bytes from a generator seeded with the seed: no block of them is all zero.
inline QByteArray randomBytes(quint32 seed, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    const qsizetype words = size / qsizetype(sizeof(quint32));
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), words);
    for (qsizetype i = words * qsizetype(sizeof(quint32)); i < size; ++i)
        bytes[i] = char(generator.bounded(1, 256));
    return bytes;
}

// Writes a new file (an existing one is removed first, so the file gets an inode of its own)
// with plain writes, and syncs it to the disk.
inline bool writeSynced(const QString& path, const QByteArray& bytes)
{
    const QByteArray name = QFile::encodeName(path);
    ::unlink(name.constData());
    QDir().mkpath(path.section(u'/', 0, -2));
    const UniqueFd fd(::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd.isValid())
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return false;
        done += n;
    }
    return ::fsync(fd.get()) == 0;
}

inline FileIdentity identityOf(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? FileIdentity::of(st)
                                                                  : FileIdentity();
}

// The full-content hash the scan would give the file; empty when it cannot be read.
inline QString hashOf(const QString& path)
{
    FileIdentity identity;
    const UniqueFd fd = ContentHash::openRegular(path, identity);
    return fd.isValid() ? ContentHash::fullHash(fd.get(), identity.size).value_or(QString())
                        : QString();
}

// The duplicate and the copy that stays as a scan of them now would see them.
inline DedupeItem itemOf(const QString& path, const QString& keepPath)
{
    return {u"entry-"_qs + path.section(u'/', -1),
            path,
            identityOf(path),
            keepPath,
            identityOf(keepPath),
            hashOf(keepPath)};
}

// What the run gives for the item's file.
inline DedupedFile fileOf(const DedupeItem& item, qint64 bytesShared, bool hardLinked,
                          std::optional<QString> reason)
{
    return {item.entryId, item.path, item.keepPath, bytesShared, hardLinked, std::move(reason)};
}

// What the run gives for a file freed against its copy.
inline DedupedFile freedFile(const DedupeItem& item, bool hardLinked)
{
    return fileOf(item, item.identity.size, hardLinked, {});
}

// The temporary names of the hard-link swap in the folder.
inline QStringList temporaryNames(const QString& folder)
{
    return QDir(folder)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
        .filter(QString::fromLatin1(HardLinkSwap::kPrefix));
}

inline qint64 freeBytes(const QString& path)
{
    struct statvfs st = {};
    return ::statvfs(QFile::encodeName(path).constData(), &st) == 0
               ? qint64(st.f_bavail) * qint64(st.f_frsize)
               : -1;
}

inline QList<BlockSharing::Extent> extentsOf(const QString& path)
{
    FileIdentity ignored;
    const UniqueFd fd = ContentHash::openRegular(path, ignored);
    return fd.isValid() ? BlockSharing::extents(fd.get()).value_or(QList<BlockSharing::Extent>())
                        : QList<BlockSharing::Extent>();
}

inline QList<quint64> physicalOf(const QString& path)
{
    QList<quint64> addresses;
    for (const BlockSharing::Extent& extent : extentsOf(path))
        addresses.push_back(extent.physical);
    return addresses;
}

inline struct stat statOf(const QString& path)
{
    struct stat st = {};
    (void)::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

// Everything about a file a refused or dry run must leave as it was.
struct FileState
{
    FileIdentity identity;
    QString hash;
    QList<BlockSharing::Extent> extents;
    friend bool operator==(const FileState&, const FileState&) = default;
};

inline FileState stateOf(const QString& path)
{
    return {identityOf(path), hashOf(path), extentsOf(path)};
}

} // namespace DedupeTestSupport

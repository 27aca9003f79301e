#include "fs/XdgTrash.h"

#include "fs/AppPaths.h"
#include "fs/Mounts.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "model/BrimvaleError.h"
#include "model/PathParts.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Names in files/ are kept short enough for "<name>.trashinfo" and for the staging name
// ".brimvale-deleting-<name>" used when an item is deleted for good.
constexpr qsizetype kMaxTrashName = 255 - qsizetype(sizeof XdgTrash::kStagingPrefix - 1);

[[noreturn]] void failWith(const QString& description)
{
    throw BrimvaleError(description);
}

[[noreturn]] void failErrno(int error)
{
    throw BrimvaleError::fromErrno(error);
}

using PathParts::nameOf;
using PathParts::parentOf;
using PathParts::resolved;

bool isDirectoryNotLink(const QByteArray& path, struct stat* st = nullptr)
{
    struct stat local
    {
    };
    struct stat* out = st != nullptr ? st : &local;
    return ::lstat(path.constData(), out) == 0 && S_ISDIR(out->st_mode);
}

// Creates the folder with mode 0700 unless something is there already.
void makeFolder(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        failErrno(errno);
}

// files/ and info/ inside a trash, created when missing; both must be real folders.
bool ensureTrashFolders(const QByteArray& root)
{
    for (const char* sub : {"/files", "/info"}) {
        const QByteArray path = root + sub;
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (!isDirectoryNotLink(path))
            return false;
    }
    return true;
}

// A folder owned by the user that is not a symbolic link, created 0700 when missing.
bool ensurePrivateFolder(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st
    {
    };
    return isDirectoryNotLink(path, &st) && st.st_uid == ::getuid();
}

QByteArray uidText()
{
    return QByteArray::number(static_cast<qulonglong>(::getuid()));
}

// The nearest folder at or above the path that exists; the home trash may not exist yet.
QByteArray nearestExisting(const QByteArray& path)
{
    QByteArray current = path;
    struct stat st
    {
    };
    while (::stat(current.constData(), &st) != 0 && current != "/")
        current = parentOf(current);
    return current;
}

struct Destination
{
    QByteArray root;     // the trash folder holding files/ and info/
    QByteArray pathBase; // Path= is relative to this top directory; empty for an absolute Path=
};

// The trash of the top directory, or nothing when the drive has no usable one.
std::optional<Destination> topDirectoryTrash(const QByteArray& top)
{
    const QByteArray prefix = top == "/" ? QByteArray() : top;
    struct stat shared
    {
    };
    const QByteArray sharedTrash = prefix + "/.Trash";
    if (isDirectoryNotLink(sharedTrash, &shared) && (shared.st_mode & S_ISVTX) != 0) {
        const QByteArray own = sharedTrash + '/' + uidText();
        if (ensurePrivateFolder(own) && ensureTrashFolders(own))
            return Destination{own, top};
    }
    const QByteArray own = prefix + "/.Trash-" + uidText();
    if (ensurePrivateFolder(own) && ensureTrashFolders(own))
        return Destination{own, top};
    return std::nullopt;
}

Destination homeTrash()
{
    const QByteArray root = QFile::encodeName(AppPaths::homeTrash());
    PosixIO::makePath(QFile::decodeName(parentOf(root)));
    makeFolder(root);
    struct stat st
    {
    };
    if (::stat(root.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        failErrno(ENOTDIR);
    if (!ensureTrashFolders(root))
        failWith(QStringLiteral("No usable Trash on its drive"));
    return Destination{root, {}};
}

// Picks the trash for an item on `device` whose parent folder resolves to `parent`.
Destination destinationFor(dev_t device, const QByteArray& parent)
{
    const QByteArray itemTop = Mounts::topDirectoryOf(parent);
    const QByteArray homeRoot = QFile::encodeName(AppPaths::homeTrash());
    const std::optional<QByteArray> homeExisting = resolved(nearestExisting(homeRoot));
    struct stat home
    {
    };
    if (homeExisting && ::stat(homeExisting->constData(), &home) == 0 && home.st_dev == device &&
        Mounts::topDirectoryOf(*homeExisting) == itemTop)
        return homeTrash();
    if (std::optional<Destination> top = topDirectoryTrash(itemTop))
        return *top;
    failWith(QStringLiteral("No usable Trash on its drive"));
}

QByteArray localDeletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return QByteArray(text, static_cast<qsizetype>(n));
}

// The name to use in files/: never a staging name, and short enough for the .trashinfo file.
QByteArray trashNameBase(const QByteArray& name, qsizetype suffixLength)
{
    QByteArray base = name;
    if (base.startsWith(XdgTrash::kStagingPrefix))
        base[0] = '_';
    const qsizetype limit = kMaxTrashName - suffixLength;
    if (base.size() > limit) {
        qsizetype cut = limit;
        // Do not split a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        base.truncate(cut);
    }
    return base;
}

// Whether a folder path names a trash's files/ folder on its mount (or the home one).
bool isFilesFolderResolved(const QByteArray& resolvedFolder)
{
    const std::optional<QByteArray> home = resolved(QFile::encodeName(XdgTrash::homeFilesFolder()));
    if (home && *home == resolvedFolder)
        return true;
    const QByteArray top = Mounts::topDirectoryOf(resolvedFolder);
    for (const QByteArray& candidate : XdgTrash::topDirectoryFilesFolders(top)) {
        const std::optional<QByteArray> real = resolved(candidate);
        if (real && *real == resolvedFolder)
            return true;
    }
    return false;
}

// The values of Path= and of the record key in the [Trash Info] group of a .trashinfo, as written
// (the first of a repeated key). Line ends may be CRLF; blanks around keys and values, comments
// and unknown keys are ignored.
struct InfoKeys
{
    std::optional<QByteArray> path;
    std::optional<QByteArray> record;
};

InfoKeys infoKeys(const QByteArray& info)
{
    InfoKeys keys;
    bool inGroup = false;
    for (const QByteArray& raw : info.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Trash Info]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inGroup || line.startsWith('#') || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        std::optional<QByteArray>* slot = key == "Path"                 ? &keys.path
                                          : key == XdgTrash::kRecordKey ? &keys.record
                                                                        : nullptr;
        if (slot != nullptr && !slot->has_value())
            *slot = line.mid(equals + 1).trimmed();
    }
    return keys;
}

// The path a Path= value names: percent-decoded, and joined to the drive's top folder when it is
// relative in a top-directory trash. Nothing when a relative path cannot be placed.
std::optional<QByteArray> infoOriginal(const QByteArray& value, const QByteArray& trash)
{
    const QByteArray path = QByteArray::fromPercentEncoding(value);
    if (path.startsWith('/'))
        return path;
    if (nameOf(trash).startsWith(".Trash-"))
        return PathParts::join(parentOf(trash), path);
    if (nameOf(parentOf(trash)) == ".Trash")
        return PathParts::join(parentOf(parentOf(trash)), path);
    return std::nullopt;
}

// Whether two texts name one path: equal once trailing slashes are dropped, or equal with the
// folder of `original` resolved (a top-directory trash records the resolved folder).
bool namesPath(const QByteArray& recorded, QByteArray original)
{
    original = PathParts::withoutTrailingSlashes(std::move(original));
    if (recorded == original)
        return true;
    const std::optional<QByteArray> folder = resolved(parentOf(original));
    return folder && PathParts::join(*folder, nameOf(original)) == recorded;
}

bool isDigits(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

namespace XdgTrash {

QString homeFilesFolder()
{
    return AppPaths::homeTrash() + QStringLiteral("/files");
}

QList<QByteArray> topDirectoryFilesFolders(const QByteArray& top)
{
    const QByteArray prefix = top == "/" ? QByteArray() : top;
    return {prefix + "/.Trash/" + uidText() + "/files", prefix + "/.Trash-" + uidText() + "/files"};
}

QByteArray encodePath(const QByteArray& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray encoded;
    encoded.reserve(path.size());
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            encoded.append(c);
        } else {
            encoded.append('%');
            encoded.append(hex[byte >> 4]);
            encoded.append(hex[byte & 0xF]);
        }
    }
    return encoded;
}

QByteArray infoContent(const QByteArray& encodedPath, const QByteArray& deletionDate,
                       const QString& recordId)
{
    QByteArray content =
        "[Trash Info]\nPath=" + encodedPath + "\nDeletionDate=" + deletionDate + '\n';
    if (!recordId.isEmpty())
        content += QByteArray(kRecordKey) + '=' + encodePath(recordId.toUtf8()) + '\n';
    return content;
}

QString trashItem(const QString& path, const QString& recordId)
{
    if (PathParts::holdsNul(path))
        throw BrimvaleError(QStringLiteral("Invalid path"), BrimvaleError::Kind::invalidPath);
    QByteArray item = QFile::encodeName(
        QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
    item = PathParts::withoutTrailingSlashes(std::move(item));
    const QByteArray name = nameOf(item);
    if (name.isEmpty() || name == "." || name == "..")
        failErrno(EINVAL);

    struct stat st
    {
    };
    if (::lstat(item.constData(), &st) != 0)
        failErrno(errno);
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode))
        failWith(QStringLiteral("Not a file or folder"));

    const std::optional<QByteArray> parent = resolved(parentOf(item));
    if (!parent)
        failErrno(errno);
    const Destination destination = destinationFor(st.st_dev, *parent);

    QByteArray originalPath = item;
    if (!destination.pathBase.isEmpty()) {
        const QByteArray full = PathParts::join(*parent, name);
        const QByteArray base = destination.pathBase == "/" ? QByteArray() : destination.pathBase;
        originalPath = full.mid(base.size() + 1);
    }
    const QByteArray info = infoContent(encodePath(originalPath), localDeletionDate(), recordId);

    for (int n = 1; n < 100000; ++n) {
        const QByteArray suffix = n == 1 ? QByteArray() : '.' + QByteArray::number(n);
        const QByteArray candidate = trashNameBase(name, suffix.size()) + suffix;
        const QByteArray infoPath = destination.root + "/info/" + candidate + ".trashinfo";
        UniqueFd fd(::open(infoPath.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.isValid()) {
            if (errno == EEXIST)
                continue;
            failErrno(errno);
        }
        int written = PosixIO::writeAll(fd.get(), info);
        if (const int closed = fd.close(); written == 0)
            written = closed;
        if (written != 0) {
            ::unlink(infoPath.constData());
            failErrno(written);
        }
        const QByteArray target = destination.root + "/files/" + candidate;
        const int error =
            PosixIO::renameNoReplace(QFile::decodeName(item), QFile::decodeName(target));
        if (error == 0)
            return QFile::decodeName(target);
        ::unlink(infoPath.constData());
        if (error != EEXIST)
            failErrno(error);
    }
    failErrno(EEXIST);
}

bool isItemOf(const QString& itemPath, const QString& originalPath, const QString& recordId,
              qint64 trashedAt)
{
    constexpr qint64 kTolerance = 10 * 60;
    if (PathParts::holdsNul(itemPath) || PathParts::holdsNul(originalPath))
        return false;
    const QString infoPath = infoPathOf(itemPath);
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(infoPath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const std::optional<QByteArray> info = PosixIO::readRegularFile(infoPath, 65536);
    if (!info)
        return false;
    const InfoKeys keys = infoKeys(*info);
    if (keys.record) {
        if (recordId.isEmpty() ||
            QByteArray::fromPercentEncoding(*keys.record) != recordId.toUtf8())
            return false;
    } else if (std::abs(qint64(st.st_mtime) - trashedAt) > kTolerance) {
        return false;
    }
    if (!keys.path)
        return false;
    const std::optional<QByteArray> recorded =
        infoOriginal(*keys.path, parentOf(parentOf(QFile::encodeName(itemPath))));
    return recorded && namesPath(*recorded, QFile::encodeName(originalPath));
}

bool isInTrash(const QString& itemPath)
{
    const QByteArray item = QFile::encodeName(itemPath);
    const QByteArray name = nameOf(item);
    if (!item.startsWith('/') || name.isEmpty() || name == "." || name == "..")
        return false;
    const std::optional<QByteArray> parent = resolved(parentOf(item));
    return parent && isFilesFolderResolved(*parent);
}

bool isTrashFilesFolder(const QString& folder)
{
    const std::optional<QByteArray> real = resolved(QFile::encodeName(folder));
    return real && isFilesFolderResolved(*real);
}

bool isUnreachable(const QString& itemPath)
{
    const QByteArray item = QFile::encodeName(itemPath);
    const QByteArray files = parentOf(item);
    if (nameOf(item).isEmpty() || nameOf(files) != "files")
        return false;
    const QByteArray trash = parentOf(files);
    const QByteArray trashName = nameOf(trash);
    const bool topTrash = (trashName.startsWith(".Trash-") && isDigits(trashName.mid(7))) ||
                          (isDigits(trashName) && nameOf(parentOf(trash)) == ".Trash");
    if (!topTrash)
        return false;
    struct stat st
    {
    };
    return ::lstat(files.constData(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

QString infoPathOf(const QString& itemPath)
{
    const QByteArray item = QFile::encodeName(itemPath);
    const QByteArray trash = parentOf(parentOf(item));
    return QFile::decodeName((trash == "/" ? QByteArray() : trash) + "/info/" + nameOf(item) +
                             ".trashinfo");
}

} // namespace XdgTrash

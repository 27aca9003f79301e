#pragma once

#include <QByteArray>
#include <QString>

// The desktop Trash as the freedesktop.org Trash standard lays it out: the home trash
// $XDG_DATA_HOME/Trash for items on its drive, and a trash in the top directory of every other
// drive ($topdir/.Trash/$uid or $topdir/.Trash-$uid). Each trash holds the items in files/ and
// one info/<name>.trashinfo per item saying where it came from and when it was deleted.
namespace XdgTrash {

// The start of names reserved in files/ for items being deleted for good; no item trashed here
// is given such a name (its first character becomes "_").
inline constexpr char kStagingPrefix[] = ".brimvale-deleting-";

// The key of Brimvale's own in a .trashinfo naming the id of the restore-log record the item
// belongs to; readers of the freedesktop.org Trash standard ignore keys they do not know.
inline constexpr char kRecordKey[] = "X-Brimvale-Record";

// Moves the item (a regular file, folder or symbolic link, which is trashed as a link on its own
// drive) into the trash of its drive: its .trashinfo is created first, then the item is renamed
// into files/ without replacing anything, moving on to "<name>.2", "<name>.3", … while a name is
// taken. A non-empty recordId is written in the .trashinfo under kRecordKey, percent-encoded like
// Path=. Returns the item's new path in files/. Nothing is ever copied. Throws BrimvaleError
// whose message is a short description: "Not a file or folder", "No usable Trash on its drive",
// or the system's description ("No such file or directory"); a path holding NUL is refused with
// "Invalid path" (kind invalidPath) before anything is touched.
[[nodiscard]] QString trashItem(const QString& path, const QString& recordId = {});

// Whether the item in a files/ folder belongs to the record `recordId`, which trashed it from
// originalPath at trashedAt (seconds since 1970): its .trashinfo is a regular file whose Path=
// (percent-decoded, relative to the drive's top folder in a top-directory trash) names
// originalPath, and whose kRecordKey names recordId; a .trashinfo without that key (an older one
// of Brimvale's, or another program's) must instead have been modified within ten minutes of
// trashedAt. An item of the same name trashed later, by another record or program, fails the test.
[[nodiscard]] bool isItemOf(const QString& itemPath, const QString& originalPath,
                            const QString& recordId, qint64 trashedAt);

// Whether the item's parent folder, resolved, is the files/ folder of the home trash or of a
// top-directory trash of the mount it lies on. The item itself is not resolved (it may be a link).
[[nodiscard]] bool isInTrash(const QString& itemPath);

// Whether the folder, resolved, is the files/ folder of the home trash or of a top-directory
// trash of its mount.
[[nodiscard]] bool isTrashFilesFolder(const QString& folder);

// Whether the path has the form {top}/.Trash-{uid}/files/{name} or {top}/.Trash/{uid}/files/{name}
// and that files/ folder does not exist now: the item is on a drive that is not connected.
[[nodiscard]] bool isUnreachable(const QString& itemPath);

// The .trashinfo file that belongs to an item in a files/ folder.
[[nodiscard]] QString infoPathOf(const QString& itemPath);

// The files/ folder of the home trash (not resolved, possibly missing).
[[nodiscard]] QString homeFilesFolder();

// The candidate files/ folders of the top-directory trashes of the top directory, whether or not
// they exist: {top}/.Trash/{uid}/files and {top}/.Trash-{uid}/files.
[[nodiscard]] QList<QByteArray> topDirectoryFilesFolders(const QByteArray& top);

// The value of a Path= key: every byte but A-Z a-z 0-9 - . _ ~ / as "%" and two upper-case
// hexadecimal digits.
[[nodiscard]] QByteArray encodePath(const QByteArray& path);

// The contents of a .trashinfo file; kRecordKey follows the standard keys unless recordId is empty.
[[nodiscard]] QByteArray infoContent(const QByteArray& encodedPath, const QByteArray& deletionDate,
                                     const QString& recordId = {});

} // namespace XdgTrash

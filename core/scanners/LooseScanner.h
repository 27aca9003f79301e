#pragma once

#include "model/SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// Loose model files in Downloads, Documents and Desktop.
namespace LooseScanner {

// Files whose path is in `excluding` (claimed by another source) are left out.
[[nodiscard]] SourceScan scan(const QSet<QString>& excluding);

// The Downloads, Documents and Desktop folders, in that order: each as the XDG user directories
// file names it, else by its English name. Each is given without trailing slashes.
[[nodiscard]] QStringList userFolders();

// The folders scan() walks: those of userFolders() that exist, are not the home itself, and do
// not lie in (or equal) another one walked; compared with links resolved.
[[nodiscard]] QStringList folders();

// The value of one XDG_<key>_DIR line of a user-dirs.dirs text ("$HOME/..." or absolute; a
// backslash keeps the next character), without trailing slashes; the last such line wins.
[[nodiscard]] std::optional<QString> userDirectory(const QByteArray& userDirsText,
                                                   const QByteArray& key, const QString& home);

} // namespace LooseScanner

#pragma once

#include <QString>

// Where the user's home is and where Brimvale and the desktop keep their files. Every call
// reads the environment afresh; nothing is created.
namespace AppPaths {

// The variable's value as a path; empty when it is unset, empty, or holds NUL.
[[nodiscard]] QString fromEnvironment(const char* name);
// The variable's value with `~` and variables expanded as Python tools expand such paths: a
// leading `~` (alone or before "/") becomes the home, then `$NAME` and `${NAME}` their values;
// a variable that is unset stays as written. Empty when unset, empty, or holding NUL.
[[nodiscard]] QString expandedFromEnvironment(const char* name);
// `~` and variables in `value` expanded as expandedFromEnvironment() does.
[[nodiscard]] QString expandPath(const QString& value);
// $HOME when set and not empty, else the home directory of the current user.
[[nodiscard]] QString home();
// ~/.brimvale: the custom folder list and the restore log.
[[nodiscard]] QString dataDir();
// $XDG_DATA_HOME when set to an absolute path, else ~/.local/share.
[[nodiscard]] QString xdgDataHome();
// $XDG_CACHE_HOME when set to an absolute path, else ~/.cache.
[[nodiscard]] QString xdgCacheHome();
// $XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
[[nodiscard]] QString xdgConfigHome();
// The home Trash of the freedesktop.org Trash standard: $XDG_DATA_HOME/Trash.
[[nodiscard]] QString homeTrash();
// $XDG_CACHE_HOME/brimvale: caches Brimvale can rebuild at any time.
[[nodiscard]] QString cacheDir();

} // namespace AppPaths

#pragma once

#include "fs/FileLock.h"

#include <QString>
#include <QStringList>

// The extra folders the user asked to have scanned, stored in "custom_paths.json" as a JSON array
// of strings. Every call goes to the file; add and remove hold the file's inter-process lock.
// Folders are compared without trailing slashes; each stored text is kept as it was given.
namespace CustomFolders {

// The path without trailing slashes ("/" stays "/").
[[nodiscard]] QString normalized(const QString& path);
// Whether the two texts name one folder once trailing slashes are removed from both.
[[nodiscard]] bool sameFolder(const QString& a, const QString& b);
// The stored folders, then the extra ones that name no folder already in the list, in order.
[[nodiscard]] QStringList withExtra(const QStringList& stored, const QStringList& extra);

// The stored list without elements holding NUL; empty when the file is missing, unreadable or not
// an array of strings.
[[nodiscard]] QStringList load();
// Appends the path unless it names a stored folder already (then nothing is written). Waits for
// another process's lock of the list as `wait` allows (FileLock).
void add(const QString& path, LockWait wait = std::nullopt);
// Removes every element naming the same folder as the path and writes the list, even when
// nothing changed. Waits as add does.
void remove(const QString& path, LockWait wait = std::nullopt);

} // namespace CustomFolders

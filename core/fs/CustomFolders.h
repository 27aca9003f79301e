#pragma once

#include <QString>
#include <QStringList>

// The extra folders the user asked to have scanned, stored in "custom_paths.json" as a JSON array
// of strings. Every call goes to the file; add and remove hold the file's inter-process lock.
namespace CustomFolders {

// The stored list without elements holding NUL; empty when the file is missing, unreadable or not
// an array of strings.
[[nodiscard]] QStringList load();
// Appends the path unless exactly that text is stored already (then nothing is written).
void add(const QString& path);
// Removes every element equal to the path and writes the list, even when nothing changed.
void remove(const QString& path);

} // namespace CustomFolders

#pragma once

#include <QString>

// Lets a test wait for the moment another thread or process blocks on a file lock, instead of
// waiting a fixed time and assuming it has.
namespace LockWaiters {

// Waits until some thread or process is blocked on a lock of the file (a "->" line of
// /proc/locks naming its inode); false after a minute without one.
[[nodiscard]] bool awaitWaiter(const QString& path);

} // namespace LockWaiters

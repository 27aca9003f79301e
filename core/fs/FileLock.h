#pragma once

#include "fs/UniqueFd.h"

#include <QString>
#include <chrono>
#include <optional>

// How long to wait for another process's lock: without a limit (the CLI), or up to a limit (the
// desktop, so a window never hangs behind another Brimvale).
using LockWait = std::optional<std::chrono::milliseconds>;

// An exclusive inter-process lock (flock) on a lock file, held for the object's lifetime. The
// lock file is created when missing and never deleted, so a killed holder leaves no stale lock.
class FileLock
{
public:
    // The wait the desktop program allows before telling the user to try again.
    static constexpr std::chrono::milliseconds desktopWait{10'000};

    // Blocks until the lock is held, or until `wait` runs out: then throws BrimvaleError of kind
    // busy with busyMessage. Throws BrimvaleError when the file cannot be created or locked.
    explicit FileLock(const QString& lockFilePath, LockWait wait = std::nullopt,
                      const QString& busyMessage = {});

    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept = default;

    // Creates the data directory and locks "<name>.lock" inside it.
    [[nodiscard]] static FileLock inDataDir(const QString& name, LockWait wait = std::nullopt,
                                            const QString& busyMessage = {});

private:
    UniqueFd m_fd; // closing it releases the lock
};

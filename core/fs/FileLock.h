#pragma once

#include <QString>

// An exclusive inter-process lock (flock) on a lock file, held for the object's lifetime. The
// lock file is created when missing and never deleted, so a killed holder leaves no stale lock.
class FileLock
{
public:
    // Blocks until the lock is held. Throws BrimvaleError when the file cannot be created.
    explicit FileLock(const QString& lockFilePath);
    ~FileLock();

    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates the data directory and locks "<name>.lock" inside it.
    [[nodiscard]] static FileLock inDataDir(const QString& name);

    FileLock(FileLock&& other) noexcept;

private:
    int m_fd = -1;
};

#pragma once

#include <QProcess>
#include <QString>

// A child process (python3) that holds a file open, or mapped with the descriptor closed, until
// the object goes away or release() is called.
class FileHolder
{
public:
    enum class How
    {
        open,
        mapped
    };

    FileHolder(const QString& path, How how);
    ~FileHolder() { release(); }

    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    // Whether the child holds the file now.
    [[nodiscard]] bool holding() const { return m_holding; }
    // The child's process name, as /proc/{pid}/comm gives it.
    [[nodiscard]] QString processName() const { return m_name; }
    // Ends the child and waits for it.
    void release();

private:
    QProcess m_child;
    QString m_name;
    bool m_holding = false;
};

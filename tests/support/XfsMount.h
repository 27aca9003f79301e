#pragma once

#include <QString>
#include <QTemporaryDir>

// A small XFS filesystem with block sharing (reflink), made in a sparse image file and
// loop-mounted for the object's lifetime. Needs root and mkfs.xfs; when either is missing or
// the kernel refuses the loop mount, mounted() is false and skipReason() says why.
class XfsMount
{
public:
    XfsMount();
    ~XfsMount();
    XfsMount(const XfsMount&) = delete;
    XfsMount& operator=(const XfsMount&) = delete;

    [[nodiscard]] bool mounted() const { return m_mounted; }
    [[nodiscard]] const QString& skipReason() const { return m_skipReason; }
    // The mount point.
    [[nodiscard]] QString path() const;

    // Makes `to` a copy of `from` that shares all of its blocks (FICLONE).
    static bool cloneFile(const QString& from, const QString& to);

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_skipReason;
};

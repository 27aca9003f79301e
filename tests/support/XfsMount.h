#pragma once

#include <QString>
#include <QTemporaryDir>

// A 320 MB XFS made in a sparse image file in a temporary folder and loop-mounted while the
// object lives (unmounted when it goes away, lazily when busy). Needs root and mkfs.xfs (Debian
// package xfsprogs); problem() tells why there is no mount. Tests using it carry the CTest
// RESOURCE_LOCK "loopmount".
class XfsMount
{
public:
    // With `reflink` the filesystem can share blocks between files (FIDEDUPERANGE).
    explicit XfsMount(bool reflink = true);
    ~XfsMount();

    XfsMount(const XfsMount&) = delete;
    XfsMount& operator=(const XfsMount&) = delete;

    // Empty when mounted, else why it is not.
    [[nodiscard]] const QString& problem() const { return m_problem; }
    [[nodiscard]] const QString& path() const { return m_path; }

    // Makes `to` a copy of `from` that shares all of its blocks (FICLONE).
    static bool cloneFile(const QString& from, const QString& to);

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_problem;
};

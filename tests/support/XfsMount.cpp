#include "XfsMount.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kImageBytes = 320LL * 1024 * 1024;

// Runs the program; the reason it failed, or nothing.
QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return program + QStringLiteral(" failed: ") +
               QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return {};
}

} // namespace

XfsMount::XfsMount()
{
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("mounting an XFS image needs root");
        return;
    }
    const QString mkfs = QStandardPaths::findExecutable(
        QStringLiteral("mkfs.xfs"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (mkfs.isEmpty()) {
        m_skipReason = QStringLiteral("mkfs.xfs is not installed (Debian package xfsprogs)");
        return;
    }
    const QString image = m_dir.filePath(QStringLiteral("xfs.img"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(kImageBytes)) {
        m_skipReason = QStringLiteral("cannot make the image file");
        return;
    }
    file.close();
    if (const QString failed = run(
            mkfs, {QStringLiteral("-q"), QStringLiteral("-m"), QStringLiteral("reflink=1"), image});
        !failed.isEmpty()) {
        m_skipReason = failed;
        return;
    }
    ::mkdir(QFile::encodeName(path()).constData(), 0755);
    if (const QString failed = run(QStringLiteral("mount"),
                                   {QStringLiteral("-o"), QStringLiteral("loop"), image, path()});
        !failed.isEmpty()) {
        m_skipReason = QStringLiteral("the loop mount was refused: ") + failed;
        return;
    }
    m_mounted = true;
}

XfsMount::~XfsMount()
{
    if (m_mounted && !run(QStringLiteral("umount"), {path()}).isEmpty())
        (void)run(QStringLiteral("umount"), {QStringLiteral("-l"), path()});
}

QString XfsMount::path() const
{
    return m_dir.filePath(QStringLiteral("mnt"));
}

bool XfsMount::cloneFile(const QString& from, const QString& to)
{
    const int source = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    const int target =
        ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool cloned = source >= 0 && target >= 0 && ::ioctl(target, FICLONE, source) == 0;
    if (source >= 0)
        ::close(source);
    if (target >= 0)
        ::close(target);
    return cloned;
}

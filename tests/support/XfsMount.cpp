#include "XfsMount.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Runs a system tool; its error output when it fails, else nothing.
std::optional<QString> runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return program + QStringLiteral(" did not run");
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
}

} // namespace

XfsMount::XfsMount(bool reflink)
{
    const QString mkfs = QStandardPaths::findExecutable(
        QStringLiteral("mkfs.xfs"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    const QString image = m_dir.path() + QStringLiteral("/xfs.img");
    m_path = m_dir.path() + QStringLiteral("/mnt");
    const QString feature = reflink ? QStringLiteral("reflink=1") : QStringLiteral("reflink=0");
    if (::geteuid() != 0)
        m_problem = QStringLiteral("A loop mount needs root");
    else if (mkfs.isEmpty())
        m_problem = QStringLiteral("mkfs.xfs is missing (Debian package xfsprogs)");
    else if (QFile file(image); !file.open(QIODevice::WriteOnly) || !file.resize(320 << 20))
        m_problem = QStringLiteral("No room for the XFS image");
    else if (const auto error =
                 runTool(mkfs, {QStringLiteral("-q"), QStringLiteral("-m"), feature, image}))
        m_problem = QStringLiteral("mkfs.xfs failed: ") + *error;
    else if (!QDir().mkpath(m_path))
        m_problem = QStringLiteral("No mount point");
    else if (const auto refused =
                 runTool(QStringLiteral("mount"),
                         {QStringLiteral("-o"), QStringLiteral("loop"), image, m_path}))
        m_problem = QStringLiteral("The loop mount was refused: ") + *refused;
}

XfsMount::~XfsMount()
{
    if (m_problem.isEmpty() && runTool(QStringLiteral("umount"), {m_path}))
        (void)runTool(QStringLiteral("umount"), {QStringLiteral("-l"), m_path});
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

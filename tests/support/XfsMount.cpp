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
        return program + u" did not run"_qs;
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
}

} // namespace

XfsMount::XfsMount(bool reflink)
{
    const QString mkfs =
        QStandardPaths::findExecutable(u"mkfs.xfs"_qs, {u"/usr/sbin"_qs, u"/sbin"_qs});
    const QString image = m_dir.path() + u"/xfs.img"_qs;
    m_path = m_dir.path() + u"/mnt"_qs;
    const QString feature = reflink ? u"reflink=1"_qs : u"reflink=0"_qs;
    if (::geteuid() != 0)
        m_problem = u"A loop mount needs root"_qs;
    else if (mkfs.isEmpty())
        m_problem = u"mkfs.xfs is missing (Debian package xfsprogs)"_qs;
    else if (QFile file(image); !file.open(QIODevice::WriteOnly) || !file.resize(320 << 20))
        m_problem = u"No room for the XFS image"_qs;
    else if (const auto error = runTool(mkfs, {u"-q"_qs, u"-m"_qs, feature, image}))
        m_problem = u"mkfs.xfs failed: "_qs + *error;
    else if (!QDir().mkpath(m_path))
        m_problem = u"No mount point"_qs;
    else if (const auto refused = runTool(u"mount"_qs, {u"-o"_qs, u"loop"_qs, image, m_path}))
        m_problem = u"The loop mount was refused: "_qs + *refused;
}

XfsMount::~XfsMount()
{
    if (m_problem.isEmpty() && runTool(u"umount"_qs, {m_path}))
        (void)runTool(u"umount"_qs, {u"-l"_qs, m_path});
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

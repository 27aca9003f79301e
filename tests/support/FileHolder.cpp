#include "FileHolder.h"

#include <QFile>

namespace {

// Holds the file, says "ready", and waits for its standard input to close.
constexpr char kScript[] = R"(import mmap, sys
f = open(sys.argv[1], 'rb')
if sys.argv[2] == 'mapped':
    m = mmap.mmap(f.fileno(), 0, prot=mmap.PROT_READ)
    f.close()
print('ready', flush=True)
sys.stdin.read()
)";

} // namespace

FileHolder::FileHolder(const QString& path, How how)
{
    m_child.start(u"python3"_qs, {u"-c"_qs, QString::fromLatin1(kScript), path,
                                  how == How::mapped ? u"mapped"_qs : u"open"_qs});
    if (!m_child.waitForStarted(30000))
        return;
    while (!m_child.canReadLine() && m_child.state() == QProcess::Running)
        m_child.waitForReadyRead(30000);
    m_holding = m_child.readLine() == "ready\n";
    QFile comm(u"/proc/%1/comm"_qs.arg(m_child.processId()));
    if (comm.open(QIODevice::ReadOnly))
        m_name = QString::fromUtf8(comm.readAll()).trimmed();
}

void FileHolder::release()
{
    if (m_child.state() == QProcess::NotRunning)
        return;
    m_child.closeWriteChannel();
    if (!m_child.waitForFinished(30000)) {
        m_child.kill();
        m_child.waitForFinished(30000);
    }
    m_holding = false;
}

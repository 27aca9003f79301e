#include "Fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Fixtures {

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size();
}

bool makeSparseFile(const QString& path, qint64 size, const QByteArray& head)
{
    QDir().mkpath(QFileInfo(path).path());
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const qsizetype n = std::min<qint64>(head.size(), size);
    bool ok = ::write(fd, head.constData(), static_cast<size_t>(n)) == n;
    ok = ok && ::ftruncate(fd, size) == 0;
    return ::close(fd) == 0 && ok;
}

bool writeAt(const QString& path, qint64 offset, const QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::pwrite(fd, bytes.constData(), static_cast<size_t>(bytes.size()),
                                        offset) == bytes.size();
    return fd >= 0 && ::close(fd) == 0 && ok;
}

bool modelFile(const QString& path, qint64 size, quint32 seed, const QByteArray& tail)
{
    return makeSparseFile(path, size, headBytes(seed)) &&
           (tail.isEmpty() || writeAt(path, size - 4096 - tail.size(), tail));
}

QByteArray headBytes(quint32 seed, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = seed * 2654435761U + 1;
    for (qsizetype i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<char>(state & 0xFF);
    }
    return bytes;
}

bool makeTree(const QString& root, const QStringList& lines)
{
    for (const QString& line : lines) {
        bool ok = true;
        if (line.contains(u"->"_qs)) {
            const qsizetype arrow = line.indexOf(u"->"_qs);
            const QString path = root + u'/' + line.left(arrow);
            QDir().mkpath(QFileInfo(path).path());
            ok = ::symlink(QFile::encodeName(line.mid(arrow + 2)).constData(),
                           QFile::encodeName(path).constData()) == 0;
        } else if (line.endsWith(u'/')) {
            ok = QDir().mkpath(root + u'/' + line);
        } else if (line.contains(u'=')) {
            const qsizetype eq = line.indexOf(u'=');
            ok = writeFile(root + u'/' + line.left(eq), line.mid(eq + 1).toUtf8());
        } else if (line.endsWith(u'|') || line.endsWith(u'!')) {
            const QString path = root + u'/' + line.chopped(1);
            QDir().mkpath(QFileInfo(path).path());
            const QByteArray name = QFile::encodeName(path);
            ok = line.endsWith(u'|') ? ::mkfifo(name.constData(), 0644) == 0
                                     : ::chmod(name.constData(), 0) == 0;
        } else if (line.contains(u':')) {
            const qsizetype colon = line.lastIndexOf(u':');
            ok = makeSparseFile(root + u'/' + line.left(colon), line.mid(colon + 1).toLongLong());
        } else {
            ok = writeFile(root + u'/' + line);
        }
        if (!ok)
            return false;
    }
    return true;
}

bool manyNames(const QString& folder, int count)
{
    const QByteArray first = QFile::encodeName(folder + u"/f0"_qs);
    if (!writeFile(QFile::decodeName(first)))
        return false;
    const QByteArray prefix = QFile::encodeName(folder + u"/f"_qs);
    for (int i = 1; i < count; ++i) {
        if (::link(first.constData(), QByteArray(prefix + QByteArray::number(i)).constData()) != 0)
            return false;
    }
    return true;
}

QStringList ollamaTag(const QString& home, const QString& name, const QString& tag, QChar digit,
                      qint64 size, const QByteArray& head)
{
    const QString config(64, u'c'), layer(64, digit);
    const QString store = home + u"/.ollama/models"_qs;
    const QStringList paths{
        store + u"/manifests/registry.ollama.ai/library/"_qs + name + u'/' + tag,
        store + u"/blobs/sha256-"_qs + config, store + u"/blobs/sha256-"_qs + layer};
    const QString manifest =
        u"{\"config\":{\"digest\":\"sha256:%1\",\"size\":2},\"layers\":[{"
        "\"mediaType\":\"application/vnd.ollama.image.model\",\"digest\":"
        "\"sha256:%2\",\"size\":%3}]}"_qs.arg(config, layer, QString::number(size));
    const bool ok = writeFile(paths[0], manifest.toUtf8()) && writeFile(paths[1], "{}") &&
                    makeSparseFile(paths[2], size, head);
    return ok ? paths : QStringList();
}

bool setModified(const QString& path, qint64 seconds)
{
    const timespec times[2] = {{static_cast<time_t>(seconds), 0},
                               {static_cast<time_t>(seconds), 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}

bool setAccessed(const QString& path, qint64 seconds, long nanoseconds)
{
    const timespec times[2] = {{static_cast<time_t>(seconds), nanoseconds}, {0, UTIME_OMIT}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}

qint64 accessedNs(const QString& path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_atim.tv_sec) * 1'000'000'000 + st.st_atim.tv_nsec;
}

bool isSymlink(const QString& path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool runUnprivileged(const std::function<bool()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        if (::getuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
        }
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace Fixtures

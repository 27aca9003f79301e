#include "TreeWriter.h"

#include "Random.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path)
{
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

std::string joined(const std::string& parent, std::string_view name)
{
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path.append(parent).append(1, '/').append(name);
    return path;
}

void times(int64_t mtime, timespec (&out)[2])
{
    out[0].tv_sec = static_cast<time_t>(mtime);
    out[0].tv_nsec = 0;
    out[1] = out[0];
}

void writeAll(int fd, const char* data, size_t size, const std::string& path)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write", path);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Closes a descriptor however the scope is left.
struct OwnedFd
{
    explicit OwnedFd(int fd) : fd(fd) {}
    ~OwnedFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    int fd;
};

} // namespace

TreeWriter::Counts& TreeWriter::Counts::operator+=(const Counts& other)
{
    directories += other.directories;
    files += other.files;
    symlinks += other.symlinks;
    bytes += other.bytes;
    writtenBytes += other.writtenBytes;
    return *this;
}

TreeWriter::Dir::~Dir()
{
    if (m_fd < 0)
        return;
    if (m_mtime >= 0) {
        timespec ts[2];
        times(m_mtime, ts);
        ::futimens(m_fd, ts); // the folder exists and is ours: nothing to report
    }
    ::close(m_fd);
}

TreeWriter::Dir::Dir(Dir&& other) noexcept
    : m_fd(other.m_fd), m_path(std::move(other.m_path)), m_mtime(other.m_mtime)
{
    other.m_fd = -1;
}

TreeWriter::Dir TreeWriter::open(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail("cannot open", path);
    return Dir(fd, path, -1);
}

TreeWriter::Dir TreeWriter::dir(const Dir& parent, std::string_view name, int64_t mtime)
{
    m_name.assign(name);
    if (::mkdirat(parent.fd(), m_name.c_str(), 0755) != 0)
        fail("cannot create folder", joined(parent.path(), name));
    const int fd =
        ::openat(parent.fd(), m_name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        fail("cannot open", joined(parent.path(), name));
    ++m_counts.directories;
    return Dir(fd, joined(parent.path(), name), mtime);
}

void TreeWriter::dir(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) != 0)
        fail("cannot create folder", path);
    ++m_counts.directories;
}

void TreeWriter::file(const Dir& parent, std::string_view name, std::string_view content,
                      int64_t mtime, int64_t size)
{
    m_name.assign(name);
    const OwnedFd fd(::openat(parent.fd(), m_name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.fd < 0)
        fail("cannot create", joined(parent.path(), name));
    const auto length = static_cast<int64_t>(content.size());
    if (length > 0)
        writeAll(fd.fd, content.data(), content.size(), joined(parent.path(), name));
    if (size > length && ::ftruncate(fd.fd, static_cast<off_t>(size)) != 0)
        fail("cannot extend", joined(parent.path(), name));
    timespec ts[2];
    times(mtime, ts);
    if (::futimens(fd.fd, ts) != 0)
        fail("cannot set the times of", joined(parent.path(), name));
    ++m_counts.files;
    m_counts.bytes += size > length ? size : length;
    m_counts.writtenBytes += length;
}

void TreeWriter::sparse(const Dir& parent, std::string_view name, int64_t size, uint64_t seed,
                        std::string_view magic, int64_t mtime, int64_t differAt)
{
    const int64_t headSize = size < kHeadSize ? size : kHeadSize;
    std::string head(static_cast<size_t>(headSize), '\0');
    Random random(seed);
    for (size_t i = 0; i < head.size(); i += 8) {
        const uint64_t word = random.next();
        std::memcpy(head.data() + i, &word, std::min<size_t>(8, head.size() - i));
    }
    std::memcpy(head.data(), magic.data(), std::min(magic.size(), head.size()));
    file(parent, name, head, mtime, size);
    if (differAt < headSize || differAt >= size)
        return;
    const std::string path = joined(parent.path(), name);
    const OwnedFd fd(::openat(parent.fd(), m_name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.fd < 0)
        fail("cannot open", path);
    const char byte = 1;
    if (::pwrite(fd.fd, &byte, 1, static_cast<off_t>(differAt)) != 1)
        fail("cannot write", path);
    timespec ts[2];
    times(mtime, ts);
    if (::futimens(fd.fd, ts) != 0)
        fail("cannot set the times of", path);
    ++m_counts.writtenBytes;
}

void TreeWriter::symlink(const Dir& parent, std::string_view name, const std::string& target,
                         int64_t mtime)
{
    m_name.assign(name);
    if (::symlinkat(target.c_str(), parent.fd(), m_name.c_str()) != 0)
        fail("cannot create symlink", joined(parent.path(), name));
    timespec ts[2];
    times(mtime, ts);
    if (::utimensat(parent.fd(), m_name.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0)
        fail("cannot set the times of", joined(parent.path(), name));
    ++m_counts.symlinks;
}

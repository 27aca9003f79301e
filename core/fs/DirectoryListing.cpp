#include "fs/DirectoryListing.h"

#include <cstddef>
#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

} // namespace

long DirectoryListing::fill(int fd)
{
    return ::syscall(SYS_getdents64, fd, m_buffer.data(), m_buffer.size());
}

DirectoryListing::Entry DirectoryListing::entryAt(long offset) const
{
    const char* base = m_buffer.data() + offset;
    const auto* entry = reinterpret_cast<const LinuxDirent64*>(base);
    return {base + offsetof(LinuxDirent64, d_name), entry->d_reclen, entry->d_type};
}

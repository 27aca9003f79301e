#pragma once

#include <cstring>
#include <string_view>
#include <vector>

// Lists an open folder with getdents64, handing out each name (never "." or "..") with its
// d_type. One buffer per instance; reuse an instance for many folders on one thread.
class DirectoryListing
{
public:
    DirectoryListing() : m_buffer(64 * 1024) {}

    // Calls each(name, d_type) for every entry. Returns false when the listing failed (the
    // names already handed out stay handed out).
    template <typename Each> bool read(int fd, Each&& each)
    {
        for (;;) {
            const long n = fill(fd);
            if (n <= 0)
                return n == 0;
            long offset = 0;
            while (offset < n) {
                const Entry entry = entryAt(offset);
                offset += entry.length;
                const char* name = entry.name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
                each(std::string_view(name, std::strlen(name)), entry.type);
            }
        }
    }

private:
    struct Entry
    {
        const char* name;
        unsigned short length;
        unsigned char type;
    };

    long fill(int fd);
    [[nodiscard]] Entry entryAt(long offset) const;

    std::vector<char> m_buffer;
};

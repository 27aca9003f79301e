#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Creates folders, files and symlinks relative to open folders with the *at() calls, sets every
// entry's times to fixed values and counts what it made. One writer per thread. Every failure
// throws std::runtime_error naming the path: a generated tree is either complete or reported.
class TreeWriter
{
public:
    struct Counts
    {
        int64_t directories = 0;
        int64_t files = 0;
        int64_t symlinks = 0;
        int64_t bytes = 0;        // apparent size of the regular files
        int64_t writtenBytes = 0; // bytes really written (the rest are holes)

        [[nodiscard]] int64_t entries() const { return directories + files + symlinks; }
        Counts& operator+=(const Counts& other);
    };

    // An open folder. When it is closed its times are set, after everything inside it was made
    // (making an entry changes the folder's modification time).
    class Dir
    {
    public:
        Dir(int fd, std::string path, int64_t mtime)
            : m_fd(fd), m_path(std::move(path)), m_mtime(mtime)
        {}
        ~Dir();
        Dir(Dir&& other) noexcept;
        Dir(const Dir&) = delete;
        Dir& operator=(const Dir&) = delete;
        Dir& operator=(Dir&&) = delete;

        [[nodiscard]] int fd() const { return m_fd; }
        [[nodiscard]] const std::string& path() const { return m_path; }

    private:
        int m_fd = -1;
        std::string m_path;
        int64_t m_mtime = -1; // below 0: leave the times alone
    };

    // Opens an existing folder without ever changing its times.
    static Dir open(const std::string& path);

    Dir dir(const Dir& parent, std::string_view name, int64_t mtime);

    // A folder by its full path, whose parent exists; its times are left to the caller.
    void dir(const std::string& path);

    // A regular file holding the content; when size is larger the rest is a hole.
    void file(const Dir& parent, std::string_view name, std::string_view content, int64_t mtime,
              int64_t size = -1);

    // A sparse file whose first 64 KiB (or its whole size, when smaller) are deterministic bytes
    // derived from the seed, beginning with the magic; the rest is a hole. Equal seeds, magics and
    // sizes give identical files. With differAt, one byte there is written too, giving a file
    // that only a full comparison tells apart from its twin.
    void sparse(const Dir& parent, std::string_view name, int64_t size, uint64_t seed,
                std::string_view magic, int64_t mtime, int64_t differAt = -1);

    void symlink(const Dir& parent, std::string_view name, const std::string& target,
                 int64_t mtime);

    [[nodiscard]] const Counts& counts() const { return m_counts; }

    static constexpr int64_t kHeadSize = 64 * 1024;

private:
    Counts m_counts;
    std::string m_name; // reused buffer for NUL-terminated names
};

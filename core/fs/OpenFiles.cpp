#include "fs/OpenFiles.h"

#include "fs/DirectoryListing.h"
#include "fs/UniqueFd.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using OpenFiles::FileKey;

// The whole content of a /proc file (their sizes read as 0, so read until the end).
bool readAll(int dir, const char* name, std::string& into)
{
    into.clear();
    const UniqueFd fd(::openat(dir, name, O_RDONLY | O_CLOEXEC));
    if (!fd.isValid())
        return false;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        into.append(buffer, static_cast<size_t>(n));
    }
}

std::optional<int> pidOf(std::string_view name)
{
    int pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || end != name.data() + name.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

// Skips one blank-separated field of a maps line; false when the line ends first.
bool skipField(std::string_view& line)
{
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return false;
    line.remove_prefix(blank);
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    return true;
}

class Search
{
public:
    explicit Search(const QSet<FileKey>& files) : m_files(files)
    {
        for (const FileKey& key : files)
            m_inodes.insert(key.inode);
    }

    // Names below the /proc folder ("{pid}/fd"), so no folder of the process is opened.
    void process(int procDir, int pid)
    {
        const std::string prefix = std::to_string(pid) + '/';
        descriptors(procDir, (prefix + "fd").c_str(), pid);
        mappings(procDir, (prefix + "maps").c_str(), pid);
    }

    // Takes in what another search of other processes found.
    void merge(const Search& other)
    {
        for (auto it = other.m_lowest.cbegin(); it != other.m_lowest.cend(); ++it)
            lower(it.key(), it.value());
    }

    QHash<FileKey, OpenFiles::Holder> names(int procDir) const
    {
        QHash<FileKey, OpenFiles::Holder> result;
        QHash<int, QString> commands;
        for (auto it = m_lowest.cbegin(); it != m_lowest.cend(); ++it) {
            const int pid = it.value();
            if (!commands.contains(pid)) {
                std::string comm;
                const std::string path = std::to_string(pid) + "/comm";
                readAll(procDir, path.c_str(), comm);
                while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0'))
                    comm.pop_back();
                commands.insert(pid, QString::fromUtf8(comm.data(), qsizetype(comm.size())));
            }
            result.insert(it.key(), OpenFiles::Holder{pid, commands.value(pid)});
        }
        return result;
    }

private:
    void found(const struct stat& st, int pid)
    {
        if (!S_ISREG(st.st_mode))
            return;
        const FileKey key{quint64(st.st_dev), quint64(st.st_ino)};
        if (m_files.contains(key))
            lower(key, pid);
    }

    void lower(const FileKey& key, int pid)
    {
        auto it = m_lowest.find(key);
        if (it == m_lowest.end())
            m_lowest.insert(key, pid);
        else
            it.value() = std::min(it.value(), pid);
    }

    void descriptors(int dir, const char* name, int pid)
    {
        const UniqueFd fds(::openat(dir, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fds.isValid())
            return;
        m_listing.read(fds.get(), [&](std::string_view name, unsigned char) {
            m_name.assign(name);
            struct stat st
            {
            };
            if (::fstatat(fds.get(), m_name.c_str(), &st, 0) == 0)
                found(st, pid);
        });
    }

    // "start-end perms offset major:minor inode   path": only lines whose inode is a file's.
    void mappings(int dir, const char* name, int pid)
    {
        if (!readAll(dir, name, m_maps))
            return;
        std::string_view rest(m_maps);
        while (!rest.empty()) {
            const size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            if (!skipField(line) || !skipField(line) || !skipField(line) || !skipField(line))
                continue;
            quint64 inode = 0;
            const auto [after, error] =
                std::from_chars(line.data(), line.data() + line.size(), inode);
            if (error != std::errc() || inode == 0 || !m_inodes.contains(inode))
                continue;
            line.remove_prefix(size_t(after - line.data()));
            while (!line.empty() && line.front() == ' ')
                line.remove_prefix(1);
            if (line.empty() || line.front() != '/')
                continue;
            m_name.assign(line);
            struct stat st
            {
            };
            if (::stat(m_name.c_str(), &st) == 0 && quint64(st.st_ino) == inode)
                found(st, pid);
        }
    }

    const QSet<FileKey>& m_files;
    QSet<quint64> m_inodes;
    QHash<FileKey, int> m_lowest;
    DirectoryListing m_listing;
    std::string m_maps;
    std::string m_name;
};

} // namespace

namespace OpenFiles {

QHash<FileKey, Holder> holders(const QSet<FileKey>& files, const QString& procRoot)
{
    if (files.isEmpty())
        return {};
    const UniqueFd proc(
        ::open(QFile::encodeName(procRoot).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc.isValid())
        return {};
    std::vector<int> pids;
    DirectoryListing listing;
    listing.read(proc.get(), [&](std::string_view name, unsigned char) {
        if (const std::optional<int> pid = pidOf(name))
            pids.push_back(*pid);
    });
    const int self = static_cast<int>(::getpid());
    // The kernel's formatting of each process's maps is most of the cost: the processes are
    // shared out among a few threads, each taking every n-th one.
    const size_t threads = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<Search> searches(threads, Search(files));
    const auto share = [&](size_t first) {
        for (size_t i = first; i < pids.size(); i += threads) {
            if (pids[i] != self)
                searches[first].process(proc.get(), pids[i]);
        }
    };
    std::vector<std::jthread> workers;
    for (size_t t = 1; t < threads; ++t)
        workers.emplace_back(share, t);
    share(0);
    workers.clear();
    for (size_t t = 1; t < threads; ++t)
        searches[0].merge(searches[t]);
    return searches[0].names(proc.get());
}

} // namespace OpenFiles

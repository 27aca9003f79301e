#include "fs/DirectoryWalker.h"

#include "fs/AppPaths.h"
#include "fs/DirectoryListing.h"
#include "fs/PathBytes.h"

#include <QFile>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// An open folder whose subfolders are still waiting to be opened relative to it.
struct DirHandle
{
    explicit DirHandle(int fd, std::atomic<int>& held) : fd(fd), held(held) {}
    ~DirHandle()
    {
        ::close(fd);
        held.fetch_sub(1, std::memory_order_relaxed);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    int fd;
    std::atomic<int>& held;
};

struct Job
{
    std::shared_ptr<DirHandle> parent; // absent: open by the full path
    std::string path;
    size_t nameOffset = 0; // where the folder's own name starts in path
    int level = 0;         // level of the folder itself; the root is 0
    bool pathIsUtf8 = true;
};

bool isTransientOpenError(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

class Walk
{
public:
    Walk(const WalkOptions& options, WalkVisitor& visitor) : m_options(options), m_visitor(visitor)
    {
        m_threads = options.threads > 0 ? options.threads : DirectoryWalker::defaultThreads();
        rlimit limit{};
        const rlim_t soft = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 1024;
        m_maxHeld = static_cast<int>(std::max<rlim_t>(8, std::min<rlim_t>(256, soft / 4)));
        if (options.skipTrash) {
            struct stat st
            {
            };
            const QByteArray trash = QFile::encodeName(AppPaths::homeTrash());
            if (::stat(trash.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
                m_trashDevice = st.st_dev;
                m_trashInode = st.st_ino;
                m_hasHomeTrash = true;
            }
        }
    }

    WalkStats run(std::string root)
    {
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
        if (root.empty())
            return {};
        const bool rootIsUtf8 = PathBytes::isValidUtf8(root);
        if (root == "/")
            root.clear(); // children are "/name"
        Job first;
        first.path = root;
        first.nameOffset = root.size();
        first.level = 0;
        first.pathIsUtf8 = rootIsUtf8;
        m_stack.push_back(std::move(first));
        m_rootPending = true;
        work();
        for (std::thread& thread : m_workers)
            thread.join();
        return {m_entries.load(), m_directories.load()};
    }

private:
    void work()
    {
        DirectoryListing listing;
        std::string filePath;
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return !m_stack.empty() || m_active == 0; });
                if (m_stack.empty())
                    return;
                job = std::move(m_stack.back());
                m_stack.pop_back();
                ++m_active;
            }
            process(job, listing, filePath);
            {
                std::lock_guard lock(m_mutex);
                --m_active;
                if (m_active == 0 && m_stack.empty())
                    m_wake.notify_all();
            }
        }
    }

    int openFolder(const Job& job, bool isRoot)
    {
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW);
        for (int attempt = 0;; ++attempt) {
            int fd = -1;
            if (isRoot)
                fd = ::open(job.path.empty() ? "/" : job.path.c_str(), flags);
            else if (job.parent)
                fd = ::openat(job.parent->fd, job.path.c_str() + job.nameOffset, flags);
            else
                fd = ::open(job.path.c_str(), flags);
            if (fd >= 0 || !isTransientOpenError(errno) || attempt >= 2000)
                return fd;
            // Out of descriptors or memory for now: wait for other folders to close.
            std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? 1 : 5));
        }
    }

    void process(Job& job, DirectoryListing& listing, std::string& filePath)
    {
        bool isRoot = false;
        {
            std::lock_guard lock(m_mutex);
            isRoot = m_rootPending;
            m_rootPending = false;
        }
        const int fd = openFolder(job, isRoot);
        const int openError = errno;
        job.parent.reset();
        if (fd < 0) {
            m_visitor.folderFailed(job.path.empty() ? std::string_view("/") : job.path, openError);
            return;
        }
        if (m_hasHomeTrash && !isRoot) {
            struct stat st
            {
            };
            if (::fstat(fd, &st) == 0 && st.st_dev == m_trashDevice && st.st_ino == m_trashInode) {
                ::close(fd);
                return;
            }
        }
        m_directories.fetch_add(1, std::memory_order_relaxed);
        m_held.fetch_add(1, std::memory_order_relaxed);
        auto handle = std::make_shared<DirHandle>(fd, m_held);

        const int childLevel = job.level + 1;
        const std::optional<DepthRange>& depth = m_options.depth;
        const bool wantFiles = !depth || (childLevel >= depth->lower && childLevel <= depth->upper);
        const bool enterFolders = !depth || childLevel < depth->upper;
        std::vector<Job> children;
        qint64 entries = 0;

        const bool wantLinks = m_options.reportSymlinks && wantFiles;
        const bool listed = listing.read(fd, [&](std::string_view name, unsigned char type) {
            ++entries;
            if (m_options.skipHidden && name.front() == '.')
                return;
            if (type == DT_LNK && !wantLinks)
                return;
            struct stat st
            {
            };
            bool haveStat = false;
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                    return;
                haveStat = true;
                type = S_ISDIR(st.st_mode)   ? DT_DIR
                       : S_ISREG(st.st_mode) ? DT_REG
                       : S_ISLNK(st.st_mode) ? DT_LNK
                                             : DT_UNKNOWN;
            }
            if (type == DT_LNK) {
                if (wantLinks)
                    reportSymlink(fd, job, name, childLevel, haveStat ? &st : nullptr, filePath);
                return;
            }
            if (type == DT_DIR) {
                if (!enterFolders || (m_options.skipTrash && PathBytes::isTrashName(name)))
                    return;
                Job child;
                child.path.reserve(job.path.size() + 1 + name.size());
                child.path.append(job.path).append(1, '/');
                child.nameOffset = child.path.size();
                child.path.append(name);
                child.level = childLevel;
                child.pathIsUtf8 = job.pathIsUtf8 && PathBytes::isValidUtf8(name);
                children.push_back(std::move(child));
                return;
            }
            if (type != DT_REG || !wantFiles)
                return;
            filePath.assign(job.path).append(1, '/');
            const size_t nameStart = filePath.size();
            filePath.append(name);
            if (!haveStat &&
                ::fstatat(fd, filePath.c_str() + nameStart, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return; // vanished or unreadable metadata: skipped
            if (!S_ISREG(st.st_mode))
                return;
            m_visitor.visit(walked(filePath, nameStart, childLevel, st, job.pathIsUtf8));
        });
        const int listError = errno;
        m_entries.fetch_add(entries, std::memory_order_relaxed);
        if (!listed)
            m_visitor.folderFailed(job.path.empty() ? std::string_view("/") : job.path, listError);

        if (children.empty())
            return;
        // Keep this folder open for its children unless the walk already holds many folders.
        const bool keep = m_held.load(std::memory_order_relaxed) <= m_maxHeld;
        for (Job& child : children) {
            if (keep)
                child.parent = handle;
        }
        handle.reset();
        pushChildren(children);
    }

    void reportSymlink(int fd, const Job& job, std::string_view name, int level,
                       const struct stat* known, std::string& linkPath)
    {
        linkPath.assign(job.path).append(1, '/');
        const size_t nameStart = linkPath.size();
        linkPath.append(name);
        struct stat st
        {
        };
        if (known != nullptr)
            st = *known;
        else if (::fstatat(fd, linkPath.c_str() + nameStart, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return;
        if (!S_ISLNK(st.st_mode))
            return;
        m_visitor.visitSymlink(walked(linkPath, nameStart, level, st, job.pathIsUtf8));
    }

    // What the visitor is told of one entry whose name starts at nameStart in path.
    static WalkedFile walked(const std::string& path, size_t nameStart, int level,
                             const struct stat& st, bool folderIsUtf8)
    {
        WalkedFile entry;
        entry.path = path;
        entry.name = std::string_view(path).substr(nameStart);
        entry.level = level;
        entry.size = st.st_size;
        entry.modifiedSeconds = st.st_mtim.tv_sec;
        entry.modifiedNanoseconds = static_cast<qint32>(st.st_mtim.tv_nsec);
        entry.device = st.st_dev;
        entry.inode = st.st_ino;
        entry.pathIsUtf8 = folderIsUtf8 && PathBytes::isValidUtf8(entry.name);
        return entry;
    }

    void pushChildren(std::vector<Job>& children)
    {
        std::lock_guard lock(m_mutex);
        // Reverse, so the stack hands them out in listing order.
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            m_stack.push_back(std::move(*it));
        if (static_cast<int>(m_workers.size()) + 1 < m_threads && m_stack.size() > 1 &&
            idleWorkers() == 0)
            startWorker();
        m_wake.notify_all();
    }

    // Adds a worker thread; when none can be started the walk goes on with those it has.
    void startWorker()
    {
        try {
            m_workers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            m_threads = static_cast<int>(m_workers.size()) + 1;
        }
    }

    // Workers waiting for a job (caller holds the mutex).
    int idleWorkers() const { return static_cast<int>(m_workers.size()) + 1 - m_active; }

    const WalkOptions& m_options;
    WalkVisitor& m_visitor;
    int m_threads = 2;
    int m_maxHeld = 256;
    bool m_hasHomeTrash = false;
    bool m_rootPending = false;
    dev_t m_trashDevice = 0;
    ino_t m_trashInode = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Job> m_stack;
    std::vector<std::thread> m_workers;
    int m_active = 0;
    std::atomic<int> m_held{0};
    std::atomic<qint64> m_entries{0};
    std::atomic<qint64> m_directories{0};
};

} // namespace

WalkStats DirectoryWalker::walk(const QString& root, const WalkOptions& options,
                                WalkVisitor& visitor)
{
    const QByteArray bytes = QFile::encodeName(root);
    return walk(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), options,
                visitor);
}

WalkStats DirectoryWalker::walk(const std::string& root, const WalkOptions& options,
                                WalkVisitor& visitor)
{
    Walk walk(options, visitor);
    return walk.run(root);
}

int DirectoryWalker::defaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 2U, 4U));
}

#include "fs/DirectoryWalker.h"

#include "fs/AppPaths.h"
#include "fs/DirectoryListing.h"
#include "fs/PathBytes.h"
#include "fs/UniqueFd.h"
#include "fs/WalkScope.h"
#include "model/StopToken.h"

#include <QFile>
#include <atomic>
#include <cerrno>
#include <climits>
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
#include <utility>
#include <vector>

namespace {

// An open folder whose subfolders are still waiting to be opened relative to it.
struct DirHandle
{
    DirHandle(UniqueFd fd, std::atomic<int>& held) : fd(std::move(fd)), held(held) {}
    ~DirHandle()
    {
        fd.close(); // before the count drops, so the walk never holds more than it counts
        held.fetch_sub(1, std::memory_order_relaxed);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    UniqueFd fd;
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
    Walk(const WalkOptions& options, WalkVisitor& visitor)
        : m_options(options), m_visitor(visitor),
          m_stop(options.stop != nullptr ? options.stop : WalkScope::stop()),
          m_entriesSeen(options.entriesSeen != nullptr ? options.entriesSeen
                                                       : WalkScope::entriesSeen())
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
        return {m_entries.load(), m_directories.load(), m_symlinks.load()};
    }

private:
    void work()
    {
        DirectoryListing listing;
        std::string path;
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] {
                    dropQueueIfStopped();
                    return !m_stack.empty() || m_active == 0;
                });
                if (m_stack.empty())
                    return;
                job = std::move(m_stack.back());
                m_stack.pop_back();
                ++m_active;
            }
            process(job, listing, path);
            {
                std::lock_guard lock(m_mutex);
                --m_active;
                if (m_active == 0 && m_stack.empty())
                    m_wake.notify_all();
            }
        }
    }

    [[nodiscard]] bool stopRequested() const { return StopToken::requested(m_stop); }

    // Once a stop is requested no waiting folder is opened (caller holds the mutex).
    void dropQueueIfStopped()
    {
        if (!m_stack.empty() && stopRequested())
            m_stack.clear();
    }

    // One folder: open it, list it, report its files and queue its subfolders.
    void process(Job& job, DirectoryListing& listing, std::string& path)
    {
        std::shared_ptr<DirHandle> handle = enter(job, takeRoot());
        if (!handle)
            return;
        Folder folder = folderOf(job, handle->fd.get());
        list(folder, listing, path);
        queueChildren(folder.children, std::move(handle));
    }

    // Whether the job about to be processed is the root (only the first one is).
    bool takeRoot()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_rootPending, false);
    }

    // Opens the job's folder; nothing when it cannot be opened (reported) or is the home Trash.
    std::shared_ptr<DirHandle> enter(Job& job, bool isRoot)
    {
        UniqueFd fd(openFolder(job, isRoot));
        const int openError = errno;
        job.parent.reset();
        if (!fd.isValid()) {
            m_visitor.folderFailed(job.path.empty() ? std::string_view("/") : job.path, openError);
            return nullptr;
        }
        if (!isRoot && isHomeTrash(fd.get()))
            return nullptr;
        m_directories.fetch_add(1, std::memory_order_relaxed);
        m_held.fetch_add(1, std::memory_order_relaxed);
        return std::make_shared<DirHandle>(std::move(fd), m_held);
    }

    int openFolder(const Job& job, bool isRoot)
    {
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW);
        for (int attempt = 0;; ++attempt) {
            int fd = -1;
            if (isRoot)
                fd = ::open(job.path.empty() ? "/" : job.path.c_str(), flags);
            else if (job.parent)
                fd = ::openat(job.parent->fd.get(), job.path.c_str() + job.nameOffset, flags);
            else
                fd = ::open(job.path.c_str(), flags);
            if (fd >= 0 || !isTransientOpenError(errno) || attempt >= 2000)
                return fd;
            // Out of descriptors or memory for now: wait for other folders to close.
            std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? 1 : 5));
        }
    }

    bool isHomeTrash(int fd) const
    {
        if (!m_hasHomeTrash)
            return false;
        struct stat st
        {
        };
        return ::fstat(fd, &st) == 0 && st.st_dev == m_trashDevice && st.st_ino == m_trashInode;
    }

    // What the entries of one open folder share while it is listed.
    struct Folder
    {
        const Job& job;
        int fd;
        int childLevel;
        bool wantFiles;    // its entries lie within the depth range
        bool wantLinks;    // symlinks among them are reported
        bool enterFolders; // its subfolders are walked
        std::vector<Job> children = {};
        qint64 symlinks = 0; // links among its entries within the depth range
    };

    Folder folderOf(const Job& job, int fd) const
    {
        const int childLevel = job.level + 1;
        const std::optional<DepthRange>& depth = m_options.depth;
        const bool wantFiles = !depth || (childLevel >= depth->lower && childLevel <= depth->upper);
        return {job,
                fd,
                childLevel,
                wantFiles,
                m_options.reportSymlinks && wantFiles,
                !depth || childLevel < depth->upper};
    }

    // Hands every entry of the folder to entry(), and counts them. A large folder stops being
    // looked at once a stop is requested.
    void list(Folder& folder, DirectoryListing& listing, std::string& path)
    {
        qint64 entries = 0;
        bool stopped = false;
        const bool listed = listing.read(folder.fd, [&](std::string_view name, unsigned char type) {
            if (++entries % kStopCheckEvery == 0 && !stopped)
                stopped = stopRequested();
            if (!stopped)
                entry(folder, name, type, path);
        });
        const int listError = errno;
        m_entries.fetch_add(entries, std::memory_order_relaxed);
        m_symlinks.fetch_add(folder.symlinks, std::memory_order_relaxed);
        if (m_entriesSeen != nullptr)
            m_entriesSeen->fetch_add(entries, std::memory_order_relaxed);
        if (!listed) {
            const std::string& failed = folder.job.path;
            m_visitor.folderFailed(failed.empty() ? std::string_view("/") : failed, listError);
        }
    }

    void entry(Folder& folder, std::string_view name, unsigned char type, std::string& path)
    {
        if (m_options.skipHidden && name.front() == '.')
            return;
        if (type == DT_LNK) {
            folder.symlinks += folder.wantFiles ? 1 : 0;
            if (!folder.wantLinks)
                return;
        }
        struct stat st
        {
        };
        bool haveStat = false;
        if (type == DT_UNKNOWN) {
            if (::fstatat(folder.fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            haveStat = true;
            type = S_ISDIR(st.st_mode)   ? DT_DIR
                   : S_ISREG(st.st_mode) ? DT_REG
                   : S_ISLNK(st.st_mode) ? DT_LNK
                                         : DT_UNKNOWN;
            folder.symlinks += type == DT_LNK && folder.wantFiles ? 1 : 0;
        }
        if (type == DT_DIR) {
            if (folder.enterFolders && !(m_options.skipTrash && PathBytes::isTrashName(name)))
                folder.children.push_back(childJob(folder.job, name));
            return;
        }
        if ((type == DT_LNK && folder.wantLinks) || (type == DT_REG && folder.wantFiles))
            report(folder, name, type == DT_LNK, haveStat ? &st : nullptr, path);
    }

    static Job childJob(const Job& parent, std::string_view name)
    {
        Job child;
        child.path.reserve(parent.path.size() + 1 + name.size());
        child.path.append(parent.path).append(1, '/');
        child.nameOffset = child.path.size();
        child.path.append(name);
        child.level = parent.level + 1;
        child.pathIsUtf8 = parent.pathIsUtf8 && PathBytes::isValidUtf8(name);
        return child;
    }

    // Tells the visitor of a regular file or a symlink, reading its metadata unless known.
    void report(const Folder& folder, std::string_view name, bool isLink, const struct stat* known,
                std::string& path)
    {
        path.assign(folder.job.path).append(1, '/');
        const size_t nameStart = path.size();
        path.append(name);
        struct stat st
        {
        };
        if (isLink && m_options.readLinkTargets) {
            reportLinkTarget(folder, path, nameStart);
            return;
        }
        if (known != nullptr)
            st = *known;
        else if (::fstatat(folder.fd, path.c_str() + nameStart, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return; // vanished or unreadable metadata: skipped
        if (isLink ? !S_ISLNK(st.st_mode) : !S_ISREG(st.st_mode))
            return;
        const WalkedFile file =
            walked(path, nameStart, folder.childLevel, st, folder.job.pathIsUtf8);
        if (isLink)
            m_visitor.visitSymlink(file);
        else
            m_visitor.visit(file);
    }

    // Tells the visitor of a symlink with its target; one that cannot be read is skipped.
    void reportLinkTarget(const Folder& folder, const std::string& path, size_t nameStart)
    {
        char target[PATH_MAX];
        const ssize_t length =
            ::readlinkat(folder.fd, path.c_str() + nameStart, target, sizeof target);
        if (length < 0 || static_cast<size_t>(length) >= sizeof target)
            return;
        WalkedFile link;
        link.path = path;
        link.name = std::string_view(path).substr(nameStart);
        link.level = folder.childLevel;
        link.pathIsUtf8 = folder.job.pathIsUtf8 && PathBytes::isValidUtf8(link.name);
        link.linkTarget = std::string_view(target, static_cast<size_t>(length));
        m_visitor.visitSymlink(link);
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
        entry.accessedSeconds = st.st_atim.tv_sec;
        entry.accessedNanoseconds = static_cast<qint32>(st.st_atim.tv_nsec);
        entry.device = st.st_dev;
        entry.inode = st.st_ino;
        entry.pathIsUtf8 = folderIsUtf8 && PathBytes::isValidUtf8(entry.name);
        return entry;
    }

    // Queues the subfolders, keeping this folder open for them unless the walk already holds
    // many folders.
    void queueChildren(std::vector<Job>& children, std::shared_ptr<DirHandle> handle)
    {
        if (children.empty())
            return;
        if (m_held.load(std::memory_order_relaxed) <= m_maxHeld) {
            for (Job& child : children)
                child.parent = handle;
        }
        handle.reset();
        pushChildren(children);
    }

    void pushChildren(std::vector<Job>& children)
    {
        std::lock_guard lock(m_mutex);
        if (stopRequested())
            return;
        // Reverse, so the stack hands them out in listing order. (clang 14 cannot read
        // libstdc++ 12's std::views::reverse.)
        // NOLINTNEXTLINE(modernize-loop-convert)
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

    // Names listed between two looks at the stop token within one folder.
    static constexpr qint64 kStopCheckEvery = 1024;

    const WalkOptions& m_options;
    WalkVisitor& m_visitor;
    const StopToken* m_stop;
    std::atomic<qint64>* m_entriesSeen;
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
    std::atomic<qint64> m_symlinks{0};
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
    if (StopToken::requested(options.stop != nullptr ? options.stop : WalkScope::stop()))
        return {};
    Walk walk(options, visitor);
    return walk.run(root);
}

int DirectoryWalker::defaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 2U, 4U));
}

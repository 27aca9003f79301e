#include "HomeGenerator.h"

#include "EditorCaches.h"
#include "HomePlan.h"
#include "HuggingFaceCache.h"
#include "ModelFolders.h"
#include "OllamaStore.h"
#include "UserFolders.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

// Creates the root and missing folders above it; an existing root must be an empty folder.
void prepareRoot(const std::string& root)
{
    for (size_t slash = root.find('/', 1); slash != std::string::npos;
         slash = root.find('/', slash + 1)) {
        const std::string parent = root.substr(0, slash);
        if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("cannot create folder " + parent + ": " +
                                     std::strerror(errno));
    }
    if (::mkdir(root.c_str(), 0755) == 0)
        return;
    if (errno != EEXIST)
        throw std::runtime_error("cannot create folder " + root + ": " + std::strerror(errno));
    DIR* dir = ::opendir(root.c_str());
    if (dir == nullptr)
        throw std::runtime_error("cannot open " + root + ": " + std::strerror(errno));
    bool empty = true;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    if (!empty)
        throw std::runtime_error(root + " is not empty; remove it or choose another folder");
}

std::string under(const std::string& root, const std::string& relative)
{
    return relative.empty() ? root : root + "/" + relative;
}

void setTime(const std::string& path, int64_t mtime)
{
    timespec ts[2];
    ts[0].tv_sec = static_cast<time_t>(mtime);
    ts[0].tv_nsec = 0;
    ts[1] = ts[0];
    if (::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the times of " + path + ": " + std::strerror(errno));
}

} // namespace

namespace HomeGenerator {

Summary generate(const std::string& rootPath, double scale, int threads)
{
    const auto started = std::chrono::steady_clock::now();
    std::string root = rootPath;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    ::umask(022);
    prepareRoot(root);

    HomePlan plan(scale);
    OllamaStore::plan(plan);
    HuggingFaceCache::plan(plan);
    EditorCaches::plan(plan);
    ModelFolders::plan(plan);
    UserFolders::plan(plan);

    TreeWriter folders;
    for (const HomePlan::Folder& folder : plan.folders())
        folders.dir(under(root, folder.path));

    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    std::string error;
    std::vector<TreeWriter> writers(static_cast<size_t>(std::max(1, threads)));
    auto work = [&](TreeWriter& writer) {
        for (;;) {
            const size_t index = next.fetch_add(1);
            if (index >= plan.jobs().size() || failed.load())
                return;
            const HomePlan::Job& job = plan.jobs()[index];
            try {
                const TreeWriter::Dir parent = TreeWriter::open(under(root, job.parent));
                job.make(writer, parent);
            } catch (const std::exception& e) {
                std::lock_guard lock(errorMutex);
                if (!failed.exchange(true))
                    error = e.what();
                return;
            }
        }
    };
    std::vector<std::thread> pool;
    for (size_t i = 1; i < writers.size(); ++i)
        pool.emplace_back(work, std::ref(writers[i]));
    work(writers[0]);
    for (std::thread& thread : pool)
        thread.join();
    if (failed.load())
        throw std::runtime_error(error);

    // Shared folders last, deepest first (the plan lists every parent before its children).
    for (auto it = plan.folders().rbegin(); it != plan.folders().rend(); ++it)
        setTime(under(root, it->path), it->mtime);
    setTime(root, HomeTimes::kNewest);

    Summary summary;
    summary.counts = folders.counts();
    for (const TreeWriter& writer : writers)
        summary.counts += writer.counts();
    summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return summary;
}

} // namespace HomeGenerator

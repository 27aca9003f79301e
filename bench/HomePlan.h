#pragma once

#include "TreeWriter.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a synthetic home is made of: shared folders made first (one thread), then independent
// jobs, each filling its own part of one of those folders (on several threads). A job draws
// its randomness from labels and indexes only, so the tree does not depend on the scheduling.
class HomePlan
{
public:
    using Make = std::function<void(TreeWriter&, const TreeWriter::Dir&)>;

    struct Job
    {
        std::string parent; // relative to the home, a folder of the plan ("" is the home)
        Make make;
    };

    explicit HomePlan(double scale) : m_scale(scale) {}

    // The count of a repeated unit at this scale: never below one.
    [[nodiscard]] int64_t count(int64_t atScaleOne) const;

    // A folder made before the jobs, its missing parents too; its times are set after them.
    void folder(const std::string& relativePath, int64_t mtime);

    // A job that fills part of a folder of the plan.
    void job(const std::string& parent, Make make);

    // Builds `units` units with `make(writer, parent, index)`, `perJob` of them per job.
    void units(const std::string& parent, int64_t units, int64_t perJob,
               const std::function<void(TreeWriter&, const TreeWriter::Dir&, int64_t)>& make);

    struct Folder
    {
        std::string path;
        int64_t mtime = 0;
    };
    [[nodiscard]] const std::vector<Folder>& folders() const { return m_folders; }
    [[nodiscard]] const std::vector<Job>& jobs() const { return m_jobs; }

private:
    double m_scale;
    std::vector<Folder> m_folders;
    std::vector<Job> m_jobs;
};

// Fixed times of the generated tree: every date lies between these two.
namespace HomeTimes {
constexpr int64_t kOldest = 1'672'531'200; // 2023-01-01 00:00 UTC
constexpr int64_t kNewest = 1'761'955'200; // 2025-11-01 00:00 UTC
} // namespace HomeTimes

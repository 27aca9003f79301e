#include "HomePlan.h"

#include <algorithm>
#include <cmath>

int64_t HomePlan::count(int64_t atScaleOne) const
{
    const auto scaled =
        static_cast<int64_t>(std::llround(static_cast<double>(atScaleOne) * m_scale));
    return std::max<int64_t>(1, scaled);
}

void HomePlan::folder(const std::string& relativePath, int64_t mtime)
{
    size_t slash = 0;
    while ((slash = relativePath.find('/', slash + 1)) != std::string::npos) {
        const std::string parent = relativePath.substr(0, slash);
        const bool known = std::any_of(m_folders.begin(), m_folders.end(),
                                       [&](const Folder& f) { return f.path == parent; });
        if (!known)
            m_folders.push_back({parent, mtime});
    }
    const auto it = std::find_if(m_folders.begin(), m_folders.end(),
                                 [&](const Folder& f) { return f.path == relativePath; });
    if (it == m_folders.end())
        m_folders.push_back({relativePath, mtime});
    else
        it->mtime = std::max(it->mtime, mtime);
}

void HomePlan::job(const std::string& parent, Make make)
{
    m_jobs.push_back({parent, std::move(make)});
}

void HomePlan::units(const std::string& parent, int64_t units, int64_t perJob,
                     const std::function<void(TreeWriter&, const TreeWriter::Dir&, int64_t)>& make)
{
    for (int64_t first = 0; first < units; first += perJob) {
        const int64_t last = std::min(units, first + perJob);
        job(parent, [make, first, last](TreeWriter& writer, const TreeWriter::Dir& dir) {
            for (int64_t i = first; i < last; ++i)
                make(writer, dir, i);
        });
    }
}

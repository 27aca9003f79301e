#include "ScanReadout.h"

#include <QFile>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <thread>
#include <unistd.h>

namespace ScanReadout {

QStringList idsOf(const SourceScan& scan)
{
    QStringList ids;
    for (const ModelEntry& entry : scan.models)
        ids.push_back(entry.id);
    return ids;
}

QStringList pathsOf(const SourceScan& scan)
{
    QStringList paths;
    for (const ModelEntry& entry : scan.models)
        paths.push_back(entry.primaryPath);
    return paths;
}

bool returnsWithoutBlocking(const QString& fifo, const std::function<void()>& work)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        work();
        done.set_value();
    });
    const bool returned = finished.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (!returned) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    worker.join();
    return returned;
}

} // namespace ScanReadout

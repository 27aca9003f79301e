#include "ScanStop.h"

#include "scanners/Scanner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace ScanStop {

int run(const QString& home, const QStringList& customFolders, const QList<double>& delays)
{
    QTemporaryDir cache;
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "OLLAMA_MODELS", "HF_HOME", "HF_HUB_CACHE"})
        qunsetenv(name);

    QList<double> latencies;
    int status = 0;
    for (const double delay : delays) {
        StopToken stop;
        ScanProgress progress;
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        qint64 returnedNs = 0;
        std::optional<ScanResult> result;
        QElapsedTimer clock;
        clock.start();
        std::thread scan([&] {
            result = Scanner::scanAll({true, customFolders, &stop, &progress});
            const std::lock_guard lock(mutex);
            returnedNs = clock.nsecsElapsed();
            done = true;
            ended.notify_all();
        });
        std::unique_lock lock(mutex);
        const bool finishedFirst =
            ended.wait_for(lock, std::chrono::duration<double>(delay), [&] { return done; });
        const qint64 requestNs = clock.nsecsElapsed();
        const qint64 walkedAtRequest = progress.entriesWalked.load();
        const int sourcesAtRequest = progress.sourcesDone.load();
        stop.requestStop();
        lock.unlock();
        scan.join();
        if (finishedFirst) {
            std::printf("stop after %.2f s: the scan had already ended (%.3f s, %lld entries)\n",
                        delay, static_cast<double>(returnedNs) / 1e9,
                        static_cast<long long>(progress.entriesWalked.load()));
            continue;
        }
        const double latencyMs = static_cast<double>(returnedNs - requestNs) / 1e6;
        latencies.push_back(latencyMs);
        if (result)
            status = 1;
        std::printf("stop after %.2f s: returned %.1f ms later with %s; sources %d of %d, "
                    "entries %lld at the request, %lld at the return\n",
                    delay, latencyMs, result ? "A RESULT" : "no result", sourcesAtRequest,
                    progress.sourcesTotal.load(), static_cast<long long>(walkedAtRequest),
                    static_cast<long long>(progress.entriesWalked.load()));
    }
    if (!latencies.isEmpty()) {
        std::sort(latencies.begin(), latencies.end());
        std::printf(
            "stop latency: median %.1f ms, max %.1f ms over %lld stops (target <= 100 ms)\n",
            latencies[latencies.size() / 2], latencies.back(),
            static_cast<long long>(latencies.size()));
    }
    return status;
}

} // namespace ScanStop

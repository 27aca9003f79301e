#include "DirectoryWalker.h"
#include "DuplicateFinder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <atomic>
#include <cstdio>

namespace {

class SumVisitor : public WalkVisitor
{
public:
    void visit(const WalkedFile& file) override
    {
        files.fetch_add(1, std::memory_order_relaxed);
        bytes.fetch_add(file.size, std::memory_order_relaxed);
        qint64 current = newest.load(std::memory_order_relaxed);
        while (file.modifiedSeconds > current &&
               !newest.compare_exchange_weak(current, file.modifiedSeconds)) {
        }
    }
    std::atomic<qint64> files{0};
    std::atomic<qint64> bytes{0};
    std::atomic<qint64> newest{0};
};

int walk(const QString& root, int threads)
{
    SumVisitor visitor;
    WalkOptions options;
    options.skipTrash = false;
    options.threads = threads;
    const WalkStats stats = DirectoryWalker::walk(root, options, visitor);
    std::printf("%lld %lld %lld %lld\n", static_cast<long long>(stats.entries),
                static_cast<long long>(visitor.files.load()),
                static_cast<long long>(visitor.bytes.load()),
                static_cast<long long>(visitor.newest.load()));
    return 0;
}

// Characters read by this process so far (rchar of /proc/self/io): every read(2) counts.
qint64 bytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = io.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// Marks duplicates among the given files (one entry each) with the given hash cache file and
// prints what it cost: the bytes read (rchar), the time and the throughput of the full hashes.
int dupes(const QString& cachePath, const QStringList& files)
{
    QList<ModelEntry> models;
    for (const QString& file : files) {
        const QString path = QFileInfo(file).absoluteFilePath();
        const qint64 size = QFileInfo(path).size();
        models.push_back(ModelEntry(path, path, ModelSource::custom, size, std::nullopt, path,
                                    {path}, std::nullopt, DeleteRisk::safe, std::nullopt,
                                    std::nullopt));
    }
    const qint64 before = bytesReadByProcess();
    QElapsedTimer timer;
    timer.start();
    DuplicateFinder finder(cachePath);
    const DuplicateFinder::Stats stats = finder.run(models);
    const qint64 nanoseconds = timer.nsecsElapsed();
    const qint64 read = bytesReadByProcess() - before;
    int marked = 0;
    for (const ModelEntry& model : models)
        marked += model.isDuplicate ? 1 : 0;
    const double seconds = static_cast<double>(nanoseconds) / 1e9;
    std::printf("candidates=%d heads=%d hashed=%d cacheHits=%d marked=%d bytesHashed=%lld "
                "rchar=%lld rcharPerCandidate=%lld seconds=%.3f MBps=%.0f\n",
                stats.candidates, stats.headsRead, stats.filesHashed, stats.cacheHits, marked,
                static_cast<long long>(stats.bytesHashed), static_cast<long long>(read),
                static_cast<long long>(stats.candidates > 0 ? read / stats.candidates : 0), seconds,
                seconds > 0 ? static_cast<double>(stats.bytesHashed) / 1e6 / seconds : 0.0);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() >= 3 && arguments[1] == QStringLiteral("walk")) {
        const int threads = arguments.size() >= 4 ? arguments[3].toInt() : 0;
        return walk(arguments[2], threads);
    }
    if (arguments.size() >= 4 && arguments[1] == QStringLiteral("dupes"))
        return dupes(arguments[2], arguments.mid(3));
    std::fprintf(stderr, "usage: brimvale-bench walk DIR [THREADS]\n"
                         "       brimvale-bench dupes HASH-CACHE-FILE FILE...\n");
    return 2;
}

#include "DedupeVerify.h"
#include "HomeGenerator.h"
#include "ProcPass.h"
#include "ScanRoots.h"
#include "ScanStop.h"
#include "TrashBatch.h"
#include "fs/DirectoryWalker.h"
#include "fs/WalkScope.h"
#include "scanners/DuplicateFinder.h"
#include "scanners/HiddenStores.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

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

// The peak resident set size of this process in KiB (VmHWM), or -1 when unknown.
long long peakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.c_str() + 6);
    }
    return -1;
}

int walk(const QString& root, int threads, bool reportRss)
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
    if (reportRss)
        std::fprintf(stderr, "peak_rss_kib %lld\n", peakRssKiB());
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
    const DuplicateFinder::Stats stats = finder.run(models).value(); // never stopped
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

int generate(const QStringList& arguments)
{
    QString root;
    double scale = 1.0;
    int threads = 2;
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        const QString argument = arguments[i];
        const bool isOption =
            argument == QStringLiteral("--scale") || argument == QStringLiteral("--threads");
        const QString value = isOption ? arguments.value(++i) : QString();
        bool ok = true;
        if (argument == QStringLiteral("--scale"))
            scale = value.toDouble(&ok);
        else if (argument == QStringLiteral("--threads"))
            threads = value.toInt(&ok);
        else if (root.isEmpty() && !argument.startsWith(u'-'))
            root = argument;
        else
            ok = false;
        if (!ok || scale <= 0 || scale > 100 || threads < 1 || threads > 64) {
            std::fprintf(stderr, "brimvale-bench: bad argument: %s %s\n", qPrintable(argument),
                         qPrintable(value));
            return 2;
        }
    }
    if (root.isEmpty()) {
        std::fprintf(stderr, "usage: brimvale-bench generate DIR [--scale F] [--threads N]\n");
        return 2;
    }
    try {
        const QByteArray path = QFile::encodeName(root);
        const HomeGenerator::Summary summary = HomeGenerator::generate(
            std::string(path.constData(), size_t(path.size())), scale, threads);
        const TreeWriter::Counts& c = summary.counts;
        std::printf("%s: %lld entries (%lld folders, %lld files, %lld symlinks), %lld bytes "
                    "apparent, %lld bytes written, %.1f s\n",
                    path.constData(), static_cast<long long>(c.entries()),
                    static_cast<long long>(c.directories), static_cast<long long>(c.files),
                    static_cast<long long>(c.symlinks), static_cast<long long>(c.bytes),
                    static_cast<long long>(c.writtenBytes), summary.seconds);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "brimvale-bench: %s\n", e.what());
        return 1;
    }
}

// Times the hidden-store search (finding the stores, not reading them) over the home's
// ~/.config, ~/.local/share, ~/.cache and the given folders: one line "seconds stores names",
// names being those listed by the search.
int hiddenStores(const QString& home, const QStringList& folders)
{
    qputenv("HOME", QFile::encodeName(home));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qunsetenv(name);
    std::atomic<qint64> listed{0};
    const WalkScope scope(nullptr, &listed);
    QElapsedTimer timer;
    timer.start();
    const QList<HiddenStores::Store> stores = HiddenStores::find(
        QStringList{home + QStringLiteral("/.config"), home + QStringLiteral("/.local/share"),
                    home + QStringLiteral("/.cache")} +
            folders,
        HiddenStores::readBySources());
    std::printf("%.3f %lld %lld\n", double(timer.nsecsElapsed()) / 1e9,
                static_cast<long long>(stores.size()), static_cast<long long>(listed.load()));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() >= 3 && arguments[1] == QStringLiteral("walk")) {
        QStringList rest = arguments.mid(2);
        const bool reportRss = rest.removeAll(QStringLiteral("--rss")) > 0;
        bool ok = true;
        const int threads = rest.size() >= 2 ? rest[1].toInt(&ok) : 0;
        if (ok && threads >= 0 && !rest.isEmpty() && rest.size() <= 2)
            return walk(rest[0], threads, reportRss);
    }
    if (arguments.size() >= 4 && arguments[1] == QStringLiteral("dupes"))
        return dupes(arguments[2], arguments.mid(3));
    if (arguments.size() >= 2 && arguments[1] == QStringLiteral("generate"))
        return generate(arguments);
    if (arguments.size() >= 3 && arguments[1] == QStringLiteral("stop")) {
        QStringList folders;
        QList<double> delays;
        for (const QString& argument : arguments.mid(3)) {
            bool isNumber = false;
            const double delay = argument.toDouble(&isNumber);
            if (isNumber && delay >= 0)
                delays.push_back(delay);
            else
                folders.push_back(argument);
        }
        if (delays.isEmpty())
            delays = {0.25, 0.5, 0.75, 1.0, 0.25, 0.5, 0.75, 1.0};
        return ScanStop::run(arguments[2], folders, delays);
    }
    if (arguments.size() >= 4 && arguments[1] == QStringLiteral("dedupe")) {
        const QStringList rest = arguments.mid(2);
        const bool cold = rest.size() == 3 && rest[2] == QStringLiteral("--cold");
        if (rest.size() == 2 || cold)
            return DedupeVerify::run(rest[0], rest[1], cold);
    }
    if (arguments.size() >= 2 && arguments[1] == QStringLiteral("procpass")) {
        bool ok = true;
        const int processes = arguments.size() >= 3 ? arguments[2].toInt(&ok) : 500;
        bool runsOk = true;
        const int runs = arguments.size() >= 4 ? arguments[3].toInt(&runsOk) : 5;
        if (ok && runsOk && processes >= 0 && processes <= 5000 && runs > 0)
            return ProcPass::run(processes, runs);
    }
    if (arguments.size() >= 2 && arguments[1] == QStringLiteral("trash")) {
        bool ok = true;
        const int entries = arguments.size() >= 3 ? arguments[2].toInt(&ok) : 1000;
        if (ok && entries > 0 && entries <= 100000)
            return TrashBatch::run(entries);
    }
    if (arguments.size() >= 3 && arguments[1] == QStringLiteral("evict"))
        return DedupeVerify::evict(arguments.mid(2));
    if (arguments.size() >= 3 && arguments[1] == QStringLiteral("hidden"))
        return hiddenStores(arguments[2], arguments.mid(3));
    if (arguments.size() >= 2 && arguments[1] == QStringLiteral("roots")) {
        for (const QString& root : ScanRoots::walkedBy(arguments.mid(2)))
            std::printf("%s\n", QFile::encodeName(root).constData());
        return 0;
    }
    std::fprintf(stderr, "usage: brimvale-bench walk DIR [THREADS] [--rss]\n"
                         "       brimvale-bench generate DIR [--scale F] [--threads N]\n"
                         "       brimvale-bench dupes HASH-CACHE-FILE FILE...\n"
                         "       brimvale-bench roots [FOLDER]...\n"
                         "       brimvale-bench hidden HOME [FOLDER]...\n"
                         "       brimvale-bench stop HOME [FOLDER]... [SECONDS]...\n"
                         "       brimvale-bench dedupe KEEP COPY [--cold]\n"
                         "       brimvale-bench evict FILE...\n"
                         "       brimvale-bench procpass [PROCESSES] [RUNS]\n"
                         "       brimvale-bench trash [ENTRIES]\n");
    return 2;
}

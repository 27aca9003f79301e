#include "DirectoryWalker.h"
#include "HomeGenerator.h"

#include <QCoreApplication>
#include <QFile>
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
    if (arguments.size() >= 2 && arguments[1] == QStringLiteral("generate"))
        return generate(arguments);
    std::fprintf(stderr, "usage: brimvale-bench walk DIR [THREADS] [--rss]\n"
                         "       brimvale-bench generate DIR [--scale F] [--threads N]\n");
    return 2;
}

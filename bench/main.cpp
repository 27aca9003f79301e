#include "DirectoryWalker.h"

#include <QCoreApplication>
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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() >= 3 && arguments[1] == QStringLiteral("walk")) {
        const int threads = arguments.size() >= 4 ? arguments[3].toInt() : 0;
        return walk(arguments[2], threads);
    }
    std::fprintf(stderr, "usage: brimvale-bench walk DIR [THREADS]\n");
    return 2;
}

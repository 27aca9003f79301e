#include "DedupeVerify.h"

#include "fs/UniqueFd.h"
#include "scanners/ContentHash.h"
#include "services/DedupeService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace DedupeVerify {

int evict(const QStringList& files)
{
    int status = 0;
    for (const QString& file : files) {
        const UniqueFd fd(::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC));
        if (!fd.isValid() || ::fdatasync(fd.get()) != 0 ||
            ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED) != 0) {
            std::fprintf(stderr, "brimvale-bench: cannot evict %s\n", qPrintable(file));
            status = 1;
        }
    }
    return status;
}

int run(const QString& keep, const QString& copy, bool cold)
{
    DedupeItem item{QStringLiteral("bench"), copy, {}, keep, {}, {}};
    {
        const UniqueFd copyFd = ContentHash::openRegular(copy, item.identity);
        const UniqueFd keepFd = ContentHash::openRegular(keep, item.keepIdentity);
        if (!copyFd.isValid() || !keepFd.isValid()) {
            std::fprintf(stderr, "brimvale-bench: cannot open both files\n");
            return 2;
        }
        item.hash = ContentHash::fullHash(keepFd.get(), item.keepIdentity.size).value_or(QString());
    }
    if (cold && evict({keep, copy}) != 0)
        return 2;
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));

    DedupeService::Options options;
    options.hardLink = true;
    QElapsedTimer clock;
    clock.start();
    const DedupeOutcome outcome = DedupeService::run({{item}, {}}, options);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double gigabytes = double(item.identity.size) / 1e9;
    std::printf("%s page cache: verify and swap %.3f s, %.3f s/GB, %s\n", cold ? "cold" : "warm",
                seconds, gigabytes > 0 ? seconds / gigabytes : 0.0,
                outcome.succeeded() ? "freed" : qPrintable(outcome.error.value_or(QString())));
    return outcome.succeeded() ? 0 : 1;
}

} // namespace DedupeVerify

#include "ProcPass.h"

#include "fs/OpenFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// A child that runs `sleep 600`, holding `held` open as descriptor 3 when it is given.
pid_t startSleeper(const char* held)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    if (held != nullptr) {
        const int fd = ::open(held, O_RDONLY);
        if (fd >= 0 && fd != 3) {
            ::dup2(fd, 3);
            ::close(fd);
        }
    }
    ::execlp("sleep", "sleep", "600", static_cast<char*>(nullptr));
    ::_exit(127);
}

// CPU time of the whole process (all its threads), in milliseconds.
double processCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

const char* loadAverage()
{
    static char text[64] = "?\n";
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fgets(text, sizeof text, file) == nullptr)
            std::snprintf(text, sizeof text, "?\n");
        std::fclose(file);
    }
    return text;
}

} // namespace

namespace ProcPass {

int run(int processes, int runs)
{
    QTemporaryDir dir;
    // The data files of a scan: 300 model files, one of which a sleeper holds.
    QSet<OpenFiles::FileKey> files;
    QByteArray held;
    for (int i = 0; i < 300; ++i) {
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("m%1.gguf").arg(i)));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        struct stat st
        {
        };
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            std::fprintf(stderr, "brimvale-bench: cannot create %s\n", path.constData());
            return 1;
        }
        ::close(fd);
        files.insert({quint64(st.st_dev), quint64(st.st_ino)});
        if (i == 150)
            held = path;
    }
    std::vector<pid_t> children;
    for (int i = 0; i < processes; ++i) {
        const pid_t pid = startSleeper(i == processes / 2 ? held.constData() : nullptr);
        if (pid > 0)
            children.push_back(pid);
    }
    ::usleep(500'000); // every child has run exec by then
    std::vector<double> times;
    std::vector<double> cpuTimes;
    int found = 0;
    for (int r = 0; r < runs; ++r) {
        const double cpuBefore = processCpuMs();
        QElapsedTimer timer;
        timer.start();
        found = int(OpenFiles::holders(files).size());
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpuTimes.push_back(processCpuMs() - cpuBefore);
        std::printf("run %d: %.2f ms (CPU %.2f ms), %d file(s) held\n", r + 1, times.back(),
                    cpuTimes.back(), found);
    }
    for (const pid_t pid : children)
        ::kill(pid, SIGTERM);
    for (const pid_t pid : children)
        ::waitpid(pid, nullptr, 0);
    std::sort(times.begin(), times.end());
    std::sort(cpuTimes.begin(), cpuTimes.end());
    const double median = times[times.size() / 2];
    std::printf("processes=%zu runs=%d median=%.2f ms, CPU %.2f ms (target <= 50 ms), load %s",
                children.size(), runs, median, cpuTimes[cpuTimes.size() / 2], loadAverage());
    return found == 1 && median <= 50 ? 0 : 1;
}

} // namespace ProcPass

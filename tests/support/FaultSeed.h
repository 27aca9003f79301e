#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <csignal>
#include <optional>
#include <thread>

// The random source of a fault sweep's kill moments (fractions of a whole run): seeded from the
// environment variable BRIMVALE_FAULT_SEED when it is set, else at random. The seed is printed
// first, so a failing sweep can be run again on the same moments.
namespace FaultSeed {

[[nodiscard]] QRandomGenerator generator(const char* sweep);

// The number of kills of a sweep: the variable's value when it is set, else `fallback`.
[[nodiscard]] int kills(const char* variable, int fallback);

// When to kill the attempt's run, in microseconds, spread over 1.1 times the span of a whole
// run; none for two attempts of every ten, whole runs that tell the span as the machine's load
// changes.
[[nodiscard]] std::optional<qint64> killDelay(QRandomGenerator& random, int attempt, qint64 spanUs);

// "after a kill at <ms> ms: <problem>", for QVERIFY2.
[[nodiscard]] QByteArray afterKill(std::optional<qint64> delayUs, const QString& problem);

#ifdef BRIMVALE_CLI_PATH
struct KilledRun
{
    bool killed = false; // SIGKILL ended it while it ran
    int exitCode = -1;   // of a run that ended by itself
    qint64 elapsedUs = 0;
    QByteArray err;
};

// Runs brimvale-cli with the arguments and sends it SIGKILL after the delay, when one is given
// and it still runs (it is not reaped before, so its pid cannot be reused).
[[nodiscard]] inline KilledRun runCli(const QStringList& arguments,
                                      std::optional<qint64> killAfterUs)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    process.start(QStringLiteral(BRIMVALE_CLI_PATH), arguments);
    clock.start();
    if (killAfterUs && process.waitForStarted()) {
        std::this_thread::sleep_for(std::chrono::microseconds(*killAfterUs));
        ::kill(pid_t(process.processId()), SIGKILL);
    }
    process.waitForFinished(300000);
    const bool killed = process.exitStatus() == QProcess::CrashExit;
    return {killed, killed ? -1 : process.exitCode(), clock.nsecsElapsed() / 1000,
            process.readAllStandardError()};
}
#endif

} // namespace FaultSeed

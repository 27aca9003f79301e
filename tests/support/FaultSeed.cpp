#include "FaultSeed.h"

#include <QString>

namespace FaultSeed {

QRandomGenerator generator(const char* sweep)
{
    bool given = false;
    const quint32 seed = qEnvironmentVariable("BRIMVALE_FAULT_SEED").toUInt(&given);
    const quint32 used = given ? seed : QRandomGenerator::system()->generate();
    qInfo("%s: kill moments seeded with %u (rerun them with BRIMVALE_FAULT_SEED=%u)", sweep, used,
          used);
    return QRandomGenerator(used);
}

int kills(const char* variable, int fallback)
{
    return qEnvironmentVariableIsSet(variable) ? qEnvironmentVariableIntValue(variable) : fallback;
}

std::optional<qint64> killDelay(QRandomGenerator& random, int attempt, qint64 spanUs)
{
    if (attempt % 10 < 2)
        return std::nullopt;
    return qint64(random.bounded(double(spanUs) * 1.1));
}

QByteArray afterKill(std::optional<qint64> delayUs, const QString& problem)
{
    return u"after a kill at %1 ms: %2"_qs.arg(double(delayUs.value_or(-1)) / 1000.0)
        .arg(problem)
        .toUtf8();
}

} // namespace FaultSeed

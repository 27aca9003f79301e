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

} // namespace FaultSeed

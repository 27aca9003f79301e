#pragma once

#include <QRandomGenerator>

// The random source of a fault sweep's kill moments (fractions of a whole run): seeded from the
// environment variable BRIMVALE_FAULT_SEED when it is set, else at random. The seed is printed
// first, so a failing sweep can be run again on the same moments.
namespace FaultSeed {

[[nodiscard]] QRandomGenerator generator(const char* sweep);

} // namespace FaultSeed

#include "LooseScanner.h"

namespace LooseScanner {

SourceScan scan(const QSet<QString>&)
{
    return {};
}

} // namespace LooseScanner

#include "CodingCacheScanner.h"

namespace CodingCacheScanner {

SourceScan scan()
{
    return {};
}

} // namespace CodingCacheScanner

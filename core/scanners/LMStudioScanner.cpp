#include "LMStudioScanner.h"

namespace LMStudioScanner {

QStringList modelsDirs()
{
    return {};
}

SourceScan scan()
{
    return {};
}

} // namespace LMStudioScanner

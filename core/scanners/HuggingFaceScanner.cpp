#include "HuggingFaceScanner.h"

namespace HuggingFaceScanner {

QString cacheDir()
{
    return {};
}

SourceScan scan()
{
    return {};
}

} // namespace HuggingFaceScanner

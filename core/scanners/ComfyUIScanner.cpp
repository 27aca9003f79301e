#include "ComfyUIScanner.h"

namespace ComfyUIScanner {

SourceScan scan()
{
    return {};
}

QStringList extraModelPaths(const QString&)
{
    return {};
}

} // namespace ComfyUIScanner

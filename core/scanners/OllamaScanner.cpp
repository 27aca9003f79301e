#include "OllamaScanner.h"

namespace OllamaScanner {

QString modelsDir()
{
    return {};
}

bool isRunning()
{
    return false;
}

SourceScan scan(bool)
{
    return {};
}

} // namespace OllamaScanner

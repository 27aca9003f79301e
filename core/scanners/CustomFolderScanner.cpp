#include "CustomFolderScanner.h"

namespace CustomFolderScanner {

SourceScan scan(const QStringList&)
{
    return {};
}

} // namespace CustomFolderScanner

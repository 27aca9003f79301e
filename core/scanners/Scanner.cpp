#include "Scanner.h"

namespace Scanner {

ScanResult scanAll(bool, const QStringList&, ScanProgress*)
{
    return {};
}

} // namespace Scanner

#include "CliCommon.h"
#include "Commands.h"

namespace Commands {

int move(const QStringList&)
{
    return CliCommon::usageError(QStringLiteral("move is not available yet"));
}

} // namespace Commands

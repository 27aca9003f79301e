#include "CliCommon.h"
#include "Commands.h"

namespace Commands {

int scan(const QStringList&)
{
    return CliCommon::usageError(QStringLiteral("scan is not available yet"));
}

int report(const QStringList&)
{
    return CliCommon::usageError(QStringLiteral("report is not available yet"));
}

int folders(const QStringList&)
{
    return CliCommon::usageError(QStringLiteral("folders is not available yet"));
}

} // namespace Commands

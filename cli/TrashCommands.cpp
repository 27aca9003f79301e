#include "CliCommon.h"
#include "Commands.h"

namespace Commands {

int trash(const QStringList&)
{
    return CliCommon::usageError(QStringLiteral("trash is not available yet"));
}

int trashed(const QStringList&)
{
    return CliCommon::usageError(QStringLiteral("trashed is not available yet"));
}

int restore(const QStringList&)
{
    return CliCommon::usageError(QStringLiteral("restore is not available yet"));
}

int deleteEntries(const QStringList&)
{
    return CliCommon::usageError(QStringLiteral("delete is not available yet"));
}

} // namespace Commands

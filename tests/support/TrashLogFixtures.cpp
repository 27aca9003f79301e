#include "TrashLogFixtures.h"

#include "Fixtures.h"
#include "TrashFixtures.h"
#include "model/BrimvaleError.h"
#include "services/TrashLog.h"
#include "services/TrashService.h"

namespace TrashFixtures {

bool writeLog(const QList<TrashEntry>& records)
{
    try {
        TrashLog::write(records, {});
    } catch (const BrimvaleError&) {
        return false;
    }
    return true;
}

TrashEntry trashedFile(const QString& path, const QByteArray& content)
{
    Fixtures::writeFile(path, content);
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return TrashService::moveToTrash(model(name, {path})).entry.value_or(TrashEntry{});
}

} // namespace TrashFixtures

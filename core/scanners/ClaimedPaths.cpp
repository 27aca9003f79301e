#include "scanners/ClaimedPaths.h"

#include "fs/CustomFolders.h"
#include "scanners/CustomFolderScanner.h"

#include <QHash>
#include <algorithm>

namespace {

struct Owner
{
    qsizetype index = 0;
    qsizetype rootLength = 0;
};

// For each file listed by custom entries, the entry found through the shortest stored folder
// (the outermost one; the first of equal ones).
QHash<QString, Owner> customOwners(const QList<ModelEntry>& models)
{
    QHash<QString, Owner> owners;
    for (qsizetype i = 0; i < models.size(); ++i) {
        const std::optional<QString> root = CustomFolderScanner::rootOf(models[i]);
        if (!root)
            continue;
        const Owner candidate{i, CustomFolders::normalized(*root).size()};
        const QString path = CustomFolders::normalized(models[i].primaryPath);
        const auto found = owners.constFind(path);
        if (found == owners.cend() || found->rootLength > candidate.rootLength)
            owners.insert(path, candidate);
    }
    return owners;
}

} // namespace

namespace ClaimedPaths {

bool covers(const QSet<QString>& claimed, const QString& path)
{
    QString current = CustomFolders::normalized(path);
    for (;;) {
        if (claimed.contains(current))
            return true;
        const qsizetype slash = current.lastIndexOf(u'/');
        if (slash < 0 || current == QStringLiteral("/"))
            return false;
        current.truncate(std::max<qsizetype>(slash, 1));
    }
}

void dropRepeats(QList<ModelEntry>& models)
{
    const QHash<QString, Owner> owners = customOwners(models);
    QSet<QString> claimed;
    QList<ModelEntry> kept;
    for (qsizetype i = 0; i < models.size(); ++i) {
        ModelEntry& entry = models[i];
        if (entry.source.givesWay()) {
            if (std::any_of(entry.allPaths.cbegin(), entry.allPaths.cend(),
                            [&claimed](const QString& path) { return covers(claimed, path); }))
                continue;
        } else if (entry.source == ModelSource::custom || entry.source == ModelSource::loose) {
            const auto owner = CustomFolderScanner::rootOf(entry)
                                   ? owners.constFind(CustomFolders::normalized(entry.primaryPath))
                                   : owners.cend();
            const bool outranked = owner != owners.cend() && owner->index != i;
            const bool repeated =
                !entry.allPaths.isEmpty() &&
                std::all_of(entry.allPaths.cbegin(), entry.allPaths.cend(),
                            [&claimed](const QString& path) { return covers(claimed, path); });
            if (outranked || repeated)
                continue;
        }
        for (const QString& path : std::as_const(entry.allPaths))
            claimed.insert(CustomFolders::normalized(path));
        kept.push_back(std::move(entry));
    }
    models = std::move(kept);
}

} // namespace ClaimedPaths

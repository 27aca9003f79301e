#pragma once

#include "model/ModelEntry.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// The entries of one repository folder of the hub cache: "models--", "datasets--" or
// "spaces--" followed by "owner--name".
namespace HubRepository {

struct Folder
{
    QString path;
    // Where its blobs are read: its own "blobs" folder, or the target of a linked one that goes
    // with the repository (then also in linkedBlobs). Empty when it has none of its own.
    QString blobs;
    QString linkedBlobs;
    // Its "blobs" links to a folder that is not the repository's alone: nothing in it is
    // counted, and the links into it are not checked.
    bool blobsElsewhere = false;
};

// Whether the folder name is that of a repository of the hub.
[[nodiscard]] bool isRepositoryName(const QString& folderName);

// The repository's entry; then, when some snapshots are named by no ref, that of its old
// revisions (those snapshots and the blobs only they link to, no longer counted in the
// repository); then one per unfinished download ("blobs/*.incomplete", not counted in the
// repository) unchanged in the ten minutes before `now`.
[[nodiscard]] QList<ModelEntry> entries(const Folder& folder, const QDateTime& now);

} // namespace HubRepository

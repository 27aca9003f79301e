#include "services/DedupePlan.h"

#include <QFile>
#include <QSet>
#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace DedupePlan {

namespace {

const QString kAllChosen = QStringLiteral("Every copy of this data is among the chosen entries");
const QString kNoCopy = QStringLiteral("No identical copy found — scan again");
const QString kStoredOnce = QStringLiteral("Already stored once");

// Where a file stands in the duplicate groups: the group and the copy it is, or is stored with.
struct Found
{
    const DuplicateGroup* group = nullptr;
    const DuplicateCopy* copy = nullptr;
};

Found find(const QList<DuplicateGroup>& groups, const QString& file)
{
    for (const DuplicateGroup& group : groups) {
        for (const DuplicateCopy& copy : group.copies) {
            if (copy.path == file || copy.alsoAt.contains(file))
                return {&group, &copy};
        }
    }
    return {};
}

// The first copy of the group other than `own` that no chosen entry holds, on own's filesystem
// when there is one there (only such a copy can stand in for it), else anywhere. Every chosen
// copy of one filesystem gets the same one.
const DuplicateCopy* copyThatStays(const DuplicateGroup& group, const DuplicateCopy& own,
                                   const QSet<QString>& chosenIds)
{
    const DuplicateCopy* elsewhere = nullptr;
    for (const DuplicateCopy& copy : group.copies) {
        if (&copy == &own)
            continue;
        const bool chosen = std::any_of(copy.entryIds.cbegin(), copy.entryIds.cend(),
                                        [&](const QString& id) { return chosenIds.contains(id); });
        if (chosen)
            continue;
        if (copy.identity.device == own.identity.device)
            return &copy;
        if (!elsewhere)
            elsewhere = &copy;
    }
    return elsewhere;
}

// Whether the path names the same file (device and inode) as the identity, links followed;
// nothing when there is no file at the path.
std::optional<bool> isSameFile(const QString& path, const FileIdentity& identity)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity::of(st).sameFile(identity);
}

} // namespace

Plan of(const ScanResult& scan, const QList<ModelEntry>& entries)
{
    QList<ModelEntry> unique;
    QSet<QString> chosenIds;
    QSet<QString> givenFiles;
    for (const ModelEntry& entry : entries) {
        if (chosenIds.contains(entry.id))
            continue;
        chosenIds.insert(entry.id);
        unique.push_back(entry);
        for (const QString& file : entry.comparedFiles())
            givenFiles.insert(file);
    }

    Plan plan;
    QSet<QString> seenPaths;
    QSet<std::pair<quint64, quint64>> seenFiles; // device and inode
    for (const ModelEntry& entry : unique) {
        bool inAGroup = false;
        for (const QString& file : entry.comparedFiles()) {
            const Found found = find(scan.duplicateGroups, file);
            if (!found.copy)
                continue;
            inAGroup = true;
            const DuplicateCopy& copy = *found.copy;
            // Another path of a copy that is itself given: freeing the copy frees this one.
            if (file != copy.path && givenFiles.contains(copy.path))
                continue;
            if (seenPaths.contains(file))
                continue;
            seenPaths.insert(file);
            const auto skip = [&](const QString& reason) {
                plan.skipped.push_back({entry.id, file, QString(), 0, false, reason});
            };
            if (file != copy.path) {
                // A path stored in the copy's blocks but not the copy's file takes no room of its
                // own; one that is gone was not seen by this scan.
                const std::optional<bool> same = isSameFile(file, copy.identity);
                if (!same || !*same) {
                    skip(same.has_value() ? kStoredOnce : kNoCopy);
                    continue;
                }
            }
            const std::pair inode(copy.identity.device, copy.identity.inode);
            if (seenFiles.contains(inode))
                continue;
            seenFiles.insert(inode);
            const DuplicateCopy* keep = copyThatStays(*found.group, copy, chosenIds);
            if (!keep) {
                skip(kAllChosen);
                continue;
            }
            plan.items.push_back(
                {entry.id, file, copy.identity, keep->path, keep->identity, found.group->hash});
        }
        if (!inAGroup)
            plan.skipped.push_back({entry.id, entry.primaryPath, QString(), 0, false, kNoCopy});
    }
    return plan;
}

} // namespace DedupePlan

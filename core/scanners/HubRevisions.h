#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

// The refs and snapshots of one repository of the hub cache, each read in one walk: which
// snapshot folders no ref names, the regular files the snapshots hold and the blobs their links
// name.
struct HubRevisions
{
    // A regular file under "snapshots/"; commit -1: not inside a known snapshot folder.
    struct File
    {
        int commit = -1;
        qint64 size = 0;
        qint64 seconds = 0;
        qint32 nanoseconds = 0;
        qint64 accessedSeconds = 0;
        qint32 accessedNanoseconds = 0;
        std::optional<QString> largePath; // the path of a file large enough to be compared
    };
    // A link of a snapshot into the repository's "blobs/" folder.
    struct Link
    {
        int commit = -1;
        std::string blob;
    };

    QStringList commits;        // the snapshot folders' names, in byte order
    std::vector<bool> detached; // per commit: refs exist, and none names it
    std::vector<File> files;
    std::vector<Link> links;
    bool missingSnapshot = false; // a ref names a snapshot that is not there

    // Reads "refs/" and "snapshots/" of the repository folder. A repository without refs, or
    // whose refs or snapshots could not all be read, has no detached commit. The links are
    // read only where needed, as reading each costs a call: when a commit is detached, or when
    // the snapshots hold more links than `blobs` (the blobs right in its blobs folder; -1: the
    // links are not to be checked), so some may name a missing blob.
    [[nodiscard]] static HubRevisions read(const QString& repository, qint64 blobs);
};

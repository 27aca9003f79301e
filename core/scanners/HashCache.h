#pragma once

#include "model/FileIdentity.h"

#include <QHash>
#include <QString>
#include <optional>

// Full-content hashes of earlier scans, keyed by file identity, so a rescan does not read large
// files again. Kept in one JSON file; only the files of the latest scan are written back.
class HashCache
{
public:
    // $XDG_CACHE_HOME/brimvale/hashes.json.
    [[nodiscard]] static QString defaultPath();

    // A missing, unreadable or malformed file gives an empty cache.
    [[nodiscard]] static HashCache load(const QString& path);

    // The hash stored for exactly this identity (same file, size and times).
    [[nodiscard]] std::optional<QString> find(const FileIdentity& identity) const;
    // Records a hash of the current scan; save() writes exactly the recorded ones.
    void keep(const FileIdentity& identity, const QString& hash);

    // Writes the recorded hashes through a uniquely named temporary file that replaces the old
    // one (the last writer wins); does nothing when the file already holds exactly them.
    // Returns false when the file could not be written.
    bool save(const QString& path) const;

    [[nodiscard]] qsizetype loadedCount() const { return m_loaded.size(); }

private:
    QHash<FileIdentity, QString> m_loaded;
    QHash<FileIdentity, QString> m_latest;
    bool m_fileUsable = false;
};

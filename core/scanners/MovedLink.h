#pragma once

#include "fs/FS.h"
#include "model/FileInfo.h"
#include "model/ModelEntry.h"

#include <QString>
#include <QStringList>
#include <optional>

class MovedLinkStores;

// A symbolic link standing where a scanner expects a model file or folder, as a move to another
// drive leaves one. The scanners list such a link as the item, sized and dated by its target.
class MovedLink
{
public:
    enum class Kind
    {
        file,
        folder
    };

    // The link at `path` when it stands for a moved item: a symlink to an existing file or folder
    // of the kind, or to nothing that can be reached now, whose target lies in no store a scanner
    // reads. Nothing for anything else (no link, a loop, a target of another kind, a link into an
    // Ollama, Hugging Face, LM Studio, ComfyUI or Whisper folder).
    [[nodiscard]] static std::optional<MovedLink> read(const QString& path, Kind kind);

    [[nodiscard]] const QString& path() const { return m_path; }
    [[nodiscard]] const QString& target() const { return m_target; }
    [[nodiscard]] bool reachable() const { return m_reachable; }
    // The link's path with its target's size and dates (0 and none when out of reach).
    [[nodiscard]] FileInfo asFile() const;

    // FS::files, plus the links among the files that stand for moved files (not those into the
    // tree walked, which name its own files a second way): a link is offered
    // to the filter with its target's size and date, one out of reach with the largest size, so
    // it is judged by its name and place alone.
    [[nodiscard]] static QList<FileInfo> files(const QString& under, bool skipHidden,
                                               std::optional<DepthRange> depth,
                                               const FS::FileFilter& keep);
    // FS::subdirectories, plus the links in the folder that stand for moved folders.
    [[nodiscard]] static QStringList folders(const QString& of);

    // Records every path of the entry that is a moved link: its target joins allPaths (after
    // them, once), the detail begins "Moved to {short target}"; a target out of reach leaves the
    // entry with no size, no date and an unknown risk, its detail ending " — not reachable now".
    static void mark(ModelEntry& entry);

    // The path with the home shown as "~", and a deep one as its first two folders, "…" and its
    // name.
    [[nodiscard]] static QString shortPath(const QString& path);

private:
    [[nodiscard]] static std::optional<MovedLink>
    read(const QString& path, std::optional<Kind> kind, MovedLinkStores& stores);

    QString m_path;
    QString m_target;
    bool m_reachable = false;
    qint64 m_size = 0;
    std::optional<QDateTime> m_modified;
    std::optional<QDateTime> m_accessed;
};

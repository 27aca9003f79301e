#pragma once

#include "model/TrashEntry.h"

#include <QList>
#include <QString>

// The restore log "trash_log.json" in the data directory: a JSON array of TrashEntry objects,
// oldest first. Callers that change it hold its lock ("trash_log.json.lock").
namespace TrashLog {

inline const QString fileName = QStringLiteral("trash_log.json");

struct Contents
{
    QList<TrashEntry> entries;
    // A file is there but is not an array of complete entries: it reads as empty and is kept
    // aside when the log is next written.
    bool unusable = false;
};

// The whole log; a missing, unreadable or undecodable file gives no entries. Never throws.
[[nodiscard]] Contents read();

// Replaces the log atomically with the entries; an unusable file read before is renamed aside
// first. Throws BrimvaleError.
void write(const QList<TrashEntry>& entries, const Contents& before);

// The entries without those whose id equals `id`, the others in their order.
[[nodiscard]] QList<TrashEntry> without(const QList<TrashEntry>& entries, const QString& id);

} // namespace TrashLog

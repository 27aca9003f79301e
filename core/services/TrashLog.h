#pragma once

#include "model/TrashEntry.h"

#include <QList>
#include <QString>

// The restore log "trash_log.json" in the data directory: a JSON array of TrashEntry objects,
// oldest first. New records are first appended to the journal "trash_log.json.journal" beside
// it (one compact JSON object a line), so trashing costs the same whatever the log holds; every
// write of the log folds the journal in and then removes it. Callers that change either hold the
// log's lock ("trash_log.json.lock").
namespace TrashLog {

inline const QString fileName = QStringLiteral("trash_log.json");
inline const QString journalName = QStringLiteral("trash_log.json.journal");

struct Contents
{
    // The log's records, then the journal's that the log does not hold (by id).
    QList<TrashEntry> entries;
    // A file is there but is not an array of complete entries: its records read as absent and
    // it is kept aside when the log is next written.
    bool unusable = false;
    // A journal is there, to be removed once the log holding its records is written.
    bool journaled = false;
    // The journal holds a line that is not a complete record (a process killed mid-append, or
    // damage): it is kept aside instead of removed.
    bool journalDamaged = false;
};

// The whole log with the journal folded in; a missing, unreadable or undecodable log gives no
// entries of its own. The journal is read before the log, so a fold running meanwhile can only
// repeat a record, which the id check drops. Never throws.
[[nodiscard]] Contents read();

// Replaces the log atomically with the entries (an unusable file read before is renamed aside
// first), then removes the journal read before, or keeps it aside when it was damaged. Throws
// BrimvaleError.
void write(const QList<TrashEntry>& entries, const Contents& before);

// Appends the record to the journal: one write, whatever the log and the journal hold. A line
// left unfinished by a killed process is ended first, so it never swallows this one. Throws
// BrimvaleError.
void append(const TrashEntry& entry);

// Writes the log with the journal folded in when a journal is there. Throws BrimvaleError.
void fold();

// The entries without those whose id equals `id`, the others in their order.
[[nodiscard]] QList<TrashEntry> without(const QList<TrashEntry>& entries, const QString& id);

} // namespace TrashLog

#pragma once

#include "model/ModelEntry.h"
#include "services/TrashEntry.h"
#include "services/TrashOutcome.h"

#include <QList>
#include <QString>
#include <QStringList>

// Moves the items of catalogue entries to the desktop Trash and keeps the restore log
// "trash_log.json", from which they can be put back or deleted for good. Every call is
// synchronous and may come from any thread; changes of the log are serialised within the
// process and, through "trash_log.json.lock", with other processes.
namespace TrashService {

// Moves every existing path of the model to the Trash and appends one record to the log. Never
// throws: the first problem is the outcome's error.
[[nodiscard]] TrashOutcome moveToTrash(const ModelEntry& model);

// The records whose items are still (at least partly) in the Trash, newest first; records with
// equal times keep their order in the log. Never throws.
[[nodiscard]] QList<TrashEntry> entries();

// Moves the items of the record back to their old paths (recreating missing folders, never
// replacing anything) and removes the record. Items no longer in the Trash are skipped. Returns
// the old paths that were put back. Throws BrimvaleError; nothing is moved when a check fails.
QStringList restore(const QString& id);

// Deletes the items of the record for good and removes the record. Throws BrimvaleError;
// nothing is deleted when a check fails.
void deletePermanently(const QString& id);

} // namespace TrashService

#pragma once

#include "fs/FileLock.h"
#include "model/ModelEntry.h"
#include "model/StopToken.h"
#include "model/TrashEntry.h"
#include "services/DeleteOutcome.h"
#include "services/RestoreOutcome.h"
#include "services/TrashOutcome.h"

#include <QList>
#include <QString>

// Moves the items of catalogue entries to the desktop Trash and keeps the restore log
// "trash_log.json", from which they can be put back or deleted for good. Every call is
// synchronous, never throws and may come from any thread; changes of the log are serialised
// within the process and, through "trash_log.json.lock", with other processes. `wait` limits how
// long a call waits for another Brimvale's lock (no limit by default); when it runs out the call
// fails with kind busy and nothing has changed.
namespace TrashService {

// Moves every existing path of the model to the Trash and appends one record to the log. The
// first problem is the outcome's error. The limited wait applies only before anything is moved:
// once items are in the Trash, their record is appended however long that takes.
[[nodiscard]] TrashOutcome moveToTrash(const ModelEntry& model, LockWait wait = std::nullopt);

// Trashes the models one after the other, one record each, appended to the log's journal as
// each model is done; the log itself is written once, after the last. A stop request, checked
// before each model, or a busy log ends the loop: the outcomes of the models handled so far are
// returned and the others are untouched.
[[nodiscard]] QList<TrashOutcome> moveToTrash(const QList<ModelEntry>& models,
                                              const StopToken* stop = nullptr,
                                              LockWait wait = std::nullopt);

// The records with at least one item of their own still in the Trash, newest first; records with
// equal times keep their order in the log.
[[nodiscard]] QList<TrashEntry> entries();

// Moves the record's items back to their old paths (recreating missing folders, never replacing
// anything) and removes the record. Items no longer in the Trash are skipped; when none is left
// the record is removed and the call fails with kind nothingLeft. Nothing is moved when a check
// fails; items put back before a later failure stay back and the record stays.
[[nodiscard]] RestoreOutcome restore(const QString& id, LockWait wait = std::nullopt);

// Deletes the record's items for good and removes the record; items no longer in the Trash are
// skipped. Nothing is deleted when a check fails.
[[nodiscard]] DeleteOutcome deletePermanently(const QString& id, LockWait wait = std::nullopt);

} // namespace TrashService

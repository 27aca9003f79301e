#pragma once

#include "app/SidebarItem.h"
#include "app/SortKey.h"
#include "model/ModelEntry.h"

#include <QCollator>
#include <QDateTime>
#include <QList>
#include <QString>

// The lists the model table shows, derived from a scan.
namespace ModelList {

// The days since its last use after which an entry counts as not used lately.
inline constexpr int kUnusedDays = 90;

// Whether the entry was last read more than kUnusedDays before `now` (never, when the drive
// does not record reads).
[[nodiscard]] bool unusedLately(const ModelEntry& entry, const QDateTime& now);

// Whether the entry belongs to the sidebar item (see entriesFor).
[[nodiscard]] bool belongsTo(const ModelEntry& entry, const SidebarItem& item,
                             const QDateTime& now);

// The search text with blanks and tabs trimmed at both ends.
[[nodiscard]] QString trimmedSearch(const QString& search);
// Whether the entry's name or primary path contains the trimmed, non-empty needle, ignoring case.
[[nodiscard]] bool matches(const ModelEntry& entry, const QString& needle);

// Whether a sorts before b by the keys; the collator compares texts (numeric mode).
[[nodiscard]] bool lessThan(const ModelEntry& a, const ModelEntry& b, const QList<SortKey>& keys,
                            const QCollator& collator);

// The entries that belong to the sidebar item, in scan order. A folder item holds every entry
// whose primary path lies inside the folder, whatever its source; the trash item holds none;
// "Not Used Lately" those unusedLately at `now`.
[[nodiscard]] QList<ModelEntry> entriesFor(const QList<ModelEntry>& models, const SidebarItem& item,
                                           const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace ModelList

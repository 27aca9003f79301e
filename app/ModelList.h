#pragma once

#include "app/SidebarItem.h"
#include "app/SortKey.h"
#include "model/ModelEntry.h"

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

// The entries that belong to the sidebar item, in scan order. A folder item holds every entry
// whose primary path lies inside the folder, whatever its source; the trash item holds none;
// "Not Used Lately" those unusedLately at `now`.
[[nodiscard]] QList<ModelEntry> entriesFor(const QList<ModelEntry>& models, const SidebarItem& item,
                                           const QDateTime& now = QDateTime::currentDateTimeUtc());

// The entries whose name or primary path contains the search text (blanks and tabs trimmed at
// both ends), ignoring case; all of them when the trimmed text is empty.
[[nodiscard]] QList<ModelEntry> matching(const QList<ModelEntry>& models, const QString& search);

// A stable sort by the keys, most significant first. Texts follow the locale's collation with
// runs of digits compared by value.
void sort(QList<ModelEntry>& models, const QList<SortKey>& keys);

} // namespace ModelList

#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <QSet>
#include <QString>

// Which entry of a full scan lists a file, so that no file is counted twice.
namespace ClaimedPaths {

// Whether the path, or a folder above it, is among the claimed paths (all compared without
// trailing slashes).
[[nodiscard]] bool covers(const QSet<QString>& claimed, const QString& path);

// Lists each file at most once, keeping the order of the rest: a custom-folder or loose entry
// whose every path an earlier entry already claims (that path or a folder above it) is left
// out, and of the custom entries that list one file through nested stored folders only the one
// found through the outermost folder stays. An entry of a later source (see
// ModelSource::givesWay) any of whose paths an earlier entry claims is left out.
void dropRepeats(QList<ModelEntry>& models);

} // namespace ClaimedPaths

#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <QStringList>

// What a scan tells about use: when each entry was last read, and which are open right now.
namespace UsageMarks {

// Drops lastUsed where the file system holding the entry's data does not record reads, then
// marks the entries whose data files a running process has open or mapped (see OpenFiles) and
// the Ollama tags named in `ollamaLoaded` (as /api/ps lists them; in use by "Ollama"): such an
// entry gets inUseBy and a risky deleteRisk.
void apply(QList<ModelEntry>& models, const QStringList& ollamaLoaded);

} // namespace UsageMarks

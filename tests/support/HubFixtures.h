#pragma once

#include "model/SourceScan.h"

#include <QString>
#include <QStringList>

// Hugging Face hub caches for the scanner tests, and read-outs of what a scan made of them.
namespace HubFixtures {

// Fixtures::makeTree lines of the repository folder `repo`: refs "main" -> c1 and "pr/1" -> c2;
// c3 named by no ref. Blobs (their size in bytes): a (1, c1), s (2, c1 and c3), p (3, c2),
// d (4, c3), n (5, c3 in a subfolder), o (6, no snapshot); c3 also holds a file "own" (7).
[[nodiscard]] QStringList threeRevisions(const QString& repo);

// "id size P:paths" per entry, then " D:" and the data files when there are some, then " !"
// when the detail says files are missing; entries joined by ";", every path shown relative to
// `base`.
[[nodiscard]] QString describe(const SourceScan& scan, const QString& base);

// Whether every symbolic link under the folders resolves to an existing file; false when a
// folder is missing or holds no link.
[[nodiscard]] bool linksResolve(const QStringList& folders);

} // namespace HubFixtures

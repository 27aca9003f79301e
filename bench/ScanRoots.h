#pragma once

#include <QStringList>

// The folders a scan without loose files walks, for comparing the scan with `du -sb` over
// exactly the same roots.
namespace ScanRoots {

// Existing roots of every source scanner (and the given custom folders), nested ones dropped.
[[nodiscard]] QStringList walkedBy(const QStringList& customFolders);

} // namespace ScanRoots

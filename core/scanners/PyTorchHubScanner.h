#pragma once

#include "model/SourceScan.h"

#include <QDateTime>
#include <QString>

// The PyTorch Hub cache: downloaded checkpoints and repositories.
namespace PyTorchHubScanner {

// $TORCH_HOME/hub when the variable is set, else $XDG_CACHE_HOME/torch/hub (~/.cache when that
// is not set); variables expanded as Python tools expand them.
[[nodiscard]] QString hubDir();
// One entry per file of at least 1 MB in "checkpoints" (one per unfinished "*.partial"
// download unchanged in the ten minutes before `now`), then one per repository folder
// "{owner}_{repo}_{ref}".
[[nodiscard]] SourceScan scan(const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace PyTorchHubScanner

#pragma once

#include "model/SourceScan.h"

#include <QDateTime>
#include <QString>

// Docker Model Runner's model store.
namespace DockerModelsScanner {

// $MODELS_PATH, else ~/.docker/models.
[[nodiscard]] QString storeDir();
// One entry per tag of "models.json", holding its model's blobs under "blobs/sha256/"; a blob
// that other tags name too is shared: counted in the size, not in what removing the tag frees,
// and the detail names the sharing. Then one entry per unfinished "blobs/**/*.incomplete"
// unchanged in the ten minutes before `now`, and, when every model was read, one per blob no
// model names that has not changed in the hour before `now` (none while a download runs).
[[nodiscard]] SourceScan scan(const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace DockerModelsScanner

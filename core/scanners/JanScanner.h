#pragma once

#include "model/SourceScan.h"

#include <QStringList>

// Jan's data folders.
namespace JanScanner {

// $XDG_DATA_HOME/Jan/data, $XDG_CONFIG_HOME/Jan/data, ~/jan: those that exist, each once.
[[nodiscard]] QStringList dataDirs();
// Per data folder: one entry per model folder holding a model file, "llamacpp/models/{org}/
// {repo}" (or one level up, where the model sits there) named "{org}/{repo}", and the older
// "models/{id}"; then "llamacpp/backends" whole, as "Jan inference engines".
[[nodiscard]] SourceScan scan();

} // namespace JanScanner

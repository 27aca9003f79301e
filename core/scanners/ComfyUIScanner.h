#pragma once

#include "SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// ComfyUI model folders, including those named by extra_model_paths.yaml.
namespace ComfyUIScanner {

[[nodiscard]] SourceScan scan();
[[nodiscard]] QStringList extraModelPaths(const QString& yaml);

} // namespace ComfyUIScanner

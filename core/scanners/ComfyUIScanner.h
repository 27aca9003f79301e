#pragma once

#include "model/SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

// ComfyUI model folders, including those named by extra_model_paths.yaml.
namespace ComfyUIScanner {

// One entry per model file in the category folders of every installation root and of every
// base path its extra_model_paths.yaml names; each root is searched once.
[[nodiscard]] SourceScan scan();
// The existing folders named by the "base_path:" lines of one extra_model_paths.yaml, in file
// order. A relative value is taken relative to the file's folder; an unreadable, non-UTF-8 or
// oversized file (over 1 MiB), or one that is not a regular file, names nothing. With a
// section, only the lines of the top-level sections with that key count.
[[nodiscard]] QStringList extraModelPaths(const QString& yaml,
                                          std::optional<QStringView> section = std::nullopt);
// The installation roots that exist, in search order, before any extra base paths.
[[nodiscard]] QStringList roots();

} // namespace ComfyUIScanner

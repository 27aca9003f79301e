#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

// The Hugging Face caches beside the hub: the xet cache and the datasets library's cache.
namespace HuggingFaceCaches {

// The xet cache as one entry, when it holds any file; then, per top-level folder of the
// datasets cache holding at least 1,000,000 bytes, one entry ("downloads" as the downloaded
// dataset files). A cache folder that is a link, or that is, holds or lies inside one of
// `taken` (or the cache listed before it) is left out, so no file is counted twice.
[[nodiscard]] QList<ModelEntry> entries(const QString& xetCache, const QString& datasetsCache,
                                        QStringList taken);

} // namespace HuggingFaceCaches

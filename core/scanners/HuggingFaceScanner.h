#pragma once

#include "model/SourceScan.h"

#include <QDateTime>
#include <QString>

// The Hugging Face caches: the hub (models, datasets and spaces, their old revisions and
// unfinished downloads), the xet cache and the datasets library's cache. Every path variable is
// read with `~` and `$NAME` expanded as the hub's own library does.
namespace HuggingFaceScanner {

// $HF_HOME when set, not empty and existing; else $XDG_CACHE_HOME/huggingface when that
// variable is set and the folder exists; else ~/.cache/huggingface.
[[nodiscard]] QString cacheDir();
// $HF_HUB_CACHE, else the older $HUGGINGFACE_HUB_CACHE, else cacheDir()/hub.
[[nodiscard]] QString hubDir();
// $HF_XET_CACHE, else cacheDir()/xet.
[[nodiscard]] QString xetDir();
// $HF_DATASETS_CACHE, else cacheDir()/datasets.
[[nodiscard]] QString datasetsDir();
// Per repository folder of the hub, its entries (see HubRepository::entries), in byte order of
// the folders; then those of the xet and datasets caches. A "blobs" folder that links elsewhere
// is sized and taken with its repository unless another repository's links there too or it
// overlaps another store. Never reports errors.
[[nodiscard]] SourceScan scan(const QDateTime& now = QDateTime::currentDateTimeUtc());
// The entries scan() gives for the repositories of one hub folder, wherever it is.
[[nodiscard]] SourceScan scanHub(const QString& hub,
                                 const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace HuggingFaceScanner

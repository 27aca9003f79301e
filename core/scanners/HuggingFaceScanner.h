#pragma once

#include "model/SourceScan.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

// The Hugging Face hub cache: one entry per repository, and one per unfinished download.
namespace HuggingFaceScanner {

// $HF_HOME when set, not empty and existing; else $XDG_CACHE_HOME/huggingface when that
// variable is set and the folder exists; else ~/.cache/huggingface.
[[nodiscard]] QString cacheDir();
// One entry per "models--" folder of the hub ($HF_HUB_CACHE, else cacheDir/hub), sized by the
// regular files in its "blobs" and "snapshots" folders, followed by one per unfinished download
// ("blobs/*.incomplete", not counted in the repository) unchanged in the ten minutes before
// `now`. Never reports errors.
[[nodiscard]] SourceScan scan(const QDateTime& now = QDateTime::currentDateTimeUtc());
// The entries scan() gives for the repositories of one hub folder, wherever it is.
[[nodiscard]] SourceScan scanHub(const QString& hub,
                                 const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace HuggingFaceScanner

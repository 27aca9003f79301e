#pragma once

#include "model/SourceScan.h"

#include <QDateTime>
#include <QStringList>

// GPT4All's model folders.
namespace Gpt4AllScanner {

// $XDG_DATA_HOME/nomic.ai/GPT4All, then ~/.cache/gpt4all; those that exist, each folder once.
[[nodiscard]] QStringList folders();
// One entry per ".gguf" or ".bin" file of at least 1 MB directly in those folders, and one per
// unfinished download ("incomplete-{file}") unchanged in the ten minutes before `now`.
[[nodiscard]] SourceScan scan(const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace Gpt4AllScanner

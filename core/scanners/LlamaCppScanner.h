#pragma once

#include "model/SourceScan.h"

#include <QDateTime>
#include <QString>

// llama.cpp's download cache, in its older flat layout and its newer Hugging Face one.
namespace LlamaCppScanner {

// $LLAMA_CACHE, else $XDG_CACHE_HOME/llama.cpp (~/.cache when that is not set).
[[nodiscard]] QString cacheDir();
// One entry per ".gguf" of the flat layout (its ".etag" counted with it), named
// "{owner}/{repo}/{file}" where a "manifest={owner}={repo}={tag}.json" names the file; one per
// unfinished "*.downloadInProgress" unchanged in the ten minutes before `now`; then the
// repositories of the "models--*" folders read as the Hugging Face scanner reads a hub, their
// ids "llamacpp-" followed by that scanner's.
[[nodiscard]] SourceScan scan(const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace LlamaCppScanner

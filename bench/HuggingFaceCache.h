#pragma once

#include "HomePlan.h"

// A Hugging Face hub cache under .cache/huggingface: many model repositories (and a few
// datasets), each with content-addressed blobs, snapshots of relative symlinks into them and
// refs; a few large repositories hold sparse multi-gigabyte weights.
namespace HuggingFaceCache {

void plan(HomePlan& plan);

} // namespace HuggingFaceCache

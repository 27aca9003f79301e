#pragma once

#include "HomePlan.h"

// Model files outside the big stores: a large custom folder (~/Models-archive: datasets of
// many small files, training checkpoints, embeddings, and large sparse .gguf/.safetensors files,
// two of them identical and one differing from them only past the first 64 KiB), LM Studio,
// ComfyUI and Whisper models.
namespace ModelFolders {

void plan(HomePlan& plan);

} // namespace ModelFolders

#pragma once

#include "HomePlan.h"

// An Ollama model store under .ollama/models: JSON manifests four levels below "manifests"
// (registry, namespace, model, tag) whose layers name sha256 blobs in "blobs". Tags of one
// model share their weights blob, tags of one family share template, licence and parameters;
// the weights are sparse files with a real GGUF head. One blob is referenced by no tag and one
// is a partial download.
namespace OllamaStore {

void plan(HomePlan& plan);

} // namespace OllamaStore

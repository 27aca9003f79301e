#pragma once

#include "model/SourceScan.h"

#include <QStringList>

// Stable Diffusion WebUI installations (and their forks with the same folders).
namespace SdWebUiScanner {

// ~/stable-diffusion-webui, ~/stable-diffusion-webui-forge, ~/sd-webui-forge,
// ~/stable-diffusion-webui-reForge, then the base paths of the "a111" sections of each ComfyUI
// installation's extra_model_paths.yaml: those that exist, each folder once.
[[nodiscard]] QStringList installs();
// One entry per model file of at least 1 MB below "models/{kind}/" and "embeddings/" of each
// installation, the detail naming the folder's kind.
[[nodiscard]] SourceScan scan();

} // namespace SdWebUiScanner

#pragma once

#include "HomePlan.h"

// The user's own folders: Downloads, Documents (projects with hidden .git and .venv folders,
// notes with a hidden .obsidian folder) and Desktop, each with hidden entries and loose model
// files; a pip cache; a desktop Trash.
namespace UserFolders {

void plan(HomePlan& plan);

} // namespace UserFolders

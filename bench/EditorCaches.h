#pragma once

#include "HomePlan.h"

// Caches of many small files kept by editors and AI coding assistants: Cursor's per-project
// workspace storage and application caches under .config/Cursor, its chats and extensions
// under .cursor, VS Code extensions, and the stores of Claude Code, Continue, Codeium and
// Copilot.
namespace EditorCaches {

void plan(HomePlan& plan);

} // namespace EditorCaches

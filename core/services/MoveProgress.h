#pragma once

#include <QString>
#include <functional>

// The steps of moving one item, in order. A move within one filesystem only renames and links.
enum class MoveStage
{
    renaming,  // the rename to the final name, tried first (the whole move within one filesystem)
    copying,   // across filesystems: the copy to ".brimvale-partial-<name>"
    verifying, // the copy and the source compared
    settingAside, // the copy renamed to its final name, the source to ".brimvale-moved-<name>"
    linking,      // the symlink at the old path
    cleaningUp    // ".brimvale-moved-<name>" deleted
};

// What a move reports while it runs, on the moving thread; either callback may be empty.
struct MoveProgress
{
    // The item's old path and the step about to start.
    std::function<void(const QString& path, MoveStage stage)> stage;
    // Bytes copied across filesystems so far by this move call.
    std::function<void(qint64 bytesCopied)> copied;
};

#pragma once

#include "fs/WalkTypes.h"

#include <QString>

// A parallel walk of a directory tree: one getdents64 listing per folder and at most one
// fstatat per entry, many folders in flight on threads of the walk's own. The root is opened
// like any path (a root that is a symlink to a folder is walked); nothing met inside the walk
// is followed. Unreadable entries are skipped and the walk goes on. A stop request (the options'
// token, else the thread's WalkScope) ends the walk early: no further folder is opened.
class DirectoryWalker
{
public:
    // Calls the visitor for every regular file of the tree whose level lies within the depth
    // range. A missing or unreadable root visits nothing. The visitor must not throw.
    static WalkStats walk(const QString& root, const WalkOptions& options, WalkVisitor& visitor);
    static WalkStats walk(const std::string& root, const WalkOptions& options,
                          WalkVisitor& visitor);

    // Threads a walk uses when the options leave it open.
    [[nodiscard]] static int defaultThreads();
};

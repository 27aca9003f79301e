#pragma once

#include "TreeWriter.h"

#include <string>

// Builds a synthetic home directory of about a million entries at scale 1 (counts of repeated
// units scale; the large model files do not): the same tree, names, sizes, contents and times
// for the same scale, whatever the number of threads.
namespace HomeGenerator {

struct Summary
{
    TreeWriter::Counts counts;
    double seconds = 0;
};

// Fills `root`, which must be missing or an empty folder. Throws std::runtime_error naming the
// path of the first failure.
Summary generate(const std::string& root, double scale, int threads);

} // namespace HomeGenerator

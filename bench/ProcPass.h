#pragma once

// The /proc pass of a scan (OpenFiles::holders) while many processes run.
namespace ProcPass {

// Starts `processes` children running `sleep`, one of which also holds a model file open, and
// times OpenFiles::holders over the data files of a scan `runs` times; prints each run and the
// median. The children are ended before it returns. Returns the exit status.
int run(int processes, int runs);

} // namespace ProcPass

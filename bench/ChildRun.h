#pragma once
// One side of a downloading benchmark in a child process of its own, so that
// its peak resident memory and CPU time (from wait4) are those of that one
// download, measured alike for every side.

#include <functional>

namespace bench {

struct ChildResult {
    double seconds = 0;     // wall time from fork to exit
    double cpuSeconds = 0;  // user + system time of the child
    double peakMiB = 0;     // the child's peak resident memory
    bool ok = false;        // exited with 0
};

// Forks, runs `child` there (its result is the exit code; it may exec) and
// waits for it.
ChildResult RunChild(const std::function<int()>& child);

}  // namespace bench

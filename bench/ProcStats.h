#pragma once
// What /proc says about a measured program: the proportional memory of it
// and of its web engine's helper processes, and the CPU time and wake-ups
// (context switches) of a process, per thread for a diagnosis.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

// PSS of the process from smaps_rollup, in MiB; 0 when it is gone.
double PssMiB(const std::string& pid);

// The web engine's helper processes of `parent` (direct children whose
// command starts with "WebKit"), by kind.
struct EngineProcesses {
    std::vector<std::string> web;      // WebKitWebProcess
    std::vector<std::string> network;  // WebKitNetworkProcess
    std::vector<std::string> other;    // any other WebKit helper
};
EngineProcesses EngineProcessesOf(pid_t parent);

// The PSS of a program and its helpers.
struct Memory {
    double processMiB = 0;  // the program's own process
    double webMiB = 0;      // its web processes
    double allMiB = 0;      // the program and every WebKit helper
    int webProcesses = 0;
};
Memory MeasureMemory(pid_t pid);

// CPU time and context switches of one process at one moment.
struct Activity {
    double cpuSeconds = 0;  // utime + stime of the process (every thread, ended ones too)
    // Voluntary + involuntary switches of each live thread, by thread id,
    // with the thread's name.
    std::map<std::string, std::pair<std::string, long long>> threads;
    long long Switches() const;
};
Activity ReadActivity(const std::string& pid);

// What happened between two readings of one process: CPU seconds and
// wake-ups, and the threads that woke up, "name(tid) count", busiest first.
struct ActivityDelta {
    double cpuSeconds = 0;
    long long wakeups = 0;
    std::vector<std::string> threads;
};
ActivityDelta Difference(const Activity& before, const Activity& after);

// The readings of several processes, and what happened in them since: the
// sums over them.
std::vector<Activity> ReadActivities(const std::vector<std::string>& pids);
ActivityDelta DifferenceNow(const std::vector<std::string>& pids, const std::vector<Activity>& before);

}  // namespace bench

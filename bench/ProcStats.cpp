#include "ProcStats.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/ChildProcesses.h"

namespace bench {

double PssMiB(const std::string& pid) {
    std::ifstream rollup("/proc/" + pid + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);)
        if (line.rfind("Pss:", 0) == 0)
            return std::atof(line.c_str() + 4) / 1024.0;
    return 0;
}

EngineProcesses EngineProcessesOf(pid_t parent) {
    EngineProcesses found;
    for (const vtest::ChildProcess& child : vtest::ChildProcessesOf(parent)) {
        if (child.state == 'Z' || child.command.rfind("WebKit", 0) != 0)
            continue;
        if (child.command.rfind("WebKitWebProces", 0) == 0)
            found.web.push_back(child.pid);
        else if (child.command.rfind("WebKitNetworkPr", 0) == 0)
            found.network.push_back(child.pid);
        else
            found.other.push_back(child.pid);
    }
    return found;
}

Memory MeasureMemory(pid_t pid) {
    Memory memory;
    memory.processMiB = PssMiB(std::to_string(pid));
    memory.allMiB = memory.processMiB;
    const EngineProcesses helpers = EngineProcessesOf(pid);
    for (const auto& web : helpers.web) {
        const double pss = PssMiB(web);
        memory.webMiB += pss;
        memory.allMiB += pss;
        ++memory.webProcesses;
    }
    for (const auto* list : {&helpers.network, &helpers.other})
        for (const auto& helper : *list)
            memory.allMiB += PssMiB(helper);
    return memory;
}

long long Activity::Switches() const {
    long long sum = 0;
    for (const auto& [tid, thread] : threads)
        sum += thread.second;
    return sum;
}

namespace {

// The text after the command's closing parenthesis of a stat line (the
// command may hold blanks and parentheses), and the command.
std::string StatFields(const std::string& path, std::string* command = nullptr) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    const auto open = line.find('(');
    const auto close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 > line.size())
        return {};
    if (command != nullptr)
        *command = line.substr(open + 1, close - open - 1);
    return line.substr(close + 2);
}

long long ContextSwitches(const std::string& statusPath) {
    std::ifstream in(statusPath);
    long long sum = 0;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
            line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            sum += std::atoll(line.c_str() + line.find(':') + 1);
    return sum;
}

}  // namespace

Activity ReadActivity(const std::string& pid) {
    Activity activity;
    // Fields 3.. of stat: state ppid ... utime is the 14th field, stime the
    // 15th, i.e. the 12th and 13th after the command.
    std::istringstream fields(StatFields("/proc/" + pid + "/stat"));
    std::string skip;
    for (int i = 0; i < 11 && fields >> skip; ++i) {
    }
    long long utime = 0;
    long long stime = 0;
    fields >> utime >> stime;
    activity.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    const std::string tasks = "/proc/" + pid + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string tid = entry->d_name;
            if (tid.find_first_not_of("0123456789") != std::string::npos)
                continue;
            std::string name;
            StatFields(tasks + "/" + tid + "/stat", &name);
            activity.threads[tid] = {name, ContextSwitches(tasks + "/" + tid + "/status")};
        }
        closedir(dir);
    }
    return activity;
}

ActivityDelta Difference(const Activity& before, const Activity& after) {
    ActivityDelta delta;
    delta.cpuSeconds = after.cpuSeconds - before.cpuSeconds;
    std::vector<std::pair<long long, std::string>> busy;
    for (const auto& [tid, thread] : after.threads) {
        // A thread born during the interval counts from zero.
        const auto old = before.threads.find(tid);
        const long long count = thread.second - (old != before.threads.end() ? old->second.second : 0);
        delta.wakeups += count;
        if (count > 0)
            busy.emplace_back(count, thread.first + "(" + tid + ") " + std::to_string(count));
    }
    std::sort(busy.rbegin(), busy.rend());
    for (auto& [count, text] : busy)
        delta.threads.push_back(std::move(text));
    return delta;
}

std::vector<Activity> ReadActivities(const std::vector<std::string>& pids) {
    std::vector<Activity> readings;
    for (const auto& pid : pids)
        readings.push_back(ReadActivity(pid));
    return readings;
}

ActivityDelta DifferenceNow(const std::vector<std::string>& pids, const std::vector<Activity>& before) {
    ActivityDelta total;
    for (std::size_t i = 0; i < pids.size() && i < before.size(); ++i) {
        const ActivityDelta d = Difference(before[i], ReadActivity(pids[i]));
        total.cpuSeconds += d.cpuSeconds;
        total.wakeups += d.wakeups;
        total.threads.insert(total.threads.end(), d.threads.begin(), d.threads.end());
    }
    return total;
}

}  // namespace bench

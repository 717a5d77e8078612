#pragma once
// The child processes of a process, read from /proc: for the tests and the
// benchmarks that count or weigh the web engine's helper processes. Header
// only, so that the benchmarks use it without the test support library.

#include <dirent.h>
#include <sys/types.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vtest {

struct ChildProcess {
    std::string pid;      // the /proc entry's name
    std::string command;  // cut to 15 characters by the kernel
    char state = 0;       // 'Z' for a child not yet reaped
};

inline std::vector<ChildProcess> ChildProcessesOf(pid_t parent) {
    std::vector<ChildProcess> children;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return children;
    while (dirent* entry = readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat("/proc/" + name + "/stat");
        std::string line;
        std::getline(stat, line);
        // The command is in parentheses and may itself hold blanks and ')'.
        const auto open = line.find('(');
        const auto close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent)
            children.push_back({name, line.substr(open + 1, close - open - 1), state});
    }
    closedir(proc);
    return children;
}

}  // namespace vtest

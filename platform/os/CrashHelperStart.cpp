#include "platform/os/CrashHelperStart.h"

#include <errno.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace os {

int SpawnAndWait(const char* path, char* const argv[]) {
    // A raw clone with fork semantics: no fork handlers run (they may take
    // locks the crashing thread holds) and the child only calls execve.
    const long pid = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        execve(path, argv, environ);
        _exit(127);
    }
    int status = 0;
    while (waitpid(static_cast<pid_t>(pid), &status, 0) < 0) {
        if (errno != EINTR) {
            return 0;  // SIGCHLD ignored: the child ran and was reaped by the kernel
        }
    }
    return status;
}

}  // namespace os

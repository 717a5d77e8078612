#pragma once
// Starting a helper program from the fatal path (the crash message is shown
// by a separate process, since the crashing one can no longer run a window).
// Async-signal-safe: no fork handlers run and the child only calls execve.

namespace os {

// Starts `path` with `argv` (null-terminated) and the current environment
// and waits for it. Returns its exit status as waitpid gives it, or -1 when it
// could not be started.
int SpawnAndWait(const char* path, char* const argv[]);

}  // namespace os

#pragma once
// The shell's "open" with the Windows shape. Opening a document or an
// address hands it to the desktop's opener (xdg-open, else `gio open`);
// opening a program (an absolute path to an executable file, or a bare
// program name found on PATH) runs it with the parameters. Either is
// started detached: in its own session, not our child (no zombie is left),
// with only standard input, output and error inherited.
//
// Only the verb "open" (or none, which means "open") is supported for now;
// any other verb answers SE_ERR_NOASSOC. The show mode has no meaning for a
// detached process and is ignored.

#include "platform/os/WinTypes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The window handle of the UI library (the same declaration; the shell only
// passes it on), and the module-handle type ShellExecute answers with.
struct WindowHandleTag;
using HWND = WindowHandleTag*;
struct ShellInstanceTag;
using HINSTANCE = ShellInstanceTag*;

// ShellExecute's answers of 32 and below are errors.
constexpr std::intptr_t SE_ERR_FNF = 2;       // the file, or the opener, was not found
constexpr std::intptr_t SE_ERR_NOASSOC = 31;  // no handling for the verb
constexpr std::intptr_t SE_ERR_OOM = 8;       // the process could not be made
constexpr std::intptr_t kShellExecuteStarted = 42;

// Answers a value above 32 (as HINSTANCE) when the opener or program was
// started, 32 or less when it could not be. `parameters` are split at
// spaces, double quotes grouping; `directory` (may be null) is the started
// process's working folder. Texts are UTF-16, as on Windows. Any thread.
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand);

namespace os {

// A Windows-style parameter text as arguments, the way ShellExecuteW splits
// its `parameters` (and an installer's command line is split): spaces and
// tabs separate, double quotes group and are dropped ("" gives an empty
// argument). Any thread.
std::vector<std::string> SplitParameters(std::string_view text);

// Starts `program` detached, as ShellExecuteW starts what it opens, with
// exactly `args` as its arguments: each element reaches the program as one
// argument whatever quotes, spaces or leading dashes it holds (a caller that
// passes text from outside decides itself what may look like an option).
// `program`: an absolute path to an executable file, or a bare name looked
// up on PATH. False when there is no such program or it could not be
// started. Any thread.
bool StartProgramDetached(const std::string& program, const std::vector<std::string>& args);

}  // namespace os

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

#include <chrono>
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

class Event;

// What became of a document handed to the desktop's opener.
enum class OpenOutcome {
    kNotStarted,  // no opener on PATH, it could not be started, or the path is not absolute
    kFailed,      // the opener ended with a failure (no application for the file's type, say)
    kOpened,      // the opener ended with success, or still runs when the wait ends
};

// How long OpenDocument waits for the opener's verdict. Openers hand the file
// to its application and end within a moment; one that is still running
// after this is taken to have opened it (some wait for the application).
inline constexpr std::chrono::milliseconds kOpenerVerdictWait{5000};

// Opens the document at the absolute `path` with the desktop's opener only
// (xdg-open, else `gio open`): a document is never run as a program, whatever
// its mode bits say. The opener starts in a session of its own with only the
// path as its argument, and its verdict is waited for up to `wait`, or until
// `stop` (may be null) is set, which counts as opened. Blocks: any thread
// but the UI thread.
OpenOutcome OpenDocument(const std::string& path, const Event* stop = nullptr,
                         std::chrono::milliseconds wait = kOpenerVerdictWait);

// How the file manager was asked to show a file.
enum class RevealOutcome {
    kNone,          // neither a file manager nor an opener could be reached
    kShownItem,     // the file manager's ShowItems selected the file
    kOpenedFolder,  // the folder holding the file was handed to the opener
};

// Shows the file at the absolute `path` selected in the desktop's file
// manager (org.freedesktop.FileManager1 ShowItems on the session bus, as
// "explorer /select," does on Windows); without a session bus, or without a
// file manager that answers within two seconds, the folder holding the file
// is opened with the desktop's opener instead (started detached, not waited
// for). Any thread; blocks up to the bus's two seconds.
RevealOutcome RevealInFileManager(const std::string& path);

}  // namespace os

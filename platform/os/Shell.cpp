#include "platform/os/Shell.h"

#include "platform/os/ChildProcess.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Event.h"
#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"
#include "platform/os/Text.h"
#include "platform/os/UniqueFd.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

HINSTANCE Answer(std::intptr_t value) {
    return reinterpret_cast<HINSTANCE>(value);
}

std::string ToUtf8(LPCWSTR text) {
    return text != nullptr ? os::Utf16ToUtf8(std::u16string_view(text)) : std::string();
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program a bare name means on PATH; empty when there is none.
std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr || name.empty() || name.find('/') != std::string::npos)
        return {};
    std::string_view rest(path);
    while (true) {
        const std::size_t colon = rest.find(':');
        // An empty entry names the current folder. The candidate is built by
        // appending views: assigning a literal to a string here made GCC 12's
        // optimiser see an overlapping copy that cannot happen (-Wrestrict).
        std::string_view folder = rest.substr(0, colon);
        if (folder.empty())
            folder = ".";
        std::string candidate;
        candidate.reserve(folder.size() + 1 + name.size());
        candidate.append(folder).append(1, '/').append(name);
        if (IsExecutableFile(candidate))
            return candidate;
        if (colon == std::string_view::npos)
            return {};
        rest.remove_prefix(colon + 1);
    }
}

// Starts `program` with `args` detached (double fork, new session); the
// grandchild reports a failed exec through a close-on-exec pipe. True once
// the program runs.
bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                   const std::string& directory) {
    // Everything the children use is prepared here: after fork only
    // async-signal-safe calls are made, on raw descriptors (the children
    // leave through _exit, never through a destructor).
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const char* workDir = directory.empty() ? nullptr : directory.c_str();

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    os::UniqueFd readEnd(pipeFds[0]);
    os::UniqueFd writeEnd(pipeFds[1]);
    const pid_t middle = ::fork();
    if (middle < 0)
        return false;
    if (middle == 0) {
        const int report = writeEnd.Get();
        ::close(readEnd.Get());
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            if (grandchild < 0) {
                const int error = errno;
                (void)!::write(report, &error, sizeof error);
            }
            ::_exit(0);
        }
        // The client ignores SIGPIPE and may block signals on this thread;
        // the program starts with the defaults and an empty mask.
        struct sigaction defaultAction {};
        defaultAction.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            ::sigaction(sig, &defaultAction, nullptr);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // Nothing of ours beyond standard input, output and error reaches
        // the program: every other descriptor closes on exec (the pipe too,
        // which tells the parent that the exec happened).
        if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
            for (int fd = 3; fd < 4096; ++fd)
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        if (workDir != nullptr && ::chdir(workDir) != 0) {
            const int error = errno;
            (void)!::write(report, &error, sizeof error);
            ::_exit(127);
        }
        ::execv(argv[0], argv.data());
        const int error = errno;
        (void)!::write(report, &error, sizeof error);
        ::_exit(127);
    }
    writeEnd.Close();
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    // Nothing but the end of the pipe: the program runs. An errno from a
    // child: it does not.
    const std::optional<std::string> report = os::ReadAll(readEnd.Get(), sizeof(int));
    return report && report->empty();
}

// The desktop's opener with its arguments for `target`: xdg-open, else
// `gio open`; empty when neither is on PATH.
std::vector<std::string> OpenerCommand(const std::string& target) {
    if (std::string opener = FindOnPath("xdg-open"); !opener.empty())
        return {std::move(opener), target};
    if (std::string gio = FindOnPath("gio"); !gio.empty())
        return {std::move(gio), "open", target};
    return {};
}

// The file manager's interface on the session bus.
constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";
constexpr const char* kFileManagerInterface = "org.freedesktop.FileManager1";
// A file manager that does not answer within this time is taken as absent.
constexpr int kFileManagerCallLimitMs = 2000;

// Asks the file manager on the session bus of the current environment to
// show `path` selected. A private connection, closed again: revealing a file
// is rare, and the environment may name another bus next time.
bool ShowItemOnBus(const std::string& path) {
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
    if (uri == nullptr) {
        g_clear_error(&error);
        return false;
    }
    const std::string itemUri = uri;
    g_free(uri);
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (address == nullptr) {
        g_clear_error(&error);
        return false;
    }
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_free(address);
    if (connection == nullptr) {
        g_clear_error(&error);
        return false;
    }
    // A bus that goes away must never end the client.
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    const gchar* items[] = {itemUri.c_str(), nullptr};
    GVariant* reply =
        g_dbus_connection_call_sync(connection, kFileManagerService, kFileManagerPath, kFileManagerInterface,
                                    "ShowItems", g_variant_new("(^ass)", items, ""), nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, kFileManagerCallLimitMs, nullptr, &error);
    if (reply == nullptr)
        DebugPrint("file manager: %s not shown: %s", path.c_str(),
                   error != nullptr ? error->message : "no reply");
    else
        g_variant_unref(reply);
    g_clear_error(&error);
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
    return reply != nullptr;
}

// `name` as the program to start: an absolute path to an executable file,
// or a bare name found on PATH; empty for anything else.
std::string ResolveProgram(const std::string& name) {
    if (!name.empty() && name.front() == '/')
        return IsExecutableFile(name) ? name : std::string();
    return FindOnPath(name);
}

}  // namespace

HINSTANCE ShellExecuteW(HWND /*owner*/, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int /*showCommand*/) {
    const std::string verbText = ToUtf8(verb);
    if (!verbText.empty() && !os::AsciiEqualsIgnoreCase(verbText, "open"))
        return Answer(SE_ERR_NOASSOC);
    const std::string target = ToUtf8(file);
    // An empty target, or one an opener would take for an option, opens
    // nothing.
    if (target.empty() || target.front() == '-')
        return Answer(SE_ERR_FNF);
    const std::string workDir = ToUtf8(directory);

    // A program is run with the parameters, as opening a program does on
    // Windows. An address (it has a scheme, so a ':') never names one.
    const std::string program = target.find(':') == std::string::npos || target.front() == '/'
                                    ? ResolveProgram(target)
                                    : std::string();
    if (!program.empty())
        return Answer(StartDetached(program, os::SplitParameters(ToUtf8(parameters)), workDir)
                          ? kShellExecuteStarted
                          : SE_ERR_OOM);

    if (const std::string opener = FindOnPath("xdg-open"); !opener.empty())
        return Answer(StartDetached(opener, {target}, workDir) ? kShellExecuteStarted : SE_ERR_OOM);
    if (const std::string gio = FindOnPath("gio"); !gio.empty())
        return Answer(StartDetached(gio, {"open", target}, workDir) ? kShellExecuteStarted : SE_ERR_OOM);
    return Answer(SE_ERR_FNF);
}

namespace os {

std::vector<std::string> SplitParameters(std::string_view text) {
    std::vector<std::string> args;
    std::string current;
    bool quoted = false;
    bool any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any)
                args.push_back(std::move(current));
            current.clear();
            any = false;
        } else {
            current.push_back(c);
            any = true;
        }
    }
    if (any)
        args.push_back(std::move(current));
    return args;
}

bool StartProgramDetached(const std::string& program, const std::vector<std::string>& args) {
    const std::string path = ResolveProgram(program);
    return !path.empty() && StartDetached(path, args, {});
}

OpenOutcome OpenDocument(const std::string& path, const Event* stop, std::chrono::milliseconds wait) {
    // Only an absolute path: anything else could reach the opener as an
    // option or an address.
    if (path.empty() || path.front() != '/')
        return OpenOutcome::kNotStarted;
    std::vector<std::string> command = OpenerCommand(path);
    if (command.empty())
        return OpenOutcome::kNotStarted;
    const std::string program = command.front();
    command.erase(command.begin());
    std::optional<ChildProcess> opener = ChildProcess::Start(program, command);
    if (!opener)
        return OpenOutcome::kNotStarted;
    if (opener->WaitForExitOrStop(stop, wait) != ChildProcess::WaitResult::kExited)
        return OpenOutcome::kOpened;  // still at it: its exit is collected in the background
    const int status = opener->ExitStatus().value_or(-1);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? OpenOutcome::kOpened : OpenOutcome::kFailed;
}

RevealOutcome RevealInFileManager(const std::string& path) {
    if (path.empty() || path.front() != '/')
        return RevealOutcome::kNone;
    if (ShowItemOnBus(path))
        return RevealOutcome::kShownItem;
    const std::string folder = ParentFolder(path);
    std::vector<std::string> command = OpenerCommand(folder.empty() ? std::string("/") : folder);
    if (command.empty())
        return RevealOutcome::kNone;
    const std::string program = command.front();
    command.erase(command.begin());
    return StartDetached(program, command, {}) ? RevealOutcome::kOpenedFolder : RevealOutcome::kNone;
}

}  // namespace os

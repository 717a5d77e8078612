#include "web/AutomationChannel.h"

#include "diag/RunLog.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/duilib/UiCall.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/Backend.h"
#include "platform/os/LocalSocket.h"
#include "platform/os/Text.h"
#include "web/WkeLoader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace {

using os::UniqueFd;

// A peer that does not take its reply within this time is dropped.
constexpr int kSendTimeoutMs = 3000;
// Drivers at once (the journey, a benchmark, a person with a shell); more
// are turned away.
constexpr std::size_t kMaxConnections = 8;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Text as JSON may carry it: malformed UTF-8 becomes U+FFFD.
std::string CleanText(const std::string& text) {
    return os::Utf16ToUtf8(os::Utf8ToUtf16(text));
}

// ---- looks at the windows (UI thread) ----------------------------------------------

// The window's rectangle as the display shows it; the window layer's record
// where the back end has no display of its own.
RECT ScreenRect(HWND hwnd) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    if (const std::optional<RECT> shown = DuiLib::GetBackend().DisplayedRect(hwnd))
        rect = *shown;
    return rect;
}

// The control's window and the control, laid out as they will be drawn;
// `error` says what is missing.
DuiLib::CControlUI* FindControlIn(const std::string& className, const std::string& name, HWND& hwnd,
                                  std::string& error) {
    hwnd = DuiLib::Automation::WindowOfClass(className);
    if (hwnd == nullptr) {
        error = "no window of class " + className;
        return nullptr;
    }
    if (DuiLib::CPaintManagerUI* manager = DuiLib::Automation::ManagerOf(hwnd)) {
        // Positions are only right once the layout has run; the next paint
        // would run it anyway.
        if (manager->IsUpdateNeeded())
            manager->UpdateLayout();
        if (DuiLib::CControlUI* control = manager->FindControl(name))
            return control;
    }
    error = "no control " + name + " in window " + className;
    return nullptr;
}

RECT ControlScreenRect(HWND hwnd, const DuiLib::CControlUI& control) {
    const RECT window = ScreenRect(hwnd);
    const RECT& pos = control.GetPos();
    return RECT{window.left + pos.left, window.top + pos.top, window.left + pos.right,
                window.top + pos.bottom};
}

DuiLib::CWkeWebkitUI* FindView(const AutomationRequest& request, HWND& hwnd, std::string& error) {
    DuiLib::CControlUI* control = FindControlIn(request.window, request.name, hwnd, error);
    auto* view = DuiLib::ControlCast<DuiLib::CWkeWebkitUI>(control);
    if (control != nullptr && view == nullptr)
        error = request.name + " is not a web view";
    return view;
}

// ---- the engine's answer to a measuring script ------------------------------------

// Shared by the waiting channel thread and the engine's callback, which may
// come after the wait gave up.
struct ScriptWait {
    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    std::optional<std::string> json;
    std::string error;
};

// UI thread (the engine's callback); `param` is a heap-held reference that
// the callback releases.
void OnScriptResult(wkeWebView, void* param, const char* json, const char* error) {
    const std::unique_ptr<std::shared_ptr<ScriptWait>> hold(static_cast<std::shared_ptr<ScriptWait>*>(param));
    ScriptWait& wait = **hold;
    std::lock_guard lock(wait.mutex);
    wait.answered = true;
    if (json != nullptr)
        wait.json = json;
    else
        wait.error = error != nullptr ? error : "";
    wait.done.notify_all();
}

}  // namespace

// ---- starting and stopping ---------------------------------------------------------

std::unique_ptr<AutomationChannel> AutomationChannel::StartFromEnvironment() {
    const char* path = std::getenv(kSocketVariable);
    if (path == nullptr || path[0] == '\0')
        return nullptr;
    return Start(path, Options{});
}

std::string AutomationChannel::UnfitReason(const std::string& path) {
    sockaddr_un addr{};
    if (!os::MakeLocalAddress(path, addr))
        return "the socket path is empty or too long";
    struct stat folder {};
    if (::stat(FolderOf(path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return "its folder does not exist";
    if (folder.st_uid != ::getuid())
        return "its folder belongs to another user";
    if ((folder.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "its folder is writable by others";
    struct stat there {};
    if (::lstat(path.c_str(), &there) != 0)
        return {};
    if (!S_ISSOCK(there.st_mode))
        return "something else is at the socket path";
    // A socket nobody answers on is a dead run's: replaced. One that
    // answers belongs to a live one.
    const UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (probe.Valid() &&
        ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 &&
        errno == ECONNREFUSED) {
        ::unlink(path.c_str());
        return {};
    }
    return "another program listens at the socket path";
}

AutomationChannel::AutomationChannel(std::string path, const Options& options)
    : m_path(std::move(path)), m_options(options) {}

std::unique_ptr<AutomationChannel> AutomationChannel::Start(const std::string& path, const Options& options) {
    const auto off = [&](const std::string& why) {
        WriteRunLog("automation channel off (" + path + "): " + why + "\n");
        return nullptr;
    };
    if (const std::string why = UnfitReason(path); !why.empty())
        return off(why);
    std::unique_ptr<AutomationChannel> channel(new AutomationChannel(path, options));
    channel->m_socket.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    channel->m_stop.Reset(::eventfd(0, EFD_CLOEXEC));
    sockaddr_un addr{};
    os::MakeLocalAddress(path, addr);
    if (!channel->m_socket.Valid() || !channel->m_stop.Valid() ||
        ::bind(channel->m_socket.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0)
        return off(std::string("cannot make the socket: ") + std::strerror(errno));
    // Nobody can connect before listen(): the mode is right before the first
    // peer comes.
    struct stat st {};
    if (::chmod(path.c_str(), 0600) != 0 || ::lstat(path.c_str(), &st) != 0 ||
        ::listen(channel->m_socket.Get(), 4) != 0) {
        ::unlink(path.c_str());
        return off(std::string("cannot listen: ") + std::strerror(errno));
    }
    channel->m_device = st.st_dev;
    channel->m_inode = st.st_ino;
    AutomationChannel* raw = channel.get();
    channel->m_thread = std::thread([raw] { raw->Serve(); });
    WriteRunLog("automation channel listens on " + path + "\n");
    return channel;
}

AutomationChannel::~AutomationChannel() {
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_stop.Get(), &one, sizeof(one));
        m_thread.join();
    }
    // Only our own socket goes: another run may have replaced it.
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode)
        ::unlink(m_path.c_str());
}

// ---- serving (the channel's thread) ------------------------------------------------

void AutomationChannel::Serve() {
    std::vector<Connection> connections;
    for (;;) {
        std::vector<pollfd> fds{{m_stop.Get(), POLLIN, 0}, {m_socket.Get(), POLLIN, 0}};
        for (const Connection& connection : connections)
            fds.push_back({connection.fd.Get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        // Back to front, so that a closed connection's removal leaves the
        // indices still to visit as they were.
        for (std::size_t i = connections.size(); i-- > 0;) {
            if (fds[i + 2].revents != 0 && !ServeConnection(connections[i]))
                connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if ((fds[1].revents & POLLIN) != 0)
            Accept(connections);
    }
}

void AutomationChannel::Accept(std::vector<Connection>& connections) const {
    UniqueFd peer(::accept4(m_socket.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!peer.Valid())
        return;
    ucred cred{};
    socklen_t len = sizeof(cred);
    if (::getsockopt(peer.Get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid() ||
        connections.size() >= kMaxConnections)
        return;
    timeval tv{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
    ::setsockopt(peer.Get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    connections.push_back(Connection{std::move(peer), {}});
}

// Reads what the peer sent and answers its complete lines; false when the
// connection ends (the peer went, or sent a line over the limit).
bool AutomationChannel::ServeConnection(Connection& connection) const {
    char chunk[1024];
    const ssize_t n = ::recv(connection.fd.Get(), chunk, sizeof(chunk), 0);
    if (n < 0 && errno == EINTR)
        return true;
    if (n <= 0)
        return false;
    std::string& pending = connection.pending;
    pending.append(chunk, static_cast<std::size_t>(n));
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        std::string_view line(pending.data(), end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > kMaxAutomationLine)
            return false;
        const bool sent = line.empty() || os::SendAll(connection.fd.Get(), Answer(line));
        pending.erase(0, end + 1);
        if (!sent)
            return false;
    }
    // The line feed is still to come: a request already too long ends the
    // connection now rather than once its end arrives.
    return pending.size() <= kMaxAutomationLine + 1;
}

std::string AutomationChannel::Answer(std::string_view line) const {
    std::string error;
    const std::optional<AutomationRequest> request = DecodeAutomationRequest(line, error);
    if (!request)
        return EncodeAutomationError(error);
    switch (request->op) {
        case AutomationRequest::Op::Windows:
            return AnswerWindows();
        case AutomationRequest::Op::Control:
            return AnswerControl(*request);
        case AutomationRequest::Op::Element:
            return AnswerElement(*request);
        case AutomationRequest::Op::Url:
            return AnswerUrl(*request);
    }
    return EncodeAutomationError("unknown op");
}

std::string AutomationChannel::AnswerWindows() const {
    Json::Value windows(Json::arrayValue);
    const bool ran = DuiLib::UiCall(
        [&] {
            for (HWND hwnd : DuiLib::EnumWindows()) {
                Json::Value window(Json::objectValue);
                window["class"] = CleanText(::GetClassNameW(hwnd));
                window["title"] = CleanText(::GetWindowTextW(hwnd));
                window["visible"] = ::IsWindowVisible(hwnd) != FALSE;
                window["rect"] = RectToJson(ScreenRect(hwnd));
                windows.append(window);
            }
        },
        DuiLib::UiCallLimits{.begin = m_options.uiDeadline});
    if (!ran)
        return EncodeAutomationError("the windows did not answer in time");
    Json::Value reply(Json::objectValue);
    reply["windows"] = windows;
    return EncodeAutomationReply(reply);
}

std::string AutomationChannel::AnswerControl(const AutomationRequest& request) const {
    Json::Value reply(Json::objectValue);
    std::string error;
    const bool ran = DuiLib::UiCall(
        [&] {
            HWND hwnd = nullptr;
            const DuiLib::CControlUI* control = FindControlIn(request.window, request.name, hwnd, error);
            if (control == nullptr)
                return;
            reply["rect"] = RectToJson(ControlScreenRect(hwnd, *control));
            reply["visible"] = control->IsVisible() && ::IsWindowVisible(hwnd) != FALSE;
            reply["enabled"] = control->IsEnabled();
            reply["text"] = CleanText(control->GetText());
            // Where the keys go: the control has its window's focus and the
            // window the keyboard; "hot": lit as under the mouse (a menu's
            // entry the arrows moved to).
            const DuiLib::CPaintManagerUI* manager = control->GetManager();
            reply["focused"] = control->IsFocused() && ::GetFocus() == hwnd;
            reply["hot"] = manager != nullptr && manager->GetHover() == control;
        },
        DuiLib::UiCallLimits{.begin = m_options.uiDeadline});
    if (!ran)
        return EncodeAutomationError("the windows did not answer in time");
    return error.empty() ? EncodeAutomationReply(reply) : EncodeAutomationError(error);
}

std::string AutomationChannel::AnswerElement(const AutomationRequest& request) const {
    auto wait = std::make_shared<ScriptWait>();
    RECT viewRect{};
    std::string error;
    const std::string script = ElementScript(request.selector);
    const bool ran = DuiLib::UiCall(
        [&] {
            HWND hwnd = nullptr;
            DuiLib::CWkeWebkitUI* view = FindView(request, hwnd, error);
            if (view == nullptr)
                return;
            // The view that shows the page; none is made for the asking.
            DuiLib::IWkeViewPeer* peer = view->GetViewPeer();
            const wkeWebView engineView = peer != nullptr ? peer->GetWebView() : nullptr;
            const wkeEvaluateScriptFn evaluate = WkeFunctions().wkeEvaluateScript;
            if (engineView == nullptr || evaluate == nullptr) {
                error = request.name + " has no page to measure";
                return;
            }
            viewRect = ControlScreenRect(hwnd, *view);
            // Ownership of the reference goes to the engine's callback.
            evaluate(engineView, script.c_str(), &OnScriptResult, new std::shared_ptr<ScriptWait>(wait));
        },
        DuiLib::UiCallLimits{.begin = m_options.uiDeadline});
    if (!ran)
        return EncodeAutomationError("the windows did not answer in time");
    if (!error.empty())
        return EncodeAutomationError(error);
    std::unique_lock lock(wait->mutex);
    if (!wait->done.wait_for(lock, m_options.scriptDeadline, [&] { return wait->answered; }))
        return EncodeAutomationError("the page did not answer in time");
    if (!wait->json)
        return EncodeAutomationError("the page could not run the query: " + wait->error);
    const std::optional<std::optional<RECT>> rect = ElementRectOnScreen(*wait->json, viewRect);
    if (!rect)
        return EncodeAutomationError("the page's answer is not a box");
    Json::Value reply(Json::objectValue);
    reply["rect"] = *rect ? RectToJson(**rect) : Json::Value(Json::nullValue);
    return EncodeAutomationReply(reply);
}

std::string AutomationChannel::AnswerUrl(const AutomationRequest& request) const {
    std::string url;
    std::string error;
    const bool ran = DuiLib::UiCall(
        [&] {
            HWND hwnd = nullptr;
            const DuiLib::CWkeWebkitUI* view = FindView(request, hwnd, error);
            if (view == nullptr)
                return;
            // The engine knows where the page went since (its own links);
            // the control knows what it was asked to load.
            const DuiLib::IWkeViewPeer* peer = view->GetViewPeer();
            const wkeGetURLFn getUrl = WkeFunctions().wkeGetURL;
            const char* shown = peer != nullptr && peer->GetWebView() != nullptr && getUrl != nullptr
                                    ? getUrl(peer->GetWebView())
                                    : nullptr;
            url = shown != nullptr && shown[0] != '\0' ? shown : view->GetUrl();
        },
        DuiLib::UiCallLimits{.begin = m_options.uiDeadline});
    if (!ran)
        return EncodeAutomationError("the windows did not answer in time");
    if (!error.empty())
        return EncodeAutomationError(error);
    Json::Value reply(Json::objectValue);
    reply["url"] = CleanText(url);
    return EncodeAutomationReply(reply);
}

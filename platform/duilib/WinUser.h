#pragma once
// The Win32 window functions the library and the client call, with their
// Windows names and behaviour, over the library's own window records.
// Windows are top-level (an owner, no parent). Texts are UTF-8.
//
// Threads: IsWindow, PostMessageW, SendMessageW and the PostOwned helpers
// may be called from any thread. Everything else belongs to the UI thread;
// called from another thread it fails (null, FALSE, 0) as a call for a
// window of another thread would.

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UIDefine.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

// ---- constants ------------------------------------------------------------------
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(1);
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(-1);
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(-2);

constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr UINT GW_OWNER = 4;
constexpr UINT SPI_GETWORKAREA = 0x0030;
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM WA_CLICKACTIVE = 2;

constexpr DWORD AW_HIDE = 0x00010000;
constexpr DWORD AW_ACTIVATE = 0x00020000;
constexpr DWORD AW_BLEND = 0x00080000;

constexpr WORD LOWORD(std::uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
constexpr LPARAM MAKELPARAM(long lo, long hi) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(lo) & 0xFFFF) |
                               ((static_cast<std::uint32_t>(hi) & 0xFFFF) << 16));
}
// Signed coordinates out of a mouse message's lParam.
constexpr long GET_X_LPARAM(LPARAM lp) {
    return static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lp)));
}
constexpr long GET_Y_LPARAM(LPARAM lp) {
    return static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lp)));
}

// ---- the Win32 functions ----------------------------------------------------------
BOOL IsWindow(HWND hwnd);
BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// On the UI thread: calls the window at once. From another thread: hands the
// call to the UI thread and waits for it; 0 when the window is gone (or goes
// before the call runs, even when no loop runs any more to come to it).
LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
// The default handling of a message: WM_CLOSE destroys the window,
// WM_SYSCOMMAND maximises, minimises, restores or closes it.
LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

BOOL ShowWindow(HWND hwnd, int cmdShow);
BOOL IsWindowVisible(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
BOOL DestroyWindow(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND hwnd);
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL ClientToScreen(HWND hwnd, POINT* pt);
BOOL ScreenToClient(HWND hwnd, POINT* pt);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL repaint);
HWND GetParent(HWND hwnd);
HWND GetWindow(HWND hwnd, UINT cmd);
inline HWND GetWindowOwner(HWND hwnd) {
    return GetWindow(hwnd, GW_OWNER);
}
// Top-level windows by class name and title (UTF-8, compared without regard
// to ASCII letter case); null matches any.
HWND FindWindowW(const char* className, const char* windowName);
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, void* timerProc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
BOOL GetCursorPos(POINT* pt);
// Negative (high bit set) while Shift, Control or Alt was down at the last
// key message taken from the queue; 0 otherwise. UI thread.
short GetKeyState(int vk);
BOOL IsZoomed(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL SetWindowTextW(HWND hwnd, std::string_view text);
std::string GetWindowTextW(HWND hwnd);
std::string GetClassNameW(HWND hwnd);
long GetWindowLongW(HWND hwnd, int index);
long SetWindowLongW(HWND hwnd, int index, long value);
BOOL SystemParametersInfoW(UINT action, UINT param, void* out, UINT winIni);

// The system message box (MB_* style bits; IDOK, IDYES, IDNO answers),
// shown by the back end. Texts are UTF-8. Any thread; it blocks the caller
// until answered.
int MessageBoxW(HWND owner, std::string_view text, std::string_view caption, UINT type);

namespace DuiLib {

// The work area of the monitor a window is on (the main screen's).
RECT GetMonitorWorkArea(HWND hwnd);

// How a window receives its messages.
using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

struct WindowCreateParams {
    std::string className;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    int cx = CW_USEDEFAULT;
    int cy = CW_USEDEFAULT;
    HWND owner = nullptr;
};

// Creates a window on the calling thread (which becomes the UI thread if
// none is yet): WM_CREATE (-1 from it fails the creation: the window is
// destroyed and null returned), WM_SIZE and WM_MOVE, then shows it when the
// style asks for WS_VISIBLE.
HWND CreateWindowRecord(const WindowCreateParams& params, WindowProc proc);
// Lets the windows' paint managers see a message before it is dispatched
// (their pre-filters: the dialogs' Return and Escape keys, Tab between
// controls). True when one of them consumed it. Every message loop calls it.
bool TranslateUiMessage(const MSG& msg);
// The paint managers install their pre-translation here when the first of
// them gets a pre-filter (the window layer does not depend on them).
void SetUiMessageTranslator(bool (*translate)(const MSG&));
// Another program took the activation: the active window is told it is
// inactive and loses the focus (a display back end reports it). UI thread.
void DeactivateApplication();
// Every live window, in creation order (UI thread).
std::vector<HWND> EnumWindows();
// Destroys every window (the harness's clean-up between UI threads).
void DestroyAllWindows();

namespace detail {
template <typename T>
void DeletePayload(std::uintptr_t value) {
    // The hand-off of a message payload ends here, unused.
    delete reinterpret_cast<T*>(value);
}
}  // namespace detail

// Posts a message whose lParam is a heap object handed to the receiver.
// When the window is gone at post time, at delivery, or the queue is dropped
// with the message still in it, the object is deleted here instead (a null
// window, which would leave the object to nobody, is refused the same way).
// Any thread.
template <typename T>
bool PostOwned(HWND hwnd, UINT msg, WPARAM wParam, std::unique_ptr<T> payload) {
    const auto value = reinterpret_cast<std::uintptr_t>(payload.release());
    return MessageQueue::Instance().Post(hwnd, msg, wParam, static_cast<LPARAM>(value), nullptr,
                                         value != 0 ? &detail::DeletePayload<T> : nullptr);
}

// The same for a payload carried in wParam (the menu message's item name).
template <typename T>
bool PostOwnedWParam(HWND hwnd, UINT msg, std::unique_ptr<T> payload, LPARAM lParam) {
    const auto value = reinterpret_cast<std::uintptr_t>(payload.release());
    return MessageQueue::Instance().Post(hwnd, msg, static_cast<WPARAM>(value), lParam,
                                         value != 0 ? &detail::DeletePayload<T> : nullptr, nullptr);
}

// Runs `call` on the UI thread on behalf of `hwnd` and waits until it has
// returned: the hand-over SendMessageW makes, for work that is not a window
// message (a worker's question to the user, a modal box shown by the UI
// thread while the worker waits for its answer). The per-window form of
// UiCall (UiCall.h): no deadline while the window lives. On the UI thread it
// runs at once. False, with `call` not run, when `hwnd` is not a window, or is
// gone before the UI thread comes to the call, or the queue is dropped first;
// a call that has begun is waited for to its end. Any thread.
bool SendCall(HWND hwnd, const std::function<void()>& call);

// A message box as shown: what tests see through the sink.
struct MessageBoxRecord {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
};
// Sees every system message box before the back end shows it; an answer it
// returns replaces the back end's (a test answering "yes"). Null removes it.
using MessageBoxSink = std::function<std::optional<int>(const MessageBoxRecord&)>;
void SetMessageBoxSink(MessageBoxSink sink);

}  // namespace DuiLib

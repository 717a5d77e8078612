#include "platform/duilib/WinUser.h"

#include "platform/duilib/InstanceChannel.h"
#include "platform/duilib/UiCall.h"
#include "platform/duilib/backend/Backend.h"
#include "platform/duilib/backend/Screen.h"
#include "platform/os/Text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace DuiLib {
namespace {

struct WindowRecord {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowProc> proc;
    std::string className;
    std::string title;
    HWND owner = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect;
    // The normal rectangle (as WINDOWPLACEMENT's): where the window goes when
    // it is restored. It follows the rectangle while the window is neither
    // maximised nor minimised. `normalPlaced` tells whether anybody placed
    // it (a position given at creation or later, or a show in that state);
    // one never placed is centred in the work area when first restored.
    RECT restoreRect;
    bool normalPlaced = false;
    bool restoreToMaximized = false;
    bool destroying = false;
};

// The window records, the stacking order and the focus belong to the UI
// thread; only the live-handle set (in the queue) is shared with others.
struct WindowTable {
    std::map<std::uintptr_t, std::unique_ptr<WindowRecord>> windows;
    std::vector<HWND> zOrder;  // front is top
    HWND active = nullptr;
    HWND focus = nullptr;
    std::uintptr_t nextHandle = 0x10000;
};

WindowTable& Table() {
    static WindowTable table;
    return table;
}

std::uintptr_t Key(HWND hwnd) {
    return reinterpret_cast<std::uintptr_t>(hwnd);
}

WindowRecord* Find(HWND hwnd) {
    if (hwnd == nullptr || !MessageQueue::Instance().IsUiThread())
        return nullptr;
    auto& windows = Table().windows;
    auto it = windows.find(Key(hwnd));
    return it == windows.end() ? nullptr : it->second.get();
}

LRESULT Deliver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return 0;
    // Keep the procedure alive for the call: the window may be destroyed
    // (and its object deleted) inside it.
    std::shared_ptr<WindowProc> proc = rec->proc;
    return (*proc)(hwnd, msg, wParam, lParam);
}

bool IsUsable(HWND hwnd) {
    const WindowRecord* rec = Find(hwnd);
    return rec != nullptr && !rec->destroying && (rec->style & WS_VISIBLE) != 0 &&
           (rec->style & WS_DISABLED) == 0;
}

void RaiseToTop(HWND hwnd) {
    auto& z = Table().zOrder;
    std::erase(z, hwnd);
    z.insert(z.begin(), hwnd);
}

LPARAM ClientSize(const WindowRecord& rec) {
    return MAKELPARAM(rec.rect.Width(), rec.rect.Height());
}

void SetFocusInternal(HWND hwnd) {
    WindowTable& table = Table();
    const HWND old = table.focus;
    if (old == hwnd)
        return;
    table.focus = hwnd;
    if (Find(old) != nullptr)
        Deliver(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd != nullptr && table.focus == hwnd && Find(hwnd) != nullptr)
        Deliver(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
}

void Activate(HWND hwnd) {
    WindowTable& table = Table();
    if (const WindowRecord* rec = Find(hwnd); rec != nullptr && rec->destroying)
        return;  // a window going away takes neither activation nor focus
    const HWND old = table.active;
    if (old != hwnd) {
        table.active = hwnd;
        if (Find(old) != nullptr) {
            Deliver(old, WM_NCACTIVATE, FALSE, 0);
            Deliver(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
        }
        const WindowRecord* rec = Find(hwnd);
        if (rec != nullptr && !rec->destroying && table.active == hwnd) {
            RaiseToTop(hwnd);
            GetBackend().WindowActivated(hwnd);
            Deliver(hwnd, WM_NCACTIVATE, TRUE, 0);
            Deliver(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
        }
    }
    // The focus follows the activation (a window without a focused child
    // takes the focus itself).
    if (table.active == hwnd) {
        const WindowRecord* rec = Find(hwnd);
        if (rec == nullptr || (rec->style & WS_DISABLED) == 0)
            SetFocusInternal(hwnd);
    }
}

// `leaving` stops being the active window (hidden, disabled or going away):
// its owner takes over when it can, else the topmost other usable window.
void ActivateOther(HWND leaving) {
    WindowTable& table = Table();
    if (table.active != leaving && table.focus != leaving)
        return;
    HWND next = nullptr;
    const WindowRecord* rec = Find(leaving);
    if (rec != nullptr && IsUsable(rec->owner))
        next = rec->owner;
    if (next == nullptr) {
        for (HWND candidate : table.zOrder) {
            if (candidate != leaving && IsUsable(candidate)) {
                next = candidate;
                break;
            }
        }
    }
    if (next != nullptr) {
        Activate(next);
    } else {
        if (table.focus == leaving)
            SetFocusInternal(nullptr);
        if (table.active == leaving) {
            table.active = nullptr;
            Deliver(leaving, WM_NCACTIVATE, FALSE, 0);
            Deliver(leaving, WM_ACTIVATE, WA_INACTIVE, 0);
        }
    }
}

// Applies a new rectangle and tells the window what changed.
void Place(HWND hwnd, const RECT& rect, WPARAM sizeKind) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return;
    const bool moved = rect.left != rec->rect.left || rect.top != rec->rect.top;
    const bool sized = rect.Width() != rec->rect.Width() || rect.Height() != rec->rect.Height();
    rec->rect = rect;
    if ((rec->style & (WS_MAXIMIZE | WS_MINIMIZE)) == 0)
        rec->restoreRect = rect;
    if (moved || sized)
        GetBackend().WindowMoved(hwnd, rect);
    if (moved)
        Deliver(hwnd, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
    if (sized || sizeKind != SIZE_RESTORED) {
        if ((rec = Find(hwnd)) != nullptr)
            Deliver(hwnd, WM_SIZE, sizeKind, sizeKind == SIZE_MINIMIZED ? 0 : ClientSize(*rec));
    }
}

// Visibility change with WM_SHOWWINDOW first, as the window sees it before
// it appears.
bool SetVisible(HWND hwnd, bool show) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return false;
    const bool was = (rec->style & WS_VISIBLE) != 0;
    if (was == show)
        return was;
    Deliver(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if ((rec = Find(hwnd)) == nullptr)
        return was;
    if (show)
        rec->style |= WS_VISIBLE;
    else
        rec->style &= ~WS_VISIBLE;
    if (show && (rec->style & (WS_MAXIMIZE | WS_MINIMIZE)) == 0)
        rec->normalPlaced = true;
    GetBackend().WindowShown(hwnd, show);
    MessageQueue::Instance().NoteWindowChange();
    if (!show)
        ActivateOther(hwnd);
    return was;
}

// Tells the back end the state bits or the extended style changed.
void NoteStyle(HWND hwnd) {
    if (const WindowRecord* rec = Find(hwnd))
        GetBackend().WindowStyleChanged(hwnd, rec->style, rec->exStyle);
}

void Maximize(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return;
    if ((rec->style & (WS_MAXIMIZE | WS_MINIMIZE)) == 0)
        rec->restoreRect = rec->rect;
    rec->style = (rec->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
    NoteStyle(hwnd);
    Place(hwnd, GetMonitorWorkArea(hwnd), SIZE_MAXIMIZED);
}

void Minimize(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || (rec->style & WS_MINIMIZE) != 0)
        return;
    rec->restoreToMaximized = (rec->style & WS_MAXIMIZE) != 0;
    if (!rec->restoreToMaximized)
        rec->restoreRect = rec->rect;
    rec->style = (rec->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
    NoteStyle(hwnd);
    Deliver(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
}

// Where a restored window goes: its normal rectangle, centred in the work
// area when nobody ever placed it, and kept inside the work area (a window
// larger than it is cut to it), so that its caption and system buttons can
// be reached.
RECT NormalRectOnRestore(WindowRecord& rec) {
    const RECT work = GetMonitorWorkArea(rec.hwnd);
    RECT normal = rec.restoreRect;
    const long width = std::min(normal.Width(), work.Width());
    const long height = std::min(normal.Height(), work.Height());
    long x = normal.left;
    long y = normal.top;
    if (!rec.normalPlaced) {
        x = work.left + (work.Width() - width) / 2;
        y = work.top + (work.Height() - height) / 2;
    }
    x = std::clamp(x, work.left, work.right - width);
    y = std::clamp(y, work.top, work.bottom - height);
    rec.normalPlaced = true;
    return RECT{x, y, x + width, y + height};
}

void Restore(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return;
    if ((rec->style & WS_MINIMIZE) != 0) {
        rec->style &= ~WS_MINIMIZE;
        if (rec->restoreToMaximized) {
            rec->style |= WS_MAXIMIZE;
            NoteStyle(hwnd);
            Place(hwnd, GetMonitorWorkArea(hwnd), SIZE_MAXIMIZED);
        } else {
            NoteStyle(hwnd);
            Place(hwnd, NormalRectOnRestore(*rec), SIZE_RESTORED);
        }
    } else if ((rec->style & WS_MAXIMIZE) != 0) {
        rec->style &= ~WS_MAXIMIZE;
        NoteStyle(hwnd);
        Place(hwnd, NormalRectOnRestore(*rec), SIZE_RESTORED);
    }
}

}  // namespace

RECT GetMonitorWorkArea(HWND /*hwnd*/) {
    return GetMainScreen().workArea;
}

HWND CreateWindowRecord(const WindowCreateParams& params, WindowProc proc) {
    MessageQueue& queue = MessageQueue::Instance();
    if (!queue.BindUiThread() || !proc)
        return nullptr;
    WindowTable& table = Table();
    const HWND hwnd = reinterpret_cast<HWND>(table.nextHandle++);
    auto rec = std::make_unique<WindowRecord>();
    rec->hwnd = hwnd;
    rec->proc = std::make_shared<WindowProc>(std::move(proc));
    rec->className = params.className;
    rec->title = params.title;
    rec->owner = Find(params.owner) != nullptr ? params.owner : nullptr;
    rec->style = params.style & ~WS_VISIBLE;
    rec->exStyle = params.exStyle;
    // CW_USEDEFAULT: a cascade position and a size that fit the work area.
    const RECT work = GetMainScreen().workArea;
    const long x = params.x == CW_USEDEFAULT ? work.left + 26 : params.x;
    const long y = params.x == CW_USEDEFAULT ? work.top + 26 : params.y;
    const long cx = params.cx == CW_USEDEFAULT ? work.Width() * 3 / 4 : std::max(params.cx, 0);
    const long cy = params.cx == CW_USEDEFAULT ? work.Height() * 3 / 4 : std::max(params.cy, 0);
    rec->rect = RECT{x, y, x + cx, y + cy};
    rec->restoreRect = rec->rect;
    rec->normalPlaced = params.x != CW_USEDEFAULT;
    table.windows.emplace(Key(hwnd), std::move(rec));
    table.zOrder.push_back(hwnd);
    queue.AddWindow(hwnd);
    GetBackend().WindowCreated(hwnd, params.className, params.owner);

    if (Deliver(hwnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (WindowRecord* r = Find(hwnd)) {
        Deliver(hwnd, WM_SIZE, SIZE_RESTORED, ClientSize(*r));
    }
    if (WindowRecord* r = Find(hwnd)) {
        Deliver(hwnd, WM_MOVE, 0, MAKELPARAM(r->rect.left, r->rect.top));
    }
    if (Find(hwnd) != nullptr && (params.style & WS_VISIBLE) != 0)
        ::ShowWindow(hwnd, SW_SHOW);
    queue.NoteWindowChange();
    return Find(hwnd) != nullptr ? hwnd : nullptr;
}

namespace {
std::atomic<bool (*)(const MSG&)> g_translator{nullptr};
}  // namespace

bool TranslateUiMessage(const MSG& msg) {
    bool (*translate)(const MSG&) = g_translator.load();
    return translate != nullptr && translate(msg);
}

void SetUiMessageTranslator(bool (*translate)(const MSG&)) {
    g_translator.store(translate);
}

void DeactivateApplication() {
    WindowTable& table = Table();
    const HWND old = table.active;
    if (old == nullptr || Find(old) == nullptr)
        return;
    table.active = nullptr;
    Deliver(old, WM_NCACTIVATE, FALSE, 0);
    Deliver(old, WM_ACTIVATE, WA_INACTIVE, 0);
    if (table.focus != nullptr)
        SetFocusInternal(nullptr);
}

std::vector<HWND> EnumWindows() {
    std::vector<HWND> result;
    if (!MessageQueue::Instance().IsUiThread())
        return result;
    for (const auto& [key, rec] : Table().windows) {
        if (!rec->destroying)
            result.push_back(rec->hwnd);
    }
    return result;
}

void DestroyAllWindows() {
    // Owned windows go with their owners; the rest one by one.
    for (HWND hwnd : EnumWindows())
        ::DestroyWindow(hwnd);
}

}  // namespace DuiLib

using namespace DuiLib;

BOOL IsWindow(HWND hwnd) {
    return hwnd != nullptr && MessageQueue::Instance().IsLive(hwnd) ? TRUE : FALSE;
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return MessageQueue::Instance().Post(hwnd, msg, wParam, lParam) ? TRUE : FALSE;
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (MessageQueue::Instance().IsUiThread())
        return Deliver(hwnd, msg, wParam, lParam);
    if (!IsWindow(hwnd))
        return 0;
    // As a sent message: the sender waits while the window lives.
    LRESULT result = 0;
    UiCall([&] { result = Deliver(hwnd, msg, wParam, lParam); },
           UiCallLimits{.begin = kNoDeadline, .window = hwnd});
    return result;
}

namespace DuiLib {

bool SendCall(HWND hwnd, const std::function<void()>& call) {
    if (!IsWindow(hwnd))
        return false;
    return UiCall(call, UiCallLimits{.begin = kNoDeadline, .window = hwnd});
}

}  // namespace DuiLib

void PostQuitMessage(int exitCode) {
    MessageQueue::Instance().PostQuit(exitCode);
}

BOOL GetMessageW(MSG* msg, HWND /*hwnd*/, UINT /*filterMin*/, UINT /*filterMax*/) {
    if (msg == nullptr)
        return -1;
    MessageQueue& queue = MessageQueue::Instance();
    if (!queue.BindUiThread()) {
        // Only the UI thread has a queue to wait on; another thread's loop
        // ends at once instead of taking the UI thread's messages.
        *msg = MSG{nullptr, WM_QUIT, 0, 0, 0, {}};
        return FALSE;
    }
    return queue.GetMessage(*msg) ? TRUE : FALSE;
}

BOOL PeekMessageW(MSG* msg, HWND /*hwnd*/, UINT /*filterMin*/, UINT /*filterMax*/, UINT removeMsg) {
    if (msg == nullptr || !MessageQueue::Instance().IsUiThread())
        return FALSE;
    return MessageQueue::Instance().PeekMessage(*msg, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* /*msg*/) {
    // Key-downs are not turned into characters: input arrives as WM_CHAR.
    return FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr)
        return 0;
    return Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM /*lParam*/) {
    switch (msg) {
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_MAXIMIZE:
                    ShowWindow(hwnd, SW_SHOWMAXIMIZED);
                    break;
                case SC_MINIMIZE:
                    ShowWindow(hwnd, SW_MINIMIZE);
                    break;
                case SC_RESTORE:
                    ShowWindow(hwnd, SW_RESTORE);
                    break;
                case SC_CLOSE:
                    SendMessageW(hwnd, WM_CLOSE, 0, 0);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_NCACTIVATE:
            return TRUE;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_NCLBUTTONDBLCLK: {
            // A double click on the caption maximises or restores a window
            // that has a maximise box, through its system command (which
            // the window may refuse).
            const WindowRecord* rec = Find(hwnd);
            if (wParam == static_cast<WPARAM>(HTCAPTION) && rec != nullptr &&
                (rec->style & WS_MAXIMIZEBOX) != 0)
                SendMessageW(hwnd, WM_SYSCOMMAND, IsZoomed(hwnd) || IsIconic(hwnd) ? SC_RESTORE : SC_MAXIMIZE,
                             0);
            return 0;
        }
        default:
            return 0;
    }
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
    // A window of another process (found through the instance channel)
    // shows itself when its process gets the request.
    if (InstanceChannel::IsRemoteHandle(hwnd))
        return InstanceChannel::Instance().RequestShow(hwnd, cmdShow) ? TRUE : FALSE;
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return FALSE;
    const bool was = (rec->style & WS_VISIBLE) != 0;
    switch (cmdShow) {
        case SW_HIDE:
            SetVisible(hwnd, false);
            break;
        case SW_SHOWMAXIMIZED: {
            // Shown maximised is not shown in the normal state: the normal
            // rectangle stays as unplaced as it was.
            const bool placed = rec->normalPlaced;
            SetVisible(hwnd, true);
            if ((rec = Find(hwnd)) != nullptr)
                rec->normalPlaced = placed;
            Maximize(hwnd);
            Activate(hwnd);
            break;
        }
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
            SetVisible(hwnd, true);
            Minimize(hwnd);
            if (cmdShow == SW_MINIMIZE)
                ActivateOther(hwnd);
            else
                Activate(hwnd);
            break;
        case SW_RESTORE:
        case SW_SHOWNORMAL:
            SetVisible(hwnd, true);
            if (cmdShow == SW_RESTORE || IsIconic(hwnd) || IsZoomed(hwnd))
                Restore(hwnd);
            Activate(hwnd);
            break;
        case SW_SHOWNOACTIVATE:
            SetVisible(hwnd, true);
            break;
        default:  // SW_SHOW and the rest
            SetVisible(hwnd, true);
            Activate(hwnd);
            break;
    }
    return was ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
    const WindowRecord* rec = Find(hwnd);
    return rec != nullptr && (rec->style & WS_VISIBLE) != 0 ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return FALSE;
    const bool wasDisabled = (rec->style & WS_DISABLED) != 0;
    if (wasDisabled == (enable == FALSE))
        return wasDisabled ? TRUE : FALSE;
    if (enable) {
        rec->style &= ~WS_DISABLED;
    } else {
        rec->style |= WS_DISABLED;
        // A disabled window cannot keep the keyboard focus.
        if (Table().focus == hwnd)
            SetFocusInternal(nullptr);
    }
    GetBackend().WindowEnabled(hwnd, enable != FALSE);
    Deliver(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    const WindowRecord* rec = Find(hwnd);
    return rec != nullptr && (rec->style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || rec->destroying)
        return FALSE;
    rec->destroying = true;
    WindowTable& table = Table();
    // Owned windows go first, as on Windows.
    std::vector<HWND> owned;
    for (const auto& [key, other] : table.windows) {
        if (other->owner == hwnd && !other->destroying)
            owned.push_back(other->hwnd);
    }
    for (HWND child : owned)
        DestroyWindow(child);
    if ((rec = Find(hwnd)) != nullptr && (rec->style & WS_VISIBLE) != 0) {
        rec->style &= ~WS_VISIBLE;
        GetBackend().WindowShown(hwnd, false);
    }
    ActivateOther(hwnd);
    if (table.active == hwnd)
        table.active = nullptr;
    if (table.focus == hwnd)
        table.focus = nullptr;
    Deliver(hwnd, WM_DESTROY, 0, 0);
    Deliver(hwnd, WM_NCDESTROY, 0, 0);
    // From here the handle names nothing; queued messages for it are dropped
    // with their payloads.
    // Its handlers may have tried to take the focus back while going.
    if (table.active == hwnd)
        table.active = nullptr;
    if (table.focus == hwnd)
        table.focus = nullptr;
    MessageQueue::Instance().RemoveWindow(hwnd);
    std::erase(table.zOrder, hwnd);
    for (auto& [key, other] : table.windows) {
        if (other->owner == hwnd)
            other->owner = nullptr;
    }
    table.windows.erase(Key(hwnd));
    GetBackend().WindowDestroyed(hwnd);
    MessageQueue::Instance().NoteWindowChange();
    return TRUE;
}

HWND SetFocus(HWND hwnd) {
    if (!MessageQueue::Instance().IsUiThread())
        return nullptr;
    WindowTable& table = Table();
    const HWND old = table.focus;
    if (hwnd == nullptr) {
        SetFocusInternal(nullptr);
        return old;
    }
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || rec->destroying || (rec->style & (WS_DISABLED | WS_MINIMIZE)) != 0)
        return nullptr;
    if (table.active != hwnd)
        Activate(hwnd);
    else
        SetFocusInternal(hwnd);
    return old;
}

HWND GetFocus() {
    return MessageQueue::Instance().IsUiThread() ? Table().focus : nullptr;
}

HWND GetActiveWindow() {
    return MessageQueue::Instance().IsUiThread() ? Table().active : nullptr;
}

HWND SetActiveWindow(HWND hwnd) {
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || rec->destroying)
        return nullptr;
    const HWND old = Table().active;
    Activate(hwnd);
    return old;
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (InstanceChannel::IsRemoteHandle(hwnd))
        return InstanceChannel::Instance().RequestForeground(hwnd) ? TRUE : FALSE;
    return SetActiveWindow(hwnd) != nullptr || GetActiveWindow() == hwnd ? TRUE : FALSE;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || rect == nullptr)
        return FALSE;
    *rect = rec->rect;
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    // Skinned windows draw their own frame: the client area is the window.
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || rect == nullptr)
        return FALSE;
    *rect = RECT{0, 0, rec->rect.Width(), rec->rect.Height()};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || pt == nullptr)
        return FALSE;
    pt->x += rec->rect.left;
    pt->y += rec->rect.top;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || pt == nullptr)
        return FALSE;
    pt->x -= rec->rect.left;
    pt->y -= rec->rect.top;
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return FALSE;
    if ((flags & SWP_NOZORDER) == 0) {
        auto& z = Table().zOrder;
        if (insertAfter == HWND_TOPMOST) {
            rec->exStyle |= WS_EX_TOPMOST;
            RaiseToTop(hwnd);
            NoteStyle(hwnd);
        } else if (insertAfter == HWND_NOTOPMOST) {
            rec->exStyle &= ~WS_EX_TOPMOST;
            NoteStyle(hwnd);
        } else if (insertAfter == HWND_BOTTOM) {
            std::erase(z, hwnd);
            z.push_back(hwnd);
        } else if (insertAfter == HWND_TOP) {
            RaiseToTop(hwnd);
        } else if (Find(insertAfter) != nullptr) {
            std::erase(z, hwnd);
            z.insert(std::find(z.begin(), z.end(), insertAfter) + 1, hwnd);
        }
    }
    RECT rect = rec->rect;
    if ((flags & SWP_NOMOVE) == 0) {
        rect = RECT{x, y, x + rect.Width(), y + rect.Height()};
        if ((rec->style & (WS_MAXIMIZE | WS_MINIMIZE)) == 0)
            rec->normalPlaced = true;
    }
    if ((flags & SWP_NOSIZE) == 0) {
        rect.right = rect.left + std::max(cx, 0);
        rect.bottom = rect.top + std::max(cy, 0);
    }
    const WPARAM kind = (rec->style & WS_MAXIMIZE) != 0 ? SIZE_MAXIMIZED : SIZE_RESTORED;
    if (rect != rec->rect)
        Place(hwnd, rect, kind == SIZE_MAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED);
    if ((flags & SWP_SHOWWINDOW) != 0)
        SetVisible(hwnd, true);
    if ((flags & SWP_HIDEWINDOW) != 0)
        SetVisible(hwnd, false);
    if ((flags & SWP_NOACTIVATE) == 0 && IsWindowVisible(hwnd))
        Activate(hwnd);
    return Find(hwnd) != nullptr ? TRUE : FALSE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL /*repaint*/) {
    return SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND GetParent(HWND hwnd) {
    // A top-level pop-up answers its owner; an overlapped window has none.
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || (rec->style & (WS_POPUP | WS_CHILD)) == 0)
        return nullptr;
    return rec->owner;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr || cmd != GW_OWNER)
        return nullptr;
    return rec->owner;
}

HWND FindWindowW(const char* className, const char* windowName) {
    if (MessageQueue::Instance().IsUiThread()) {
        for (const auto& [key, rec] : Table().windows) {
            if (rec->destroying)
                continue;
            if (className != nullptr && !os::AsciiEqualsIgnoreCase(rec->className, className))
                continue;
            if (windowName != nullptr && !os::AsciiEqualsIgnoreCase(rec->title, windowName))
                continue;
            return rec->hwnd;
        }
    }
    // Top-level windows of other processes are visible by class only: a
    // class published on the instance channel stands for its main window.
    if (className != nullptr && windowName == nullptr)
        return InstanceChannel::Instance().FindRemote(className);
    return nullptr;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, void* /*timerProc*/) {
    MessageQueue& queue = MessageQueue::Instance();
    if (hwnd != nullptr && Find(hwnd) == nullptr)
        return 0;
    if (hwnd == nullptr) {
        // A thread timer gets an id of its own, as Windows gives one.
        if (!queue.IsUiThread())
            return 0;
        id = queue.NewTimerId();
    }
    if (!queue.SetTimer(hwnd, id, elapse))
        return 0;
    return hwnd != nullptr && id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    return MessageQueue::Instance().KillTimer(hwnd, id) ? TRUE : FALSE;
}

BOOL GetCursorPos(POINT* pt) {
    if (pt == nullptr)
        return FALSE;
    *pt = MessageQueue::Instance().CursorPos();
    return TRUE;
}

short GetKeyState(int vk) {
    if (!MessageQueue::Instance().IsUiThread())
        return 0;
    return MessageQueue::Instance().IsKeyDown(static_cast<WPARAM>(vk)) ? static_cast<short>(0x8000) : 0;
}

BOOL IsZoomed(HWND hwnd) {
    const WindowRecord* rec = Find(hwnd);
    return rec != nullptr && (rec->style & WS_MAXIMIZE) != 0 ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
    const WindowRecord* rec = Find(hwnd);
    return rec != nullptr && (rec->style & WS_MINIMIZE) != 0 ? TRUE : FALSE;
}

BOOL SetWindowTextW(HWND hwnd, std::string_view text) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return FALSE;
    rec->title = text;
    GetBackend().WindowTitleChanged(hwnd, rec->title);
    MessageQueue::Instance().NoteWindowChange();
    return TRUE;
}

std::string GetWindowTextW(HWND hwnd) {
    const WindowRecord* rec = Find(hwnd);
    return rec != nullptr ? rec->title : std::string();
}

std::string GetClassNameW(HWND hwnd) {
    const WindowRecord* rec = Find(hwnd);
    return rec != nullptr ? rec->className : std::string();
}

long GetWindowLongW(HWND hwnd, int index) {
    const WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return 0;
    if (index == GWL_STYLE)
        return static_cast<long>(rec->style);
    if (index == GWL_EXSTYLE)
        return static_cast<long>(rec->exStyle);
    return 0;
}

long SetWindowLongW(HWND hwnd, int index, long value) {
    WindowRecord* rec = Find(hwnd);
    if (rec == nullptr)
        return 0;
    DWORD* field = index == GWL_STYLE ? &rec->style : index == GWL_EXSTYLE ? &rec->exStyle : nullptr;
    if (field == nullptr)
        return 0;
    const DWORD old = *field;
    DWORD next = static_cast<DWORD>(value);
    if (index == GWL_STYLE) {
        // The state bits follow the window's real state, not the caller.
        constexpr DWORD state = WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE;
        next = (next & ~state) | (old & state);
    }
    *field = next;
    return static_cast<long>(old);
}

BOOL SystemParametersInfoW(UINT action, UINT /*param*/, void* out, UINT /*winIni*/) {
    if (action != SPI_GETWORKAREA || out == nullptr)
        return FALSE;
    *static_cast<RECT*>(out) = GetMainScreen().workArea;
    return TRUE;
}

namespace DuiLib {
namespace {
std::mutex g_messageBoxSinkMutex;
MessageBoxSink g_messageBoxSink;
}  // namespace

void SetMessageBoxSink(MessageBoxSink sink) {
    std::lock_guard lock(g_messageBoxSinkMutex);
    g_messageBoxSink = std::move(sink);
}

}  // namespace DuiLib

int MessageBoxW(HWND owner, std::string_view text, std::string_view caption, UINT type) {
    DuiLib::MessageBoxRecord record{owner, std::string(text), std::string(caption), type};
    DuiLib::MessageBoxSink sink;
    {
        std::lock_guard lock(DuiLib::g_messageBoxSinkMutex);
        sink = DuiLib::g_messageBoxSink;
    }
    if (sink) {
        if (std::optional<int> answer = sink(record))
            return *answer;
    }
    return DuiLib::GetBackend().ShowMessageBox(owner, record.text, record.caption, type);
}

// The message side of the paint manager: notifications (synchronous and
// through the loop), message filters, input routing to controls, focus,
// the controls' timers, mirroring control changes to the back end, and the
// message loop. All of it runs on the UI thread.
#include "platform/duilib/UIManagerState.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/Backend.h"

#include <algorithm>

namespace DuiLib {
namespace {
template <typename T>
bool AddOnce(std::vector<T*>& list, T* item) {
    if (item == nullptr || std::find(list.begin(), list.end(), item) != list.end())
        return false;
    list.push_back(item);
    return true;
}

template <typename T>
bool RemoveItem(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

template <typename T>
bool Contains(const std::vector<T*>& list, T* item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Whether `control` is still part of the manager's tree: pointers kept
// across messages (a pending notification's sender, a timer's control, the
// control a press started on) are checked before use, as a control may have
// been removed meanwhile.
bool InTree(const CPaintManagerUI& manager, CControlUI* control) {
    if (control == nullptr || manager.GetRoot() == nullptr)
        return false;
    bool found = false;
    manager.GetRoot()->ForEach([&](CControlUI* c) { found = found || c == control; });
    return found;
}

// Controls that act on a press themselves; a passive child (a label inside
// a list element) passes the press to the nearest of them above it.
bool TakesClicks(CControlUI* control) {
    return control->GetInterface("Button") != nullptr || control->GetInterface("ListItem") != nullptr ||
           control->GetInterface("Edit") != nullptr;
}

bool TranslateForManagers(const MSG& msg) {
    if (msg.hwnd == nullptr)
        return false;
    for (CPaintManagerUI* manager : CPaintManagerUI::GetPaintManagers()) {
        if (manager->GetPaintWindow() != msg.hwnd)
            continue;
        LRESULT result = 0;
        if (manager->PreMessageHandler(msg.message, msg.wParam, msg.lParam, result))
            return true;
    }
    return false;
}
}  // namespace

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
    return AddOnce(m_messages->notifiers, notifier);
}
bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
    return RemoveItem(m_messages->notifiers, notifier);
}
bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) {
    // The loops hand messages to the managers' pre-filters from now on.
    SetUiMessageTranslator(&TranslateForManagers);
    return AddOnce(m_messages->preFilters, filter);
}
bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) {
    return RemoveItem(m_messages->preFilters, filter);
}
bool CPaintManagerUI::AddMessageFilter(IMessageFilterUI* filter) {
    return AddOnce(m_messages->filters, filter);
}
bool CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* filter) {
    return RemoveItem(m_messages->filters, filter);
}

void CPaintManagerUI::SendNotify(CControlUI* control, std::string_view type, WPARAM wParam, LPARAM lParam,
                                 bool async) {
    TNotifyUI msg;
    msg.pSender = control;
    msg.sType = type;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg, async);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool async) {
    msg.ptMouse = MessageQueue::Instance().CursorPos();
    ScreenToClient(m_hWndPaint, &msg.ptMouse);
    msg.dwTimestamp = static_cast<DWORD>(MessageQueue::Instance().Clock().Now());
    if (async) {
        // Delivered from the loop; dropped with the window if it goes first
        // (and at once when there is no window to carry it).
        if (!::IsWindow(m_hWndPaint))
            return;
        m_messages->asyncNotify.push_back(msg);
        if (m_messages->asyncNotify.size() == 1)
            ::PostMessageW(m_hWndPaint, WM_DUI_ASYNCNOTIFY, 0, 0);
        return;
    }
    // A notifier may remove itself (or others) while handling: walk a copy.
    const std::vector<INotifyUI*> notifiers = m_messages->notifiers;
    for (INotifyUI* notifier : notifiers) {
        if (Contains(m_messages->notifiers, notifier))
            notifier->Notify(msg);
    }
}

CControlUI* CPaintManagerUI::GetHover() const {
    return InTree(*this, m_messages->hover) ? m_messages->hover : nullptr;
}

CControlUI* CPaintManagerUI::GetPushed() const {
    return InTree(*this, m_messages->eventClick) ? m_messages->eventClick : nullptr;
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
    if (control == m_pFocus)
        return;
    CControlUI* old = m_pFocus;
    m_pFocus = control;
    if (old != nullptr)
        ControlChanged(old, ControlChange::State);
    if (control != nullptr)
        ControlChanged(control, ControlChange::State);
    if (old != nullptr) {
        TEventUI event;
        event.Type = UIEVENT_KILLFOCUS;
        event.pSender = control;
        old->DoEvent(event);
    }
    if (control != nullptr && m_pFocus == control) {
        TEventUI event;
        event.Type = UIEVENT_SETFOCUS;
        event.pSender = old;
        control->DoEvent(event);
    }
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT timerId, UINT elapse) {
    if (control == nullptr || m_hWndPaint == nullptr || !::IsWindow(m_hWndPaint))
        return false;
    auto& timers = m_messages->timers;
    for (auto& timer : timers) {
        if (timer.control == control && timer.localId == timerId) {
            timer.elapse = elapse;
            return ::SetTimer(m_hWndPaint, timer.windowId, elapse, nullptr) != 0;
        }
    }
    const UINT_PTR windowId = m_messages->nextTimerId++;
    if (::SetTimer(m_hWndPaint, windowId, elapse, nullptr) == 0)
        return false;
    timers.push_back({control, timerId, windowId, elapse});
    return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT timerId) {
    auto& timers = m_messages->timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const auto& t) { return t.control == control && t.localId == timerId; });
    if (it == timers.end())
        return false;
    ::KillTimer(m_hWndPaint, it->windowId);
    timers.erase(it);
    return true;
}

void CPaintManagerUI::KillTimer(CControlUI* control) {
    auto& timers = m_messages->timers;
    for (const auto& t : timers) {
        if (t.control == control)
            ::KillTimer(m_hWndPaint, t.windowId);
    }
    std::erase_if(timers, [&](const auto& t) { return t.control == control; });
}

// Offers a message to a window's filters in order until one handles it. A
// filter may remove itself (or others) while handling: walk a copy and skip
// the removed ones.
static bool RunFilters(const std::vector<IMessageFilterUI*>& live, UINT uMsg, WPARAM wParam, LPARAM lParam,
                       LRESULT& lRes) {
    const std::vector<IMessageFilterUI*> filters = live;
    for (IMessageFilterUI* filter : filters) {
        if (!Contains(live, filter))
            continue;
        bool handled = false;
        lRes = filter->MessageHandler(uMsg, wParam, lParam, handled);
        if (handled)
            return true;
    }
    return false;
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
    if (RunFilters(m_messages->preFilters, uMsg, wParam, lParam, lRes))
        return true;
    if (uMsg == WM_KEYDOWN && wParam == VK_TAB && m_pRoot != nullptr && ::IsWindowEnabled(m_hWndPaint)) {
        // Tab moves the focus to the next control that takes keys, Shift+Tab
        // to the previous one, in layout order, wrapping around.
        MoveFocus(::GetKeyState(static_cast<int>(VK_SHIFT)) >= 0);
        return true;
    }
    return false;
}

CControlUI* FindClickTarget(const CPaintManagerUI& manager, POINT pt) {
    CControlUI* hit = manager.FindControl(pt);
    for (CControlUI* c = hit; c != nullptr; c = c->GetParent()) {
        if (TakesClicks(c))
            return c;
    }
    return hit;
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
    if (m_hWndPaint == nullptr)
        return false;
    if (RunFilters(m_messages->filters, uMsg, wParam, lParam, lRes))
        return true;
    MessageState& state = *m_messages;
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (uMsg) {
        case WM_DUI_ASYNCNOTIFY: {
            std::vector<TNotifyUI> pending;
            pending.swap(state.asyncNotify);
            for (TNotifyUI& msg : pending) {
                if (msg.pSender != nullptr && !InTree(*this, msg.pSender))
                    continue;
                const std::vector<INotifyUI*> notifiers = state.notifiers;
                for (INotifyUI* notifier : notifiers) {
                    if (Contains(state.notifiers, notifier))
                        notifier->Notify(msg);
                }
            }
            lRes = 0;
            return true;
        }
        case WM_SHOWWINDOW:
            // The first show is when the window is first laid out and its
            // "windowinit" raised, as the first paint does.
            if (wParam != 0 && !state.windowInitSent && m_pRoot != nullptr) {
                state.windowInitSent = true;
                RECT client;
                if (::GetClientRect(m_hWndPaint, &client))
                    UpdateLayout(client);
                SendNotify(m_pRoot.get(), DUI_MSGTYPE_WINDOWINIT);
            }
            return false;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED && m_pRoot != nullptr) {
                RECT client;
                if (::GetClientRect(m_hWndPaint, &client))
                    UpdateLayout(client);
            }
            return false;
        case WM_TIMER: {
            auto it = std::find_if(state.timers.begin(), state.timers.end(),
                                   [&](const auto& t) { return t.windowId == wParam; });
            if (it == state.timers.end())
                return false;
            CControlUI* control = it->control;
            if (!InTree(*this, control)) {
                ::KillTimer(m_hWndPaint, it->windowId);
                state.timers.erase(it);
                return true;
            }
            TEventUI event;
            event.Type = UIEVENT_TIMER;
            event.pSender = control;
            event.wParam = it->localId;
            event.lParam = lParam;
            event.dwTimestamp = static_cast<DWORD>(MessageQueue::Instance().Clock().Now());
            control->DoEvent(event);
            lRes = 0;
            return true;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            if (!::IsWindowEnabled(m_hWndPaint))
                return false;
            // The pointer is in use: the focus indicator goes.
            SetFocusByKeyboardState(false);
            if (IsUpdateNeeded())
                UpdateLayout();
            CControlUI* control = FindClickTarget(*this, pt);
            if (control == nullptr)
                return false;
            state.eventClick = control;
            ControlChanged(control, ControlChange::State);
            control->SetFocus();
            if (!InTree(*this, control))
                return false;
            TEventUI event;
            event.Type = uMsg == WM_LBUTTONDOWN ? UIEVENT_BUTTONDOWN : UIEVENT_DBLCLICK;
            event.pSender = control;
            event.ptMouse = pt;
            event.wParam = wParam;
            event.lParam = lParam;
            control->DoEvent(event);
            return false;
        }
        case WM_RBUTTONDOWN:
            SetFocusByKeyboardState(false);
            return false;
        case WM_LBUTTONUP: {
            CControlUI* control = state.eventClick;
            state.eventClick = nullptr;
            if (control == nullptr || !InTree(*this, control))
                return false;
            ControlChanged(control, ControlChange::State);
            TEventUI event;
            event.Type = UIEVENT_BUTTONUP;
            event.pSender = control;
            event.ptMouse = pt;
            event.wParam = wParam;
            event.lParam = lParam;
            control->DoEvent(event);
            return false;
        }
        case WM_MOUSEMOVE: {
            if (!::IsWindowEnabled(m_hWndPaint))
                return false;
            // A press held on a control follows the mouse (an edit extends
            // its selection).
            if (CControlUI* pressed = GetPushed()) {
                TEventUI event;
                event.Type = UIEVENT_MOUSEMOVE;
                event.pSender = pressed;
                event.ptMouse = pt;
                event.wParam = wParam;
                event.lParam = lParam;
                pressed->DoEvent(event);
            }
            SetHover(FindClickTarget(*this, pt), pt);
            return false;
        }
        case WM_MOUSELEAVE:
            SetHover(nullptr, POINT{-1, -1});
            return false;
        case WM_CHAR:
        case WM_KEYDOWN: {
            // Tab reaches here when no loop translated it first (no window of
            // the thread registered a pre-filter): it moves the focus all the
            // same.
            if (uMsg == WM_KEYDOWN && wParam == VK_TAB)
                return PreMessageHandler(uMsg, wParam, lParam, lRes);
            if (m_pFocus == nullptr || !::IsWindowEnabled(m_hWndPaint))
                return false;
            TEventUI event;
            event.Type = uMsg == WM_CHAR ? UIEVENT_CHAR : UIEVENT_KEYDOWN;
            event.pSender = m_pFocus;
            event.chKey = static_cast<char16_t>(wParam);
            event.wParam = wParam;
            event.lParam = lParam;
            m_pFocus->DoEvent(event);
            return false;
        }
        case WM_DESTROY:
            // The window's timers go with it; forget the controls' records.
            state.timers.clear();
            state.eventClick = nullptr;
            state.hover = nullptr;
            return false;
        default:
            return false;
    }
}

namespace {
// Whether hovering changes a control's look: what takes clicks, and what the
// layout gives a hot look of its own.
bool HasHotLook(CControlUI* control) {
    return TakesClicks(control) || control->HasAttribute("hotbkcolor") || control->HasAttribute("hotimage");
}
}  // namespace

void CPaintManagerUI::SetHover(CControlUI* control, POINT pt) {
    MessageState& state = *m_messages;
    CControlUI* old = InTree(*this, state.hover) ? state.hover : nullptr;
    if (control == old)
        return;
    state.hover = control;
    TEventUI event;
    event.ptMouse = pt;
    if (old != nullptr) {
        event.Type = UIEVENT_MOUSELEAVE;
        event.pSender = old;
        old->DoEvent(event);
        if (InTree(*this, old) && HasHotLook(old))
            ControlChanged(old, ControlChange::State);
    }
    if (control != nullptr && InTree(*this, control)) {
        event.Type = UIEVENT_MOUSEENTER;
        event.pSender = control;
        control->DoEvent(event);
        if (InTree(*this, control) && HasHotLook(control))
            ControlChanged(control, ControlChange::State);
    }
}

void CPaintManagerUI::ControlChanged(CControlUI* control, ControlChange what) {
    if (m_hWndPaint != nullptr)
        GetBackend().ControlChanged(m_hWndPaint, control, what);
}

void CPaintManagerUI::MessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0)) {
        if (!TranslateUiMessage(msg))
            ::DispatchMessageW(&msg);
    }
}

}  // namespace DuiLib

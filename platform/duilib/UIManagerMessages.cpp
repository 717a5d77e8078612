// The message side of the paint manager: notifications, filters, focus.
// A first version: notifications are synchronous; the message loop, timers
// and input routing come with the window layer.
#include "platform/duilib/UIManagerState.h"

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
}  // namespace

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
    return AddOnce(m_messages->notifiers, notifier);
}
bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
    return RemoveItem(m_messages->notifiers, notifier);
}
bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) {
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

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool /*async*/) {
    // A notifier may remove itself (or others) while handling: walk a copy.
    const std::vector<INotifyUI*> notifiers = m_messages->notifiers;
    for (INotifyUI* notifier : notifiers) {
        if (std::find(m_messages->notifiers.begin(), m_messages->notifiers.end(), notifier) !=
            m_messages->notifiers.end())
            notifier->Notify(msg);
    }
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
    if (control == m_pFocus)
        return;
    CControlUI* old = m_pFocus;
    m_pFocus = control;
    if (old != nullptr) {
        TEventUI event;
        event.Type = UIEVENT_KILLFOCUS;
        event.pSender = control;
        old->DoEvent(event);
    }
    if (control != nullptr) {
        TEventUI event;
        event.Type = UIEVENT_SETFOCUS;
        event.pSender = control;
        control->DoEvent(event);
    }
}

bool CPaintManagerUI::SetTimer(CControlUI*, UINT, UINT) {
    return false;
}
bool CPaintManagerUI::KillTimer(CControlUI*, UINT) {
    return false;
}
void CPaintManagerUI::KillTimer(CControlUI*) {}
bool CPaintManagerUI::PreMessageHandler(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}
bool CPaintManagerUI::MessageHandler(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}
void CPaintManagerUI::ControlChanged(CControlUI*, ControlChange) {}
void CPaintManagerUI::MessageLoop() {}

}  // namespace DuiLib

#pragma once
// The paint manager's state shared between its source files: the message
// side (notifiers, filters, timers, the pending asynchronous notifications,
// the control under a button press), kept out of UIManager.h so the model
// side compiles without the loop's details, and the process-wide registry
// of live managers. Private to the library.

#include "platform/duilib/UIManager.h"

#include <vector>

namespace DuiLib {

// The window message that carries a manager's queued notifications to the
// loop (posted to the manager's own window).
constexpr UINT WM_DUI_ASYNCNOTIFY = 0x8000 + 1;  // WM_APP + 1
// The first window timer id the manager gives its controls' timers.
constexpr UINT_PTR kFirstControlTimerId = 0x1000;

// Every live manager (UI thread only): each enters when it is made and
// leaves when it goes.
std::vector<CPaintManagerUI*>& LiveManagers();
// The scale SetAllDPI last gave every window (96 until then); a manager
// made later starts with it. Any thread.
int DefaultDpi();

// The control a press at `pt` acts on: the control hit there, or the
// nearest one above it that acts on presses itself (a label inside a list
// element passes the press to the element).
CControlUI* FindClickTarget(const CPaintManagerUI& manager, POINT pt);

struct CPaintManagerUI::MessageState {
    struct ControlTimer {
        CControlUI* control = nullptr;
        UINT localId = 0;
        UINT_PTR windowId = 0;
        UINT elapse = 0;
    };

    std::vector<INotifyUI*> notifiers;
    std::vector<IMessageFilterUI*> preFilters;
    std::vector<IMessageFilterUI*> filters;
    std::vector<TNotifyUI> asyncNotify;
    std::vector<ControlTimer> timers;
    UINT_PTR nextTimerId = kFirstControlTimerId;
    CControlUI* eventClick = nullptr;  // the control a button press started on
    CControlUI* hover = nullptr;
    bool windowInitSent = false;
    bool focusByKeyboard = false;  // the focus was last moved by a key
};

}  // namespace DuiLib

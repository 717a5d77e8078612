#pragma once
// The one nested modal loop: a dialog's ShowModal, a frame's DoModal and the
// system dialogs (message box, save dialog) all run in a ModalScope. It
// disables the owner for as long as the dialog runs (when the owner was
// enabled), runs the UI thread's loop -- other windows, timers, queued calls
// and the toolkit keep working -- until a condition holds, posts a quit that
// arrived meanwhile again for the loop outside, and gives the owner back its
// state and the focus.
//
// UI thread only, like the windows it runs.

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UIDefine.h"

#include <functional>

namespace DuiLib {

// What the loop does with a message it is about to dispatch.
enum class ModalStep {
    Dispatch,  // dispatch it and go on
    End,       // end the loop without dispatching it
};

class ModalScope {
  public:
    // Disables `owner` when it is an enabled window (null: no owner).
    explicit ModalScope(HWND owner = nullptr);
    // Gives the owner back (ReleaseOwner).
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

    // Runs the loop until `done` answers true (asked before each message)
    // or `inspect` answers End for a message. A quit message ends it too:
    // false, and the quit is posted again so that the loop outside ends as
    // well. Without `inspect` every message is dispatched.
    bool Run(const std::function<bool()>& done,
             const std::function<ModalStep(const MSG&)>& inspect = nullptr);

    // Enables the owner again and gives it the focus, now and once: a dialog
    // closing does this before it goes, so that its owner, and not some other
    // window, is the one activated when it is gone. Nothing for an owner
    // that was disabled before the scope or is gone.
    void ReleaseOwner();

  private:
    HWND m_owner;
    bool m_disabledOwner = false;
};

}  // namespace DuiLib

#pragma once
// The seam between the window layer and whatever shows the windows. The
// window layer keeps every window's state itself (rectangle, visibility,
// focus) and tells the back end about each change so that a display back end
// can mirror it on its peers; the back end in turn runs the waiting part of
// the message loop and owns the clock that timers run on.
//
// The headless back end (backend/headless/) has no peers: it only keeps the
// screen record and a clock. A display back end implements the same
// interface in its own folder; client code and the window layer do not
// change with it.

#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIDefine.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace DuiLib {

class Backend {
  public:
    virtual ~Backend() = default;

    // ---- mirroring (UI thread) --------------------------------------------------
    virtual void WindowCreated(HWND /*hwnd*/, const std::string& /*className*/, HWND /*owner*/) {}
    virtual void WindowDestroyed(HWND /*hwnd*/) {}
    virtual void WindowShown(HWND /*hwnd*/, bool /*visible*/) {}
    virtual void WindowMoved(HWND /*hwnd*/, const RECT& /*rect*/) {}
    virtual void WindowActivated(HWND /*hwnd*/) {}
    virtual void WindowEnabled(HWND /*hwnd*/, bool /*enabled*/) {}
    virtual void WindowTitleChanged(HWND /*hwnd*/, const std::string& /*title*/) {}
    virtual void ControlChanged(HWND /*hwnd*/, CControlUI* /*control*/, ControlChange /*what*/) {}
    // The state bits (maximised, minimised) or the extended style (topmost)
    // changed.
    virtual void WindowStyleChanged(HWND /*hwnd*/, DWORD /*style*/, DWORD /*exStyle*/) {}
    // The next show or hide of the window fades over `ms` (FadeInOut). The
    // window layer's state changes at once; only the look takes its time.
    virtual void WindowFadeNext(HWND /*hwnd*/, int /*ms*/) {}

    // ---- native views -----------------------------------------------------------
    // A web view control of window `hwnd` has an engine view whose native
    // widget (a GtkWidget* from the WebKitGTK engine) is to be shown at the
    // control's place, with the control's visibility, until Detached. The
    // engine owns the widget; Detached comes before the engine destroys it.
    virtual void NativeViewAttached(HWND /*hwnd*/, CControlUI* /*control*/, void* /*widget*/) {}
    virtual void NativeViewDetached(HWND /*hwnd*/, CControlUI* /*control*/, void* /*widget*/) {}

    // ---- the loop ---------------------------------------------------------------
    // Milliseconds on the clock timers run on. Any thread.
    virtual std::uint64_t Now() = 0;
    // Called by the loop when it has nothing to do. A back end whose clock
    // can jump (the headless virtual clock being advanced) moves it to
    // `nextTimer` when that lies within the jump and returns true so the
    // loop delivers the timer; otherwise false.
    virtual bool AdvanceClock(std::optional<std::uint64_t> nextTimer) = 0;
    // True while an advance of the clock is still under way (the loop is not
    // idle in the caller's sense yet). Any thread.
    virtual bool IsClockAdvancing() = 0;
    // Blocks the UI thread until Wake() or, on a real clock, until
    // `nextTimer` is due. Returns at once when Wake() came since the last
    // wait.
    virtual void WaitForWork(std::optional<std::uint64_t> nextTimer) = 0;
    // Ends the current or next WaitForWork. Any thread.
    virtual void Wake() = 0;
    // Screen coordinates of the pointer (the last input an automation made on
    // the headless back end).
    virtual POINT CursorPos() = 0;
    virtual void SetCursorPos(POINT /*pt*/) {}

    // ---- the system message box ---------------------------------------------------
    // Shows a plain message box and answers with the button pressed (see
    // the headless back end's for a box nobody can answer). Any thread.
    virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                               UINT type) = 0;

    // ---- the other platform services (SystemServices.h) -------------------------
    // Any thread. The defaults are those of a back end without a desktop:
    // the dialog is cancelled, the clipboard takes nothing.
    virtual SaveFileAnswer ShowSaveFileDialog(const SaveFileRequest& /*request*/) { return std::nullopt; }
    virtual bool SetClipboardText(const std::string& /*text*/) { return false; }
    virtual std::optional<std::string> GetClipboardText() { return std::nullopt; }
    // The system dialog the back end shows now, if any, and its answering
    // (automation of the real dialogs). UI thread.
    virtual std::optional<SystemDialogInfo> OpenSystemDialog() { return std::nullopt; }
    virtual bool AnswerSystemDialog(const SystemDialogReply& /*reply*/) { return false; }
};

// The back end in force. Without one installed, a headless back end on the
// real clock is created on first use. Installing replaces the previous one;
// do it while no window exists (the test harness does it per UI thread).
Backend& GetBackend();
void SetBackend(std::shared_ptr<Backend> backend);
// Installs `backend` (null: none, the default is made on next use) and
// returns the one installed before, null when none was.
std::shared_ptr<Backend> ReplaceBackend(std::shared_ptr<Backend> backend);
std::shared_ptr<Backend> GetBackendShared();

}  // namespace DuiLib

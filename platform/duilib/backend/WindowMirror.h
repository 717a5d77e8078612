#pragma once
// The first part of the seam to a back end: the window layer keeps every
// window's state itself (rectangle, visibility, focus, the control tree) and
// tells the back end about each change, so that a display back end can mirror
// it on its peers. The defaults do nothing: a back end without peers (the
// headless one) keeps none of it.
//
// UI thread, like the windows.

#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIDefine.h"

#include <optional>
#include <string>

namespace DuiLib {

class WindowMirror {
  public:
    virtual ~WindowMirror() = default;

    virtual void WindowCreated(HWND /*hwnd*/, const std::string& /*className*/, HWND /*owner*/) {}
    virtual void WindowDestroyed(HWND /*hwnd*/) {}
    virtual void WindowShown(HWND /*hwnd*/, bool /*visible*/) {}
    virtual void WindowMoved(HWND /*hwnd*/, const RECT& /*rect*/) {}
    virtual void WindowActivated(HWND /*hwnd*/) {}
    virtual void WindowEnabled(HWND /*hwnd*/, bool /*enabled*/) {}
    virtual void WindowTitleChanged(HWND /*hwnd*/, const std::string& /*title*/) {}
    virtual void ControlChanged(HWND /*hwnd*/, CControlUI* /*control*/, ControlChange /*what*/) {}
    // The window's layout must run again before it is next shown as it is
    // (a control was shown or hidden, or changed its size, padding, text or
    // the page its tab layout shows): a display lays it out and repaints it
    // without waiting for some other reason to.
    virtual void LayoutNeeded(HWND /*hwnd*/) {}
    // The state bits (maximised, minimised) or the extended style (topmost)
    // changed.
    virtual void WindowStyleChanged(HWND /*hwnd*/, DWORD /*style*/, DWORD /*exStyle*/) {}
    // The next show or hide of the window fades over `ms` (FadeInOut). The
    // window layer's state changes at once; only the look takes its time.
    virtual void WindowFadeNext(HWND /*hwnd*/, int /*ms*/) {}

    // A web view control of window `hwnd` has an engine view whose native
    // widget (a GtkWidget* from the WebKitGTK engine) is to be shown at the
    // control's place, with the control's visibility, until Detached. The
    // engine owns the widget; Detached comes before the engine destroys it.
    virtual void NativeViewAttached(HWND /*hwnd*/, CControlUI* /*control*/, void* /*widget*/) {}
    virtual void NativeViewDetached(HWND /*hwnd*/, CControlUI* /*control*/, void* /*widget*/) {}

    // Where the display shows the window now, in screen coordinates (without
    // a shadow margin); none where the back end shows nothing, and the
    // window layer's record is the answer.
    virtual std::optional<RECT> DisplayedRect(HWND /*hwnd*/) const { return std::nullopt; }
};

}  // namespace DuiLib

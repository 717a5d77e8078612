#pragma once
// A window's pointer, wheel and keys, turned into the Win32 messages the
// paint manager routes: button down, up and double click, moves, leaving,
// the wheel, key down and up and characters (through the window's input
// method while an edit has the keyboard). A press on the caption band
// (WM_NCHITTEST's HTCAPTION) starts the desktop's move drag once the pointer
// has moved a few pixels, so that a double click stays a double click; a
// press on a sizing edge starts the desktop's resize drag.
//
// UI thread.

#include "platform/duilib/UIDefine.h"

#include <gtk/gtk.h>

namespace DuiLib {

class GtkWindowPeer;

class GtkInput {
  public:
    // Pixels the pointer moves, either way, before a caption press drags.
    static constexpr int kDragThreshold = 4;

    explicit GtkInput(GtkWindowPeer& peer) : m_peer(peer) {}

    // Each answers whether the event was taken (always, but for a leave).
    bool OnButton(GdkEventButton* event);
    bool OnMotion(GdkEventMotion* event);
    bool OnLeave(GdkEventCrossing* event);
    bool OnScroll(GdkEventScroll* event);
    bool OnKey(GdkEventKey* event);
    // A caption press waiting for the pointer to move is forgotten (the
    // window was disabled under it).
    void CancelCaptionPress() { m_captionPress = false; }

    // The key table: a toolkit key value as a Windows virtual key, 0 for keys
    // the windows do not use.
    static WPARAM VirtualKey(guint keyval);
    // The MK_* bits of a toolkit modifier state.
    static WPARAM MouseKeys(guint state);
    // Whether a pointer that moved (dx, dy) since a caption press drags.
    static bool BeyondDragThreshold(double dx, double dy);

  private:
    bool OnLeftPress(GdkEventButton* event, WPARAM keys, LPARAM at, POINT screen);
    void PostKey(bool press, WPARAM vk);

    GtkWindowPeer& m_peer;
    bool m_captionPress = false;
    double m_pressRootX = 0;
    double m_pressRootY = 0;
};

}  // namespace DuiLib

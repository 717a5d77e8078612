#pragma once
// The accessible objects of one window's controls, for screen readers
// (ATK, reached over AT-SPI): made on first request, one per control, kept
// until the control leaves the window's tree or the window goes, then
// defunct. An object never keeps a control it cannot find again: every
// call looks its control up in the window's live tree first (Resolve).
//
// The window layer's changes arrive through ControlChanged and are
// announced as ATK events: state changes (focus, checked, selected,
// visible, enabled), name and text changes, caret moves, value changes,
// children added and removed. Nothing is announced, and nothing made,
// before a screen reader first asked for the window's controls.
//
// UI thread.

#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIDefine.h"

#include <atk/atk.h>
#include <gtk/gtk.h>

#include <functional>
#include <map>

namespace DuiLib {

class CPaintManagerUI;

class GtkAccessibleTree {
  public:
    GtkAccessibleTree(HWND hwnd, std::function<CPaintManagerUI*()> manager, GtkWidget* canvas);
    ~GtkAccessibleTree();
    GtkAccessibleTree(const GtkAccessibleTree&) = delete;
    GtkAccessibleTree& operator=(const GtkAccessibleTree&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    GtkWidget* Canvas() const { return m_canvas; }
    // The window's root control, or null while it has none.
    CControlUI* Root() const;
    // `control` when it is still in the window's tree, else null.
    CControlUI* Resolve(CControlUI* control) const;
    // The control's accessible object (the tree keeps the reference), made
    // on first request; null for a control that is not exposed or gone.
    AtkObject* AccessibleFor(CControlUI* control);
    // The accessible of the nearest exposed parent, or the canvas's.
    AtkObject* ParentOf(CControlUI* control);
    // A screen reader asked for the window's controls: changes are
    // announced from now on.
    void Activate() { m_active = true; }

    void ControlChanged(CControlUI* control, ControlChange what);

    // The toplevel's name for a reader: its title, or when it has none, the
    // name its layout gives (AccessibleWindowName); and its role once the
    // layout can say it is an alert.
    void DescribeWindow(GtkWindow* toplevel);

    // The role of a window's toplevel, as the window layer has it.
    static void SetWindowRole(GtkWidget* window, bool hasOwner, bool toolWindow);

  private:
    // Makes the accessibles of controls that left the tree defunct.
    void Prune();
    void AnnounceNewChildren(CControlUI* container);

    HWND m_hwnd;
    std::function<CPaintManagerUI*()> m_manager;
    GtkWidget* m_canvas;
    bool m_active = false;
    std::map<CControlUI*, AtkObject*> m_objects;  // one reference each
};

}  // namespace DuiLib

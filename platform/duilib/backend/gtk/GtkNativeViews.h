#pragma once
// The native widgets a window hosts (the engine's web views): each sits in
// the window's GtkFixed at its control's rectangle, shown while the control
// is visible and has an area. The engine owns the widgets: they leave the
// container when detached or when the window goes, and are never destroyed
// here.
//
// The keyboard is shared with them: the window layer's focus decides. While
// a web view's control has the focus its widget has the toolkit's focus and
// takes the keys (the page's own Tab order, typing into the page); a click
// into the page gives its control the focus; a Tab past the page's last (or
// first) element goes on through the window's own Tab order. Without that
// focus no widget of the toolkit picks a focus of its own: the window's
// controls take the keys.
//
// UI thread.

#include "platform/duilib/UIDefine.h"

#include <gtk/gtk.h>

#include <functional>
#include <map>

namespace DuiLib {

class CControlUI;
class CPaintManagerUI;

class GtkNativeViews {
  public:
    using ManagerLookup = std::function<CPaintManagerUI*()>;
    // `fixed` is already in its toplevel window; `manager` finds the
    // window's paint manager (none while the window has no layout).
    GtkNativeViews(GtkWidget* fixed, ManagerLookup manager);
    ~GtkNativeViews();
    GtkNativeViews(const GtkNativeViews&) = delete;
    GtkNativeViews& operator=(const GtkNativeViews&) = delete;

    void Attach(CControlUI* control, GtkWidget* widget, int margin);
    void Detach(CControlUI* control);
    // Places every widget at its control's rectangle (moved `margin` in, the
    // shadow's room) with its control's visibility.
    void Update(int margin);

    // The window layer's focus moved (or the window's keyboard came or
    // went): the focused control's widget takes the toolkit's focus, or no
    // widget keeps it.
    void FollowFocus();
    // Whether a hosted widget has the toolkit's focus now: its keys are its
    // own, not the window layer's.
    bool HasKeys() const;

  private:
    // The control whose widget is, or holds, the toolkit's focus widget.
    CControlUI* FocusedView() const;
    // The control whose widget is, or holds, `widget`.
    CControlUI* ViewHolding(GtkWidget* widget) const;
    GtkWindow* Toplevel() const;
    bool OnToplevelFocus(GtkDirectionType direction);
    void OnSetFocus(GtkWidget* widget);
    static gboolean FocusCb(GtkWidget*, GtkDirectionType direction, gpointer self);
    static void SetFocusCb(GtkWindow*, GtkWidget* widget, gpointer self);

    GtkWidget* m_fixed;
    ManagerLookup m_manager;
    std::map<CControlUI*, GtkWidget*> m_views;
};

}  // namespace DuiLib

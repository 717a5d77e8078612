#pragma once
// The native widgets a window hosts (the engine's web views): each sits in
// the window's GtkFixed at its control's rectangle, shown while the control
// is visible and has an area. The engine owns the widgets: they leave the
// container when detached or when the window goes, and are never destroyed
// here.
//
// UI thread.

#include "platform/duilib/UIDefine.h"

#include <gtk/gtk.h>

#include <map>

namespace DuiLib {

class CControlUI;

class GtkNativeViews {
  public:
    explicit GtkNativeViews(GtkWidget* fixed) : m_fixed(fixed) {}
    ~GtkNativeViews();
    GtkNativeViews(const GtkNativeViews&) = delete;
    GtkNativeViews& operator=(const GtkNativeViews&) = delete;

    void Attach(CControlUI* control, GtkWidget* widget, int margin);
    void Detach(CControlUI* control);
    // Places every widget at its control's rectangle (moved `margin` in, the
    // shadow's room) with its control's visibility.
    void Update(int margin);

  private:
    GtkWidget* m_fixed;
    std::map<CControlUI*, GtkWidget*> m_views;
};

}  // namespace DuiLib

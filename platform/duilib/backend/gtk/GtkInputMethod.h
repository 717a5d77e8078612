#pragma once
// A window's input method (GtkIMContext), so that input methods (Chinese)
// type into the skin's edits: it has the focus while an edit of the window
// has the keyboard, sees every key first, and what it commits arrives as
// WM_CHAR units; the text it is composing is shown at the edit's caret.
//
// UI thread.

#include "platform/duilib/UIDefine.h"
#include "platform/duilib/backend/gtk/GtkHolders.h"

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>

namespace DuiLib {

class GtkInputMethod {
  public:
    // `composing` is called when the text being composed changed (the edit
    // is to be repainted).
    GtkInputMethod(HWND hwnd, std::function<void()> composing);
    ~GtkInputMethod();
    GtkInputMethod(const GtkInputMethod&) = delete;
    // Lets go of the window before it is destroyed (no more signals).
    void Detach();
    GtkInputMethod& operator=(const GtkInputMethod&) = delete;

    // Focused on `edit` (its rectangle in the window, where candidate
    // windows open) inside `canvas`'s window, or not focused (none).
    void Follow(GtkWidget* canvas, const std::optional<RECT>& edit);
    bool IsFocused() const { return m_focused; }

    // What the input method made of a key.
    struct Filtered {
        bool consumed = false;   // it took the key
        bool composing = false;  // a composition was or is under way
        std::string committed;   // text it committed while doing so
    };
    Filtered Filter(GdkEventKey* event);
    // The text being composed (UTF-8), empty when none.
    const std::string& Preedit() const { return m_preedit; }
    GtkIMContext* Context() const { return m_context.get(); }

  private:
    static void CommitCb(GtkIMContext*, gchar* text, gpointer self);
    static void PreeditCb(GtkIMContext*, gpointer self);
    void OnCommit(const char* text);
    void OnPreedit();

    HWND m_hwnd;
    std::function<void()> m_composing;
    gtk::GObjectPtr<GtkIMContext> m_context;
    bool m_focused = false;
    bool m_attached = true;
    bool m_filtering = false;
    std::string m_commitBuffer;
    std::string m_preedit;
};

}  // namespace DuiLib

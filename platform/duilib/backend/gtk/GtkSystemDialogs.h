#pragma once
// The system's dialogs on the display: the message box (GtkMessageDialog) and
// the save dialog (GtkFileChooserDialog), both run by one runner. A dialog
// shows over its owner's window with the owner disabled, while the other
// windows' messages keep flowing (a modal loop nested in the window layer's),
// until it is answered or its owner goes; one whose owner goes ends as if
// cancelled ("no" for a yes/no box), and the dialog, held by its own
// reference, is destroyed by the runner alone. One dialog at a time: a second
// request while one shows is answered as without a display.
//
// Threads: ShowMessageBox and ShowSaveFile may be called from any thread
// (they run on the UI thread while the caller waits); the rest on the UI
// thread.

#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIDefine.h"

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>

namespace DuiLib {

class GtkBackend;

class GtkSystemDialogs {
  public:
    explicit GtkSystemDialogs(GtkBackend& backend) : m_backend(backend) {}

    // Closed without a button: IDNO for yes/no, else IDOK.
    int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
    // Centred on its owner, with the filters, the proposed name and the
    // overwrite question; the default extension is added to a name chosen
    // without one.
    SaveFileAnswer ShowSaveFile(const SaveFileRequest& request);

    // The dialog showing now (once mapped), and answering it as a user would.
    std::optional<SystemDialogInfo> Open() const;
    bool Answer(const SystemDialogReply& reply);
    bool IsShowing() const { return m_running != nullptr; }
    // The window is going: a dialog it owns ends unanswered.
    void WindowGoing(HWND hwnd);

  private:
    struct Running;
    // Shows `dialog` and runs the loop until it is answered or its owner
    // goes; answers the toolkit's response (GTK_RESPONSE_DELETE_EVENT when
    // none came). `collect` reads the answer before the dialog is destroyed.
    int Run(GtkWidget* dialog, const SystemDialogInfo& info,
            const std::function<void(int response, const std::optional<std::string>& automated)>& collect);
    int MessageBoxOnUiThread(HWND owner, const std::string& text, const std::string& caption, UINT type);
    SaveFileAnswer SaveFileOnUiThread(const SaveFileRequest& request);
    // One showing of the chooser: the answer with the default extension
    // added, and in `typed` the name as the user gave it.
    SaveFileAnswer RunSaveChooser(const SaveFileRequest& request, std::string& typed);
    static void ResponseCb(GtkDialog*, gint response, gpointer self);

    GtkBackend& m_backend;
    Running* m_running = nullptr;
};

}  // namespace DuiLib

#pragma once
// The platform services the windows use besides drawing: the save-file
// dialog and the clipboard. Each is one function for client code; the back
// end in force carries it out (a real dialog and the desktop's clipboard on
// a display, a cancel and a process-local clipboard headless), and a sink
// lets a test see every request and answer it instead.
//
// Threads: every function may be called from any thread; a display back
// end carries the request out on the UI thread and the caller waits.

#include "platform/duilib/UIDefine.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace DuiLib {

// What the save dialog is asked to show. Texts are UTF-8.
struct SaveFileRequest {
    HWND owner = nullptr;
    // Pairs of (label, patterns): ("PPT文档(*.pptx)", "*.pptx;"). Patterns
    // are separated by ';'; empty ones are ignored.
    std::vector<std::pair<std::string, std::string>> filters;
    // Added to a chosen name that has no extension ("pptx", without dot).
    std::string defaultExtension;
    // The name proposed in the name field.
    std::string proposedName;
    // The folder shown first; empty: the dialog's own choice.
    std::string initialFolder;
    // Asks before a chosen existing file is replaced.
    bool promptOverwrite = true;
};

// The user's answer: the chosen path, or nothing when the dialog was
// cancelled or could not be shown.
using SaveFileAnswer = std::optional<std::string>;

// Shows the save-file dialog and waits for the answer.
SaveFileAnswer ShowSaveFileDialog(const SaveFileRequest& request);
// Sees every request first; an answer it returns replaces the dialog (the
// outer optional empty: no answer, the back end shows the dialog). Null
// removes it.
using SaveFileSink = std::function<std::optional<SaveFileAnswer>(const SaveFileRequest&)>;
void SetSaveFileSink(SaveFileSink sink);

// The name a chosen path gets: `defaultExtension` added when the last path
// component has no extension of its own.
std::string WithDefaultExtension(std::string path, std::string_view defaultExtension);

// Puts UTF-8 text on the clipboard; false when that failed.
bool SetClipboardText(std::string_view text);
// The clipboard's text; empty when it holds none.
std::optional<std::string> GetClipboardText();
// Sees every text put on the clipboard (after the back end took it).
using ClipboardSink = std::function<void(const std::string&)>;
void SetClipboardSink(ClipboardSink sink);

// A dialog of the system (message box, save dialog) that a display back
// end shows; what automation sees of it and how it answers it.
struct SystemDialogInfo {
    enum class Kind { MessageBox, SaveFile };
    Kind kind = Kind::MessageBox;
    HWND owner = nullptr;
    std::string title;
    std::string text;  // the message, or the proposed name
};
struct SystemDialogReply {
    int button = IDCANCEL;  // IDOK, IDYES, IDNO, IDCANCEL
    std::string path;       // the save dialog's name (with IDOK)
};

}  // namespace DuiLib

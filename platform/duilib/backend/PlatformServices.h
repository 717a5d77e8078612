#pragma once
// The third part of the seam: the services of the system the windows use
// besides drawing -- the message box, the save dialog and the clipboard --
// and their automation for tests. Client code reaches them through
// MessageBoxW and SystemServices.h, never directly.

#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIDefine.h"

#include <optional>
#include <string>

namespace DuiLib {

class PlatformServices {
  public:
    virtual ~PlatformServices() = default;

    // Shows a plain message box and answers with the button pressed (see
    // the headless back end's for a box nobody can answer). Any thread.
    virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                               UINT type) = 0;

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

}  // namespace DuiLib

#pragma once
// The back end without a display: windows exist only as the window layer's
// records, the screen comes from a configuration, the loop sleeps on a
// condition variable, and the system's services answer as nobody can (the
// message box and the save dialog on standard error, a clipboard of this
// process only).

#include "platform/duilib/backend/Backend.h"
#include "platform/duilib/backend/Screen.h"

#include <condition_variable>
#include <mutex>
#include <optional>

namespace DuiLib {

class HeadlessBackend : public Backend {
  public:
    using Options = BackendOptions;

    explicit HeadlessBackend(Options options);

    void WaitForWork(std::optional<std::chrono::milliseconds> timeout) override;
    void Wake() override;
    // Without a display there is nobody to answer: the caption and the text
    // go as one line to standard error, and the answer is IDOK, or IDNO for
    // a yes/no box (nobody said yes). Any thread.
    int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    // Nobody can choose a file: a line on standard error, and no answer.
    SaveFileAnswer ShowSaveFileDialog(const SaveFileRequest& request) override;
    // A clipboard of this process only. Any thread.
    bool SetClipboardText(const std::string& text) override;
    std::optional<std::string> GetClipboardText() override;

  private:
    std::optional<std::string> m_clipboard;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_woken = false;
};

}  // namespace DuiLib

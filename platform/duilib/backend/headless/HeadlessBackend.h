#pragma once
// The back end without a display: windows exist only as the window layer's
// records, the screen comes from a configuration, and timers run on either a
// virtual clock that only moves when asked to (tests) or the real monotonic
// clock (running without a display).

#include "platform/duilib/backend/Backend.h"
#include "platform/duilib/backend/Screen.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace DuiLib {

class HeadlessBackend : public Backend {
  public:
    struct Options {
        bool realTime = false;
        // When set, becomes the main screen (work area, DPI) at construction.
        std::optional<ScreenInfo> screen;
    };

    explicit HeadlessBackend(Options options);

    std::uint64_t Now() override;
    bool AdvanceClock(std::optional<std::uint64_t> nextTimer) override;
    bool IsClockAdvancing() override;
    void WaitForWork(std::optional<std::uint64_t> nextTimer) override;
    void Wake() override;
    POINT CursorPos() override;
    void SetCursorPos(POINT pt) override;
    // Without a display there is nobody to answer: the caption and the text
    // go as one line to standard error, and the answer is IDOK, or IDNO for
    // a yes/no box (nobody said yes). Any thread.
    int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    // Nobody can choose a file: a line on standard error, and no answer.
    SaveFileAnswer ShowSaveFileDialog(const SaveFileRequest& request) override;
    // A clipboard of this process only. Any thread.
    bool SetClipboardText(const std::string& text) override;
    std::optional<std::string> GetClipboardText() override;

    // Virtual clock: asks the loop to move the clock `ms` forward, firing the
    // timers that fall due on the way in time order. Returns at once; the
    // loop does the moving. Any thread. Ignored on the real clock.
    void RequestAdvance(std::uint64_t ms);
    bool IsRealTime() const { return m_realTime; }

  private:
    std::optional<std::string> m_clipboard;
    const bool m_realTime;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_woken = false;
    std::uint64_t m_virtualNow = 0;
    std::optional<std::uint64_t> m_advanceTarget;
    POINT m_cursor;
};

}  // namespace DuiLib

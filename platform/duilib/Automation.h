#pragma once
// Drives the windows as a user would, for tests: finds windows, clicks
// controls, types, presses keys, moves the focus, advances the virtual
// clock and waits for the loop to settle or for a window to appear.
//
// Called from a thread other than the UI thread (a test driving a UiThread),
// each action runs on the UI thread and waits for everything it causes, up
// to the deadline; if it opens a modal dialog, the action returns once the
// dialog's loop is idle. Called on the UI thread, it runs inline and pumps
// the queue until idle. Actions a user could not do (a hidden or disabled
// control or window, a missing name) return false and do nothing.

#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace DuiLib {

class Automation {
  public:
    explicit Automation(std::chrono::milliseconds deadline = std::chrono::milliseconds(10000))
        : m_deadline(deadline) {}

    // ---- finding windows (live ones; visible ones first) ----------------------
    HWND FindByClass(std::string_view className) const;
    // By the layout file the window was built from ("dlg_message.xml"); the
    // folder part and letter case do not matter.
    HWND FindByLayout(std::string_view layout) const;
    HWND FindByTitle(std::string_view title) const;
    std::vector<HWND> Windows() const;
    // Waits until some visible window satisfies `predicate` (run on the UI
    // thread), including one shown inside another window's modal loop.
    // Null on the deadline.
    HWND WaitForWindow(const std::function<bool(HWND)>& predicate) const;
    HWND WaitForWindow(const std::function<bool(HWND)>& predicate, std::chrono::milliseconds deadline) const;
    HWND WaitForClass(std::string_view className) const;
    HWND WaitForLayout(std::string_view layout) const;

    // ---- acting as the user -------------------------------------------------
    // Presses and releases the mouse over the control's centre (or another
    // point where it is the control hit), after activating the window.
    bool Click(HWND hwnd, std::string_view controlName) const;
    // The same for the control `find` picks from the window's paint manager
    // (run on the UI thread), for controls that share a name: the buttons of
    // a list's entries, say.
    bool Click(HWND hwnd, const std::function<CControlUI*(CPaintManagerUI&)>& find) const;
    // UI thread: posts the messages of a user's click on `control` of
    // `hwnd` (the pointer moved there, pressed and released at a point where
    // the control is hit, the window activated first) without waiting for
    // them. False, and nothing posted, when a user could not click it. A
    // screen reader's "click" takes this path too.
    static bool PostClick(HWND hwnd, CControlUI* control);
    // Focuses the edit and types `text` (UTF-8) as WM_CHAR units, so the
    // edit's limits apply.
    bool Type(HWND hwnd, std::string_view editName, std::string_view text) const;
    bool PressKey(HWND hwnd, WPARAM vk) const;
    // Activates `hwnd` and gives it the focus; the window that had it gets
    // WM_KILLFOCUS naming `hwnd`.
    bool MoveFocusTo(HWND hwnd) const;

    // ---- the system's dialogs (message box, save dialog) -------------------------
    // Waits until the back end shows one (a display back end only; a
    // headless one never does); empty on the deadline.
    std::optional<SystemDialogInfo> WaitForSystemDialog() const;
    // Answers it as a user would: a button, or a file name with IDOK.
    bool AnswerSystemDialog(const SystemDialogReply& reply) const;

    // ---- time and settling -----------------------------------------------------
    bool AdvanceClock(std::uint64_t ms) const;
    bool RunUntilIdle() const;

    // ---- reading state (safe from any thread) -----------------------------------
    // Runs `fn` on the UI thread (inline there) and waits for it.
    bool Run(const std::function<void()>& fn) const;
    template <typename R>
    std::optional<R> Call(const std::function<R()>& fn) const {
        std::optional<R> result;
        if (!Run([&] { result = fn(); }))
            return std::nullopt;
        return result;
    }
    std::optional<std::string> Text(HWND hwnd, std::string_view controlName) const;
    std::optional<bool> IsControlVisible(HWND hwnd, std::string_view controlName) const;
    std::optional<bool> IsControlEnabled(HWND hwnd, std::string_view controlName) const;
    // Whether an option is selected; empty when there is no such option.
    std::optional<bool> IsSelected(HWND hwnd, std::string_view optionName) const;
    bool IsVisible(HWND hwnd) const;
    bool IsEnabled(HWND hwnd) const;

    // The paint manager of a window, or null (UI thread).
    static CPaintManagerUI* ManagerOf(HWND hwnd);
    // The first live window of the class (names compare without regard to
    // case), a visible one before a hidden one; null when none (UI thread).
    static HWND WindowOfClass(std::string_view className);
    // A control of a window by name, or null (UI thread).
    static CControlUI* FindControl(HWND hwnd, std::string_view controlName);

  private:
    // Runs `act` on the UI thread, then waits until the loop is idle.
    bool Act(const std::function<bool()>& act) const;

    std::chrono::milliseconds m_deadline;
};

}  // namespace DuiLib

#pragma once
// The rules that tell the program's own focus changes from a user's, for a
// desktop that reports focus only as events after the fact.
//
// When the program activates a window it asks the desktop to give that
// window the focus; the focus-in that follows is the echo of the request,
// not news. When it hides or destroys a focused window, the desktop hands
// the focus to some other window on its own, a moment later; for a while
// after any such change of ours (the settling time) a focus-in is no user's
// choice either. And when the window layer's active window loses the focus,
// another program may have taken it: a check a little later looks whether
// any window of ours still has it, and if none does, the program is
// deactivated (its pop-ups close, as a click elsewhere closes them).
//
// A check that falls due while the focus is settling after a change of ours
// cannot tell yet and is put off to the end of the settling time, never
// dropped: otherwise a user who switches to another program just after the
// program opened a pop-up would leave that pop-up over the other program.
//
// Why a time and not the request's serial or timestamp: the toolkit's focus
// events carry neither, and with a window manager the hand-over after a
// hide is the window manager's own later request, which no serial of ours
// orders; a round trip to the server, exact on a bare server, does not wait
// for the window manager.
//
// No toolkit types: the clock is injected, so the rules are tested without a
// display. UI thread.

#include "platform/duilib/UIDefine.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace DuiLib {

class GtkFocusTracker {
  public:
    // Monotonic microseconds.
    using Clock = std::function<std::int64_t()>;
    // How long the focus settles after a change of ours.
    static constexpr std::int64_t kSettleUs = 1000 * 1000;
    // How long after the active window lost the focus the check looks.
    static constexpr std::int64_t kCheckDelayUs = 100 * 1000;

    explicit GtkFocusTracker(Clock clock);

    // The program moved the desktop's focus itself: activated, hid or
    // destroyed a shown window.
    void NoteOwnChange();
    // The program asked the desktop to give `hwnd` the focus.
    void NotePresented(HWND hwnd);
    // The window is gone.
    void Forget(HWND hwnd);

    enum class FocusIn {
        Echo,         // the answer to our own request for this window
        Settling,     // the desktop handing the focus on after a change of ours
        UsersChoice,  // the user gave this window the focus
    };
    // A window of ours got the focus; any pending check is cancelled (the
    // caller removes its timer).
    FocusIn OnFocusIn(HWND hwnd);
    // A window of ours lost the focus; `wasActive`: it is the window layer's
    // active window. Answers the delay after which CheckDue is to be called,
    // or none when no check is needed (or one is pending already).
    std::optional<std::int64_t> OnFocusOut(bool wasActive);

    // The check fell due: look now (`look`), or call again after `retryUs`
    // (the focus is still settling after a change of ours).
    struct Verdict {
        bool look = false;
        std::int64_t retryUs = 0;
    };
    Verdict CheckDue();
    bool CheckPending() const { return m_checkPending; }

  private:
    bool Settling(std::int64_t now) const;

    Clock m_clock;
    std::map<HWND, std::int64_t> m_presented;  // when we asked
    std::optional<std::int64_t> m_ownChange;   // when we last changed the focus
    bool m_checkPending = false;
};

}  // namespace DuiLib

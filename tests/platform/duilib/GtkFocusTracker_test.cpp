// The rules that tell the program's own focus changes from a user's, on a
// clock the test moves (no display).
#include "platform/duilib/backend/gtk/GtkFocusTracker.h"

#include <gtest/gtest.h>

namespace {

using DuiLib::GtkFocusTracker;
using FocusIn = GtkFocusTracker::FocusIn;

constexpr std::int64_t kMs = 1000;
const HWND kMain = reinterpret_cast<HWND>(0x10000);
const HWND kPanel = reinterpret_cast<HWND>(0x10001);

class FocusTrackerTest : public ::testing::Test {
  protected:
    std::int64_t now = 5000 * kMs;
    GtkFocusTracker tracker{[this] { return now; }};
};

TEST_F(FocusTrackerTest, TheFocusInAnsweringOurRequestIsAnEchoOnceAndAUsersChoiceWhenNothingOfOursHappened) {
    tracker.NotePresented(kPanel);
    tracker.NoteOwnChange();
    EXPECT_EQ(tracker.OnFocusIn(kPanel), FocusIn::Echo);
    // The desktop hands the focus on while it settles: not the user's.
    now += 300 * kMs;
    EXPECT_EQ(tracker.OnFocusIn(kMain), FocusIn::Settling);
    EXPECT_EQ(tracker.OnFocusIn(kPanel), FocusIn::Settling);  // the echo was taken already
    now += GtkFocusTracker::kSettleUs;
    EXPECT_EQ(tracker.OnFocusIn(kMain), FocusIn::UsersChoice);
}

TEST_F(FocusTrackerTest, AnEchoThatNeverCameIsForgottenWhenAWindowLosesTheFocusLater) {
    tracker.NotePresented(kPanel);
    now += GtkFocusTracker::kSettleUs;
    EXPECT_FALSE(tracker.OnFocusOut(/*wasActive=*/false));
    EXPECT_EQ(tracker.OnFocusIn(kPanel), FocusIn::UsersChoice);
    // A window that is gone leaves no echo either.
    tracker.NotePresented(kMain);
    tracker.Forget(kMain);
    now += GtkFocusTracker::kSettleUs;
    EXPECT_EQ(tracker.OnFocusIn(kMain), FocusIn::UsersChoice);
}

TEST_F(FocusTrackerTest, OnlyTheActiveWindowLosingTheFocusAsksForOneCheckAndAFocusInCancelsIt) {
    EXPECT_FALSE(tracker.OnFocusOut(/*wasActive=*/false));
    EXPECT_EQ(tracker.OnFocusOut(/*wasActive=*/true), GtkFocusTracker::kCheckDelayUs);
    EXPECT_TRUE(tracker.CheckPending());
    EXPECT_FALSE(tracker.OnFocusOut(/*wasActive=*/true));  // one check at a time
    tracker.OnFocusIn(kMain);
    EXPECT_FALSE(tracker.CheckPending());
    EXPECT_EQ(tracker.OnFocusOut(/*wasActive=*/true), GtkFocusTracker::kCheckDelayUs);
}

TEST_F(FocusTrackerTest, ACheckDueWhileTheFocusSettlesAfterOurChangeIsPutOffToTheEndOfItNotDropped) {
    // The program opens a pop-up and gives it the focus; 200 ms later the
    // user switches to another program.
    tracker.NotePresented(kPanel);
    tracker.NoteOwnChange();
    EXPECT_EQ(tracker.OnFocusIn(kPanel), FocusIn::Echo);
    now += 200 * kMs;
    const std::optional<std::int64_t> delay = tracker.OnFocusOut(/*wasActive=*/true);
    ASSERT_TRUE(delay);
    now += *delay;
    GtkFocusTracker::Verdict verdict = tracker.CheckDue();
    EXPECT_FALSE(verdict.look);
    EXPECT_EQ(verdict.retryUs, GtkFocusTracker::kSettleUs - 300 * kMs);
    EXPECT_TRUE(tracker.CheckPending());
    now += verdict.retryUs;
    verdict = tracker.CheckDue();
    EXPECT_TRUE(verdict.look);
    EXPECT_FALSE(tracker.CheckPending());
}

TEST_F(FocusTrackerTest, AnotherChangeOfOursWhileACheckWaitsPutsItOffAgain) {
    tracker.NoteOwnChange();
    ASSERT_TRUE(tracker.OnFocusOut(/*wasActive=*/true));
    now += 900 * kMs;
    tracker.NoteOwnChange();  // the program hid a window meanwhile
    now += 150 * kMs;
    const GtkFocusTracker::Verdict verdict = tracker.CheckDue();
    EXPECT_FALSE(verdict.look);
    EXPECT_EQ(verdict.retryUs, GtkFocusTracker::kSettleUs - 150 * kMs);
}

}  // namespace

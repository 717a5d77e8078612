// The load rules both engine modules keep, as sequences of engine events and
// the finishes the client is told of: a load cut short by another navigation
// or by the client's refusal finishes cancelled, never failed; every load the
// client hears of finishes once.

#include "platform/wke/LoadTracker.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// One engine event: what happens, and the address it concerns.
struct Event {
    enum Kind { Client, Start, Refuse, Fail, Cancel, Retry, Finish } kind;
    std::string url;
};

Event Client(const char* url) {
    return {Event::Client, url};
}
Event Start(const char* url) {
    return {Event::Start, url};
}
Event Refuse(const char* url) {
    return {Event::Refuse, url};
}
Event Fail(const char* url) {
    return {Event::Fail, url};
}
Event Cancel(const char* url) {
    return {Event::Cancel, url};
}
Event Retry() {
    return {Event::Retry, ""};
}
Event Finish(const char* url) {
    return {Event::Finish, url};
}

std::string Text(const LoadFinish& finish) {
    static const char* const kResults[] = {"ok", "failed", "cancelled"};
    std::string text = finish.url + " " + kResults[finish.result];
    return finish.reason.empty() ? text : text + " (" + finish.reason + ")";
}

// The finishes told for `events`, in order.
Strings Told(const std::vector<Event>& events) {
    LoadTracker tracker;
    Strings told;
    auto note = [&told](const std::optional<LoadFinish>& finish) {
        if (finish)
            told.push_back(Text(*finish));
    };
    for (const Event& event : events) {
        switch (event.kind) {
            case Event::Client:
                note(tracker.ClientRequested(event.url));
                break;
            case Event::Start:
                note(tracker.Started(event.url));
                break;
            case Event::Refuse:
                note(tracker.Refused(event.url));
                break;
            case Event::Fail:
                note(tracker.Failed(event.url, LoadTracker::Failure::Failed, "connection refused"));
                break;
            case Event::Cancel:
                note(tracker.Failed(event.url, LoadTracker::Failure::Cancelled, "interrupted"));
                break;
            case Event::Retry:
                tracker.RetryingAfterCheck();
                break;
            case Event::Finish:
                note(tracker.Finished(event.url));
                break;
        }
    }
    return told;
}

struct Sequence {
    const char* what;
    std::vector<Event> events;
    Strings told;
};

// Every sequence tells what it should.
void ExpectTold(std::initializer_list<Sequence> sequences) {
    for (const Sequence& sequence : sequences)
        EXPECT_EQ(Told(sequence.events), sequence.told) << sequence.what;
}

const char* const kReplaced = " cancelled (replaced by another navigation)";

TEST(LoadTrackerTest, ALoadCutShortByAnotherNavigationFinishesCancelledAndTheNewOneFinishesOnItsOwn) {
    ExpectTold({
        {"the client's request, untouched", {Client("a"), Start("a"), Finish("a")}, {"a ok"}},
        {"the client asks again while the first load runs",
         {Client("a"), Start("a"), Client("b"), Start("b"), Finish("b")},
         {std::string("a") + kReplaced, "b ok"}},
        {"the client asks again before the first load started",
         {Client("a"), Client("b"), Start("b"), Finish("b")},
         {std::string("a") + kReplaced, "b ok"}},
        {"a link of the page replaces the client's load",
         {Client("a"), Start("a"), Start("c"), Finish("c")},
         {std::string("a") + kReplaced, "c ok"}},
        {"a link of the page replaces the page's own load",
         {Start("c"), Start("d"), Finish("d")},
         {std::string("c") + kReplaced, "d ok"}},
        {"a new request after the last load finished cancels nothing",
         {Client("a"), Start("a"), Finish("a"), Client("b"), Start("b"), Finish("b")},
         {"a ok", "b ok"}},
        {"the engine's own cancellation is a cancel, not a failure, and told once",
         {Client("a"), Start("a"), Cancel("a"), Finish("a")},
         {"a cancelled (interrupted)"}},
    });
}

TEST(LoadTrackerTest, AFailedLoadIsToldOnceAsAFailure) {
    ExpectTold({
        {"the network fails",
         {Client("a"), Start("a"), Fail("a"), Finish("a")},
         {"a failed (connection refused)"}},
        {"a failure does not make the next load's end a cancel",
         {Client("a"), Start("a"), Fail("a"), Finish("a"), Client("b"), Start("b"), Finish("b")},
         {"a failed (connection refused)", "b ok"}},
        {"a request after a failure that has not ended yet cancels nothing more",
         {Client("a"), Start("a"), Fail("a"), Client("b"), Start("b"), Finish("b")},
         {"a failed (connection refused)", "b ok"}},
    });
}

TEST(LoadTrackerTest, ARefusalEndsOnlyTheClientsOwnRequestThatHasNotStarted) {
    ExpectTold({
        {"the client refuses its own request",
         {Client("a"), Refuse("a")},
         {"a cancelled (refused by the client)"}},
        {"a refused request leaves nothing under way",
         {Client("a"), Refuse("a"), Start("c"), Finish("c")},
         {"a cancelled (refused by the client)", "c ok"}},
        {"a refused link of the page ends nothing", {Start("c"), Finish("c"), Refuse("d")}, {"c ok"}},
        {"a refused link while the client's started load runs leaves that load be",
         {Client("a"), Start("a"), Refuse("d"), Finish("a")},
         {"a ok"}},
    });
}

TEST(LoadTrackerTest, ALoadRetriedAfterACertificateCheckIsToldOnlyByTheRetry) {
    EXPECT_EQ(Told({Client("a"), Start("a"), Retry(), Finish("a"), Start("a"), Finish("a")}),
              Strings{"a ok"});
    // The retry's own failure is told.
    EXPECT_EQ(Told({Client("a"), Start("a"), Retry(), Finish("a"), Start("a"), Fail("a"), Finish("a")}),
              Strings{"a failed (connection refused)"});
}

}  // namespace

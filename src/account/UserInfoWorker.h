#pragma once
// The user-information worker: after each login, and at start-up with a saved
// login, the main window asks the store who the user is (user number, invite
// code, membership period, picture). The fetch runs on a background job; its
// result is applied on the UI thread, only while the main window lives, and
// only while the session still has the token the fetch was made with, so that
// a fetch ending after a logout or after another user's login never writes
// one user's values (or picture) into another's session.
//
// Use (the main window, UI thread):
//
//   UserInfoWorker m_userInfoWorker{CAppPaths::Instance().HeadPicturePath()};
//   m_userInfoWorker.Start(m_hWnd);   // the logged-in display
//   m_userInfoWorker.Stop();          // UM_LOGOUT, before ForgetLogin()
//
// A new Start while an earlier fetch still runs starts a new job for the
// current token; the earlier job is stopped (its transfers end at once), let
// go, and nothing of it is applied.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "account/HeadPicture.h"
#include "account/UserInfoReply.h"
#include "account/UserSession.h"
#include "platform/duilib/BackgroundJob.h"

// What one fetch brought.
struct FetchedUserInfo {
    UserInfoReply values;
    // The picture, waiting beside its place; null when none arrived (no
    // address, a refused address, a failed download): the old one stays.
    std::unique_ptr<HeadPicture> picture;
};

// The worker's body: posts to the user-information address with `token`
// (not whatever the session holds by then), reads the reply, and fetches the
// picture of a successful one beside `picturePath`. Nothing when the reply is
// empty, not JSON, or its "code" is not 1. `stop` ends both transfers at
// once. Worker thread; blocks it for at most the limits of the request and of
// the picture.
std::optional<FetchedUserInfo> FetchUserInfo(const std::string& token, const std::string& picturePath,
                                             const os::Event* stop);

// Applies a fetch's values to `session` and puts its picture in place, only
// while the session's token is still `token`; true then. Otherwise nothing
// changes and the fetched picture is removed. UI thread.
bool ApplyUserInfo(UserSession& session, const std::string& token, FetchedUserInfo& fetched);

class UserInfoWorker {
  public:
    // Runs on the UI thread after a fetch's result arrived: whether it was
    // applied.
    using OnDone = std::function<void(bool applied)>;

    // `picturePath`: the user's picture, "pic_head.jpg" in the per-user data
    // folder.
    explicit UserInfoWorker(std::string picturePath, UserSession& session = UserSession::Instance());
    // A running fetch is stopped and let go; nothing more is applied. Never
    // waits. UI thread.
    ~UserInfoWorker();
    UserInfoWorker(const UserInfoWorker&) = delete;
    UserInfoWorker& operator=(const UserInfoWorker&) = delete;

    // Starts a fetch for the session's current token whose result is applied
    // while `owner` (the main window) lives; `onDone` then runs. An earlier
    // fetch is stopped and let go first. False, with nothing started, for a
    // null owner, when nobody is logged in, or when no thread could be made.
    // UI thread.
    bool Start(HWND owner, OnDone onDone = {});

    // Stops the running fetch and lets it go: nothing of it is applied. UI
    // thread.
    void Stop();
    // The teardown: stops the running fetch and waits for it at most `limit`;
    // false when it still runs (it is let go). UI thread.
    bool StopAndWait(std::chrono::milliseconds limit);

    // Whether the latest fetch still runs (one that was let go is not
    // counted).
    bool IsRunning() const;
    // Waits until the latest fetch has ended or `limit` has passed; true
    // when it has ended or none runs.
    bool WaitFor(std::chrono::milliseconds limit) const;

  private:
    std::string m_picturePath;
    UserSession& m_session;
    // One job per fetch: a new one replaces (stops and lets go) the old.
    std::unique_ptr<DuiLib::BackgroundJob> m_job;
};

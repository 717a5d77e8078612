#pragma once
// The client's knowledge of the logged-in user: the token that authorises
// store calls and pages, the display name and login kind, and the user
// information the store returns. A user is logged in exactly when the token
// is not empty.
//
// The user-information worker writes some of these values while the UI thread
// reads and clears them, so every value sits behind one mutex and is read as
// a consistent copy.

#include <functional>
#include <mutex>
#include <string>

// Login kinds.
enum LoginType : int {
    LOGIN_NONE = 0,
    LOGIN_CODE = 1,  // mobile number and SMS verification code
    LOGIN_QQ = 2,
    LOGIN_WECHAT = 3,
};

struct UserSessionValues {
    std::string sessionToken;  // "X-token" of the store calls; empty: nobody logged in
    std::string nickName;      // phone number after a code login, nickname after a sign-in
    int loginType = LOGIN_NONE;
    // From the user-information fetch; never persisted.
    std::string userId;  // decimal user number
    std::string inviteCode;
    std::string startTime;  // membership period, as the server sent it
    std::string stopTime;
    bool isMember = false;  // startTime or stopTime is not empty
};

class UserSession {
  public:
    // The process-wide session, empty at start-up.
    static UserSession& Instance();

    // A consistent copy of every value. Any thread.
    UserSessionValues Snapshot() const;

    bool IsLoggedIn() const;
    std::string SessionToken() const;

    // Changes values under the lock; `change` must not call back into the
    // session. Any thread.
    void Update(const std::function<void(UserSessionValues&)>& change);
    // The same, only while the token is still `token` (tested and changed
    // under one lock): what was fetched for one login never lands in
    // another's. False, with nothing changed, when the token differs.
    bool UpdateIfToken(const std::string& token, const std::function<void(UserSessionValues&)>& change);

  private:
    mutable std::mutex m_mutex;
    UserSessionValues m_values;
};

#pragma once
// Persistence of the login in the per-user registry key: "Account" (the
// token), "NickName" and "LoginType".

#include <optional>
#include <string_view>

class UserSession;

// At start-up: writes "log start", the node1 marker and the stored token to
// the run log (when it is open), then restores the token, name and login kind
// into the session. Without a stored token nobody is logged in, whatever else
// the key holds.
void LoadSavedLogin(UserSession& session);
void LoadSavedLogin();

// After a successful login: a missing text keeps the session's current one.
// Stores the values in the session, then writes all three settings. A token
// other than the current one also empties the user information of the
// previous login (its own fetch fills it again).
void SaveLogin(UserSession& session, std::optional<std::string_view> token,
               std::optional<std::string_view> name, int loginType);
void SaveLogin(std::optional<std::string_view> token, std::optional<std::string_view> name, int loginType);

// On logout: empties the session's login and user information and deletes
// the three settings.
void ForgetLogin(UserSession& session);
void ForgetLogin();

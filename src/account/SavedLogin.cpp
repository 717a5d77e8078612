#include "account/SavedLogin.h"

#include <array>

#include "account/UserSession.h"
#include "config/Settings.h"
#include "diag/RunLog.h"
#include "platform/os/Text.h"

namespace {

// The values of the user-information fetch, as they are before the first one.
void ClearUserInformation(UserSessionValues& values) {
    values.userId.clear();
    values.inviteCode.clear();
    values.startTime.clear();
    values.stopTime.clear();
    values.isMember = false;
}

}  // namespace

void LoadSavedLogin(UserSession& session) {
    CRunLog& log = CRunLog::Instance();
    if (log.IsOpened()) {
        log.Write("log start");
    }
    const std::string account = os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount,
                                                 settings::kAccountReadBuffer)
                                    .value_or(std::string());
    if (log.IsOpened()) {
        log.Write(RunLogMarker("node1"));
        log.Write(account);
    }
    const std::string nickName = os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey,
                                                  settings::kNickName, settings::kDefaultReadBuffer)
                                     .value_or(std::string());

    // "LoginType" is read straight into the session's integer through a 4-byte
    // buffer: a missing or longer value leaves it as it was, a shorter one
    // replaces only its low bytes.
    const std::u16string keyW = os::Utf8ToUtf16(settings::kClientKey);
    const std::u16string nameW = os::Utf8ToUtf16(settings::kLoginType);
    std::array<unsigned char, 4> raw{};
    DWORD size = raw.size();
    const bool haveType = SHGetValueW(HKEY_CURRENT_USER, keyW.c_str(), nameW.c_str(), nullptr, raw.data(),
                                      &size) == ERROR_SUCCESS;

    session.Update([&](UserSessionValues& values) {
        if (haveType) {
            DWORD type = static_cast<DWORD>(values.loginType);
            for (DWORD i = 0; i < size && i < raw.size(); ++i) {
                type = (type & ~(0xFFu << (8 * i))) | (static_cast<DWORD>(raw[i]) << (8 * i));
            }
            values.loginType = static_cast<int>(type);
        }
        if (!account.empty()) {
            values.sessionToken = account;
            values.nickName = nickName;
        }
    });
}

void LoadSavedLogin() {
    LoadSavedLogin(UserSession::Instance());
}

void SaveLogin(UserSession& session, std::optional<std::string_view> token,
               std::optional<std::string_view> name, int loginType) {
    UserSessionValues stored;
    session.Update([&](UserSessionValues& values) {
        if (token && *token != values.sessionToken) {
            // Another login: what the store said about the previous user
            // (number, membership) is not this user's. It comes back with
            // this login's own user-information fetch.
            ClearUserInformation(values);
            values.sessionToken = std::string(*token);
        }
        if (name) {
            values.nickName = std::string(*name);
        }
        values.loginType = loginType;
        stored = values;
    });
    os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount, stored.sessionToken);
    os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kNickName, stored.nickName);
    os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kLoginType,
                    static_cast<DWORD>(loginType));
}

void SaveLogin(std::optional<std::string_view> token, std::optional<std::string_view> name, int loginType) {
    SaveLogin(UserSession::Instance(), token, name, loginType);
}

void ForgetLogin(UserSession& session) {
    session.Update([](UserSessionValues& values) {
        values.isMember = false;
        values.sessionToken.clear();
        values.nickName.clear();
        ClearUserInformation(values);
        values.loginType = LOGIN_NONE;
    });
    os::RegDeleteValue(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount);
    os::RegDeleteValue(HKEY_CURRENT_USER, settings::kClientKey, settings::kNickName);
    os::RegDeleteValue(HKEY_CURRENT_USER, settings::kClientKey, settings::kLoginType);
}

void ForgetLogin() {
    ForgetLogin(UserSession::Instance());
}

#pragma once
// The store API calls: each builds its address from the catalogue, sends it
// through the request layer with the user's token, and reads the reply
// envelope. They block the calling thread (see CCurlRequest for the limits).

#include <cstdint>
#include <string>
#include <string_view>

#include "net/ApiReply.h"

namespace api {

// Asks the store to send a verification code to `phone`. Success and the
// failure text are in the envelope.
ApiReply SendVerificationCode(std::string_view phone);

// Logs in with the phone and the code the user typed. On success the
// account token is `LoginToken(reply)`.
ApiReply LoginWithCode(std::string_view phone, std::string_view code);
// "data"."jwt" of a login reply.
std::string LoginToken(const ApiReply& reply);

// The logged-in user's information.
struct UserInfo {
    bool succeeded = false;
    std::int64_t id = 0;    // the user number
    std::string startTime;  // membership period, both empty when none
    std::string stopTime;
    std::string inviteCode;
    std::string headPicUrl;  // address of the user's picture
};
UserInfo ReadUserInfo(const ApiReply& reply);
UserInfo FetchUserInfo();

// Removes a document from the user's download list on the store.
bool DeleteDownloadRecord(int documentId);

// What a sign-in page hands back through the browser dialog.
struct SignInResult {
    bool parsed = false;      // the text was a JSON object
    std::int64_t result = 0;  // 1: signed in
    std::string errInfo;
    std::string openId;    // the account token
    std::string nickName;  // the display name
    bool SignedIn() const { return parsed && result == 1; }
};
SignInResult ReadSignInResult(std::string_view text);

}  // namespace api

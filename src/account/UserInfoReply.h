#pragma once
// The store's answer to the user-information call, read into the values the
// user session keeps. Outside input: any text may arrive here (an error page,
// a cut reply, hostile JSON), so nothing in it is trusted to have the
// expected shape; a member that is missing or of another type reads as empty
// text or 0 (ApiReply's rules).

#include <optional>
#include <string>
#include <string_view>

struct UserInfoReply {
    std::string userId;  // "data"."id" in decimal; "0" when the reply has none
    std::string inviteCode;
    std::string startTime;  // the membership period, as the store wrote it
    std::string stopTime;
    bool isMember = false;   // startTime or stopTime is not empty
    std::string pictureUrl;  // "data"."head_pic" when it is an http or https address, else empty
};

// The values of a successful reply; nothing for an empty reply, one that is
// not a JSON object, or one whose "code" is not the integer 1 (the session
// then stays as it is). Pure; any thread.
std::optional<UserInfoReply> ReadUserInfoReply(std::string_view reply);

// Whether the picture may be fetched from `url`: an "http://" or "https://"
// address the plain file fetch can send (never a file, data or other kind of
// address a reply may name). Pure; any thread.
bool IsPictureAddress(std::string_view url);

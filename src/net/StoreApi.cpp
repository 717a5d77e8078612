#include "net/StoreApi.h"

#include "net/CCurlRequest.h"
#include "net/ServerApi.h"

namespace api {

ApiReply SendVerificationCode(std::string_view phone) {
    CCurlRequest request(false);
    return ApiReply::Read(request.GetWithToken(SendCodeUrl(phone, UnixTimeNow())));
}

ApiReply LoginWithCode(std::string_view phone, std::string_view code) {
    CCurlRequest request(false);
    return ApiReply::Read(request.GetWithToken(SmsLoginUrl(phone, code, ReadCommonValues())));
}

std::string LoginToken(const ApiReply& reply) {
    return reply.Succeeded() ? reply.DataString("jwt") : std::string();
}

UserInfo ReadUserInfo(const ApiReply& reply) {
    UserInfo info;
    info.succeeded = reply.Succeeded();
    if (!info.succeeded) {
        return info;
    }
    info.id = reply.DataInt("id");
    info.startTime = reply.DataString("start_time");
    info.stopTime = reply.DataString("stop_time");
    info.inviteCode = reply.DataString("invite_code");
    info.headPicUrl = reply.DataString("head_pic");
    return info;
}

UserInfo FetchUserInfo() {
    CCurlRequest request(false);
    return ReadUserInfo(ApiReply::Read(request.PostWithToken(UserInfoUrl())));
}

bool DeleteDownloadRecord(int documentId) {
    CCurlRequest request(false);
    return ApiReply::Read(request.GetWithToken(DeleteDownloadUrl(documentId))).Succeeded();
}

SignInResult ReadSignInResult(std::string_view text) {
    SignInResult result;
    Json::Value root;
    if (!ApiReply::ParseObject(text, root)) {
        return result;
    }
    result.parsed = true;
    result.result = ApiReply::IntMember(root, "result");
    result.errInfo = ApiReply::StringMember(root, "errInfo");
    result.openId = ApiReply::StringMember(root, "openid");
    result.nickName = ApiReply::StringMember(root, "nickname");
    return result;
}

}  // namespace api

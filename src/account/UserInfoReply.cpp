#include "account/UserInfoReply.h"

#include "library/FetchAddress.h"
#include "net/ApiReply.h"
#include "net/StoreApi.h"

std::optional<UserInfoReply> ReadUserInfoReply(std::string_view reply) {
    const api::UserInfo info = api::ReadUserInfo(ApiReply::Read(reply));
    if (!info.succeeded) {
        return std::nullopt;
    }
    UserInfoReply values;
    values.userId = std::to_string(info.id);
    values.inviteCode = info.inviteCode;
    values.startTime = info.startTime;
    values.stopTime = info.stopTime;
    values.isMember = !values.stopTime.empty() || !values.startTime.empty();
    if (IsPictureAddress(info.headPicUrl)) {
        values.pictureUrl = info.headPicUrl;
    }
    return values;
}

bool IsPictureAddress(std::string_view url) {
    return SplitFetchAddress(url).has_value();
}

#include "demo-store/UserDirectory.h"

#include "demo-store/HttpUtil.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "demo-store/ArrivalLog.h"
#include "demo-store/FileUtil.h"

namespace demostore {
namespace {

std::string UsersFile(const std::string& dir) {
    return dir + "/users.json";
}

std::string Base64Url(const std::string& bytes) {
    std::string text = Base64Encode(bytes);
    while (!text.empty() && text.back() == '=') {
        text.pop_back();
    }
    std::replace(text.begin(), text.end(), '+', '-');
    std::replace(text.begin(), text.end(), '/', '_');
    return text;
}

bool FromBase64Url(std::string text, std::string& bytes) {
    if (text.find_first_of("+/=") != std::string::npos) {
        return false;
    }
    std::replace(text.begin(), text.end(), '-', '+');
    std::replace(text.begin(), text.end(), '_', '/');
    while (text.size() % 4 != 0) {
        text += '=';
    }
    return Base64Decode(text, bytes);
}

std::string RandomText(std::size_t length, const char* alphabet, std::size_t alphabetSize) {
    std::string text;
    unsigned char random[64];
    while (text.size() < length) {
        if (RAND_bytes(random, sizeof random) != 1) {
            return {};
        }
        for (unsigned char r : random) {
            // Drop values that would bias the choice.
            if (r < 256 - 256 % alphabetSize && text.size() < length) {
                text += alphabet[r % alphabetSize];
            }
        }
    }
    return text;
}

std::string NewInviteCode() {
    static const char kAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    return RandomText(6, kAlphabet, sizeof kAlphabet - 1);
}

std::string Compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

std::vector<StoreUser> SampleUsers() {
    StoreUser member;
    member.id = 10001;
    member.phone = "13800138000";
    member.inviteCode = "VT8K2M";
    member.startTime = "2026-01-01";
    member.stopTime = "2027-12-31";
    member.downloads = {101, 102, 103};
    StoreUser plain;
    plain.id = 10002;
    plain.phone = "13900139000";
    plain.inviteCode = "QX3P7R";
    plain.downloads = {201};
    return {member, plain};
}

bool ReadUser(const Json::Value& json, StoreUser& user) {
    if (!json.isObject() || !json["id"].isIntegral() || !json["phone"].isString() ||
        !json["invite_code"].isString() || !json["start_time"].isString() || !json["stop_time"].isString() ||
        !json["downloads"].isArray()) {
        return false;
    }
    user.id = json["id"].asInt64();
    user.phone = json["phone"].asString();
    user.inviteCode = json["invite_code"].asString();
    user.startTime = json["start_time"].asString();
    user.stopTime = json["stop_time"].asString();
    user.downloads.clear();
    for (const Json::Value& id : json["downloads"]) {
        if (!id.isIntegral()) {
            return false;
        }
        user.downloads.push_back(id.asInt64());
    }
    return true;
}

}  // namespace

bool IsMobileNumber(const std::string& text) {
    return text.size() == 11 && text[0] == '1' &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Json::Value StoreUser::ToJson() const {
    Json::Value json(Json::objectValue);
    json["id"] = static_cast<Json::Int64>(id);
    json["phone"] = phone;
    json["invite_code"] = inviteCode;
    json["start_time"] = startTime;
    json["stop_time"] = stopTime;
    Json::Value list(Json::arrayValue);
    for (std::int64_t document : downloads) {
        list.append(static_cast<Json::Int64>(document));
    }
    json["downloads"] = list;
    return json;
}

UserDirectory::UserDirectory(std::string dataDir) : m_dir(std::move(dataDir)) {}

bool UserDirectory::Load(std::string& error) {
    const std::string secretFile = m_dir + "/token-secret";
    if (!ReadWholeFile(secretFile, m_secret) || m_secret.size() < 32) {
        static const char kHex[] = "0123456789abcdef";
        m_secret = RandomText(64, kHex, 16);
        if (m_secret.empty() || !WriteFileAtomic(secretFile, m_secret, 0600)) {
            error = "cannot write " + secretFile;
            return false;
        }
    }
    std::lock_guard lock(m_mutex);
    std::string text;
    if (!ReadWholeFile(UsersFile(m_dir), text)) {
        m_users = SampleUsers();
        m_nextId = 10003;
        if (!SaveLocked()) {
            error = "cannot write " + UsersFile(m_dir);
            return false;
        }
        return true;
    }
    Json::Value json;
    if (!ParseStrictJson(text, json) || !json.isObject() || !json["next_id"].isIntegral() ||
        !json["users"].isArray()) {
        error = UsersFile(m_dir) + " is not a users file of the demo store; move it away to start afresh";
        return false;
    }
    std::vector<StoreUser> users;
    for (const Json::Value& item : json["users"]) {
        StoreUser user;
        if (!ReadUser(item, user)) {
            error = UsersFile(m_dir) + " holds a malformed user entry";
            return false;
        }
        users.push_back(user);
    }
    m_users = std::move(users);
    m_nextId = json["next_id"].asInt64();
    return true;
}

bool UserDirectory::SaveLocked() const {
    Json::Value json(Json::objectValue);
    json["next_id"] = static_cast<Json::Int64>(m_nextId);
    json["users"] = Json::Value(Json::arrayValue);
    for (const StoreUser& user : m_users) {
        json["users"].append(user.ToJson());
    }
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;
    return WriteFileAtomic(UsersFile(m_dir), Json::writeString(builder, json) + "\n", 0600);
}

std::optional<StoreUser> UserDirectory::FindOrCreate(const std::string& phone) {
    std::lock_guard lock(m_mutex);
    for (const StoreUser& user : m_users) {
        if (user.phone == phone) {
            return user;
        }
    }
    StoreUser user;
    user.id = m_nextId;
    user.phone = phone;
    user.inviteCode = NewInviteCode();
    // Every new account starts with a few documents on its list, so that
    // deleting a download can be tried at once.
    user.downloads = {101, 102, 103};
    m_users.push_back(user);
    ++m_nextId;
    if (!SaveLocked()) {
        m_users.pop_back();
        --m_nextId;
        return std::nullopt;
    }
    return user;
}

std::optional<StoreUser> UserDirectory::FindById(std::int64_t id) const {
    std::lock_guard lock(m_mutex);
    for (const StoreUser& user : m_users) {
        if (user.id == id) {
            return user;
        }
    }
    return std::nullopt;
}

std::optional<StoreUser> UserDirectory::FindByPhone(const std::string& phone) const {
    std::lock_guard lock(m_mutex);
    for (const StoreUser& user : m_users) {
        if (user.phone == phone) {
            return user;
        }
    }
    return std::nullopt;
}

std::string UserDirectory::Sign(const std::string& text) const {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (HMAC(EVP_sha256(), m_secret.data(), static_cast<int>(m_secret.size()),
             reinterpret_cast<const unsigned char*>(text.data()), text.size(), mac, &size) == nullptr) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(mac), size);
}

std::string UserDirectory::IssueToken(const StoreUser& user) const {
    Json::Value payload(Json::objectValue);
    payload["uid"] = static_cast<Json::Int64>(user.id);
    payload["iat"] = static_cast<Json::Int64>(std::time(nullptr));
    const std::string signedPart =
        Base64Url(R"({"alg":"HS256","typ":"JWT"})") + "." + Base64Url(Compact(payload));
    const std::string signature = Sign(signedPart);
    return signature.empty() ? std::string() : signedPart + "." + Base64Url(signature);
}

std::optional<StoreUser> UserDirectory::UserOfToken(const std::string& token) const {
    const std::size_t first = token.find('.');
    const std::size_t second = first == std::string::npos ? first : token.find('.', first + 1);
    if (second == std::string::npos || token.find('.', second + 1) != std::string::npos) {
        return std::nullopt;
    }
    std::string signature, payloadText;
    const std::string expected = Sign(token.substr(0, second));
    if (!FromBase64Url(token.substr(second + 1), signature) || expected.empty() ||
        signature.size() != expected.size() ||
        CRYPTO_memcmp(signature.data(), expected.data(), expected.size()) != 0 ||
        !FromBase64Url(token.substr(first + 1, second - first - 1), payloadText)) {
        return std::nullopt;
    }
    Json::Value payload;
    if (!ParseStrictJson(payloadText, payload) || !payload.isObject() || !payload["uid"].isIntegral()) {
        return std::nullopt;
    }
    return FindById(payload["uid"].asInt64());
}

bool UserDirectory::AddDownload(std::int64_t userId, std::int64_t documentId) {
    std::lock_guard lock(m_mutex);
    for (StoreUser& user : m_users) {
        if (user.id != userId)
            continue;
        if (std::find(user.downloads.begin(), user.downloads.end(), documentId) != user.downloads.end())
            return true;
        user.downloads.push_back(documentId);
        if (!SaveLocked()) {
            user.downloads.pop_back();
            return false;
        }
        return true;
    }
    return false;
}

UserDirectory::RemoveResult UserDirectory::RemoveDownload(std::int64_t userId, std::int64_t documentId) {
    std::lock_guard lock(m_mutex);
    for (StoreUser& user : m_users) {
        if (user.id != userId) {
            continue;
        }
        const auto it = std::find(user.downloads.begin(), user.downloads.end(), documentId);
        if (it == user.downloads.end()) {
            return RemoveResult::NotListed;
        }
        const std::size_t index = static_cast<std::size_t>(it - user.downloads.begin());
        user.downloads.erase(it);
        if (!SaveLocked()) {
            user.downloads.insert(user.downloads.begin() + static_cast<std::ptrdiff_t>(index), documentId);
            return RemoveResult::NotSaved;
        }
        return RemoveResult::Removed;
    }
    return RemoveResult::NotListed;
}

bool UserDirectory::Update(const std::string& phone, const Json::Value& fields, std::string& error) {
    if (!IsMobileNumber(phone)) {
        error = "not a mobile number: " + phone;
        return false;
    }
    if (!fields.isObject()) {
        error = "the user's fields are a JSON object";
        return false;
    }
    if (!FindOrCreate(phone)) {
        error = "cannot save the users file";
        return false;
    }
    std::lock_guard lock(m_mutex);
    auto it =
        std::find_if(m_users.begin(), m_users.end(), [&](const StoreUser& u) { return u.phone == phone; });
    StoreUser changed = *it;
    for (const std::string& name : fields.getMemberNames()) {
        const Json::Value& value = fields[name];
        if ((name == "invite_code" || name == "start_time" || name == "stop_time") && value.isString()) {
            (name == "invite_code"  ? changed.inviteCode
             : name == "start_time" ? changed.startTime
                                    : changed.stopTime) = value.asString();
        } else if (name == "downloads" && value.isArray()) {
            changed.downloads.clear();
            for (const Json::Value& id : value) {
                if (!id.isIntegral()) {
                    error = "\"downloads\" holds document numbers";
                    return false;
                }
                changed.downloads.push_back(id.asInt64());
            }
        } else {
            error = "cannot set \"" + name + "\"";
            return false;
        }
    }
    const StoreUser before = *it;
    *it = changed;
    if (!SaveLocked()) {
        *it = before;
        error = "cannot save the users file";
        return false;
    }
    return true;
}

bool UserDirectory::ResetToSample(std::string& error) {
    std::lock_guard lock(m_mutex);
    const auto before = m_users;
    const auto nextBefore = m_nextId;
    m_users = SampleUsers();
    m_nextId = 10003;
    if (!SaveLocked()) {
        m_users = before;
        m_nextId = nextBefore;
        error = "cannot save the users file";
        return false;
    }
    return true;
}

Json::Value UserDirectory::ToJson() const {
    std::lock_guard lock(m_mutex);
    Json::Value list(Json::arrayValue);
    for (const StoreUser& user : m_users) {
        list.append(user.ToJson());
    }
    return list;
}

}  // namespace demostore

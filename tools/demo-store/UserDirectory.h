#pragma once
// The store's users and their download lists, kept in DIR/users.json, and the
// account tokens it issues. A token is a JWT (HS256) over the user number,
// signed with a secret kept in DIR/token-secret, so tokens survive restarts
// and a token the store did not sign, or one of a removed user, is refused.

#include <json/json.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace demostore {

struct StoreUser {
    std::int64_t id = 0;
    std::string phone;
    std::string inviteCode;
    std::string startTime;  // membership period; both empty for a user without one
    std::string stopTime;
    std::vector<std::int64_t> downloads;  // document numbers on the user's downloads list

    Json::Value ToJson() const;
};

class UserDirectory {
  public:
    explicit UserDirectory(std::string dataDir);

    // Reads users.json and the token secret, creating both on the first start
    // (with two sample users). A users.json that exists but does not parse is
    // an error: the store does not overwrite data it cannot read.
    bool Load(std::string& error);

    // The user with this phone number, created (with a fresh download list)
    // when new. Empty when the change cannot be saved.
    std::optional<StoreUser> FindOrCreate(const std::string& phone);
    std::optional<StoreUser> FindById(std::int64_t id) const;
    std::optional<StoreUser> FindByPhone(const std::string& phone) const;

    std::string IssueToken(const StoreUser& user) const;
    // The user a token belongs to; empty for a forged, malformed or orphaned token.
    std::optional<StoreUser> UserOfToken(const std::string& token) const;

    // Puts a document on the user's downloads list (once); false when the
    // user is unknown or the change cannot be saved.
    bool AddDownload(std::int64_t userId, std::int64_t documentId);

    enum class RemoveResult { Removed, NotListed, NotSaved };
    RemoveResult RemoveDownload(std::int64_t userId, std::int64_t documentId);

    // Sets members of a user ("invite_code", "start_time", "stop_time",
    // "downloads") from the admin interface, creating the user when new.
    bool Update(const std::string& phone, const Json::Value& fields, std::string& error);
    // Back to the two sample users.
    bool ResetToSample(std::string& error);

    Json::Value ToJson() const;

  private:
    bool SaveLocked() const;
    std::string Sign(const std::string& text) const;

    std::string m_dir;
    std::string m_secret;
    mutable std::mutex m_mutex;
    std::vector<StoreUser> m_users;
    std::int64_t m_nextId = 10001;
};

// Eleven digits starting with 1: a mobile number as the store accepts it.
bool IsMobileNumber(const std::string& text);

}  // namespace demostore

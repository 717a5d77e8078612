#pragma once
// The store host (HTTPS): the account API the client calls with its token
// headers, the sign-in and help pages it opens, and the users' pictures.
// Every API call checks what the client must send — the token headers, the
// query keys in their order, the common values, the send-code signature —
// and refuses anything else with the reply envelope ("code" 0 and a message
// for the user).

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "demo-store/StoreContext.h"

namespace demostore {

class StoreApi {
  public:
    explicit StoreApi(StoreContext& context);

    void Handle(const httplib::Request& req, httplib::Response& res);
    // Forgets every verification code not yet used.
    void ForgetCodes();

    // How far the send-code time may lie from the store's clock.
    static constexpr std::int64_t kTimeWindowSeconds = 300;
    // How long a verification code stays valid.
    static constexpr std::int64_t kCodeLifetimeSeconds = 600;

  private:
    void SendCode(const httplib::Request& req, httplib::Response& res);
    void LoginWithCode(const httplib::Request& req, httplib::Response& res);
    void UserInfo(const httplib::Request& req, httplib::Response& res);
    void DeleteDownload(const httplib::Request& req, httplib::Response& res);
    void SignInPage(const httplib::Request& req, httplib::Response& res, const std::string& kind);
    void HelpPage(const std::string& path, httplib::Response& res);
    void Picture(const std::string& path, httplib::Response& res);

    // The token headers every API call carries; false (and the refusal
    // written) when they are missing or malformed.
    bool CheckTokenHeaders(const httplib::Request& req, httplib::Response& res);

    StoreContext& m_context;
    struct PendingCode {
        std::string code;
        std::int64_t issued = 0;
    };
    std::mutex m_mutex;
    std::map<std::string, PendingCode> m_codes;  // by phone number
};

// The send-code signature: MD5 of time, phone and the fixed salt, as 32
// lower-case hexadecimal digits.
std::string SendCodeSignature(const std::string& time, const std::string& phone);

}  // namespace demostore

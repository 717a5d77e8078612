#pragma once
// The web hosts of the demo store: the store pages shown in the client's
// tabs with the web-login cookie ("refreshWebLogin" sets it, "logout" clears
// it), their pictures and template files, the feedback page and the
// customer-service page. The downloads page lists the logged-in user's
// documents so that a deletion shows on reload; a download asked for through
// a page puts the document on that list.

#include <httplib.h>

#include "demo-store/StoreContext.h"

namespace demostore {

class PageService {
  public:
    explicit PageService(StoreContext& context);

    void HandleClientPages(const httplib::Request& req, httplib::Response& res);
    void HandleFeedbackPage(const httplib::Request& req, httplib::Response& res);
    void HandleServicePage(const httplib::Request& req, httplib::Response& res);

    // The cookie that carries the web login.
    static constexpr const char* kLoginCookie = "vanto_token";

  private:
    void RefreshWebLogin(const httplib::Request& req, httplib::Response& res);
    void Logout(httplib::Response& res);
    void DownloadsPage(const httplib::Request& req, httplib::Response& res);
    void RecordDownload(const httplib::Request& req, httplib::Response& res);
    void TemplateFile(const httplib::Request& req, httplib::Response& res);
    // The web login of the request's cookie, if it names a user.
    std::optional<StoreUser> CookieUser(const httplib::Request& req) const;

    StoreContext& m_context;
};

}  // namespace demostore

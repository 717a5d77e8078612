#pragma once
// The demo store's admin interface (HTTP + JSON on its own port), for tests
// and for a person trying the client:
//   GET    /                     ports, data folder
//   GET    /requests[?service=S] requests that arrived (method, target, headers, body)
//   GET    /reports              decrypted usage reports
//   GET    /uploads              uploaded files
//   GET    /sms                  verification codes sent
//   GET    /faults               faults in force
//   POST   /faults               set a fault: {"service":S,"path":P|"*", delay_ms, stall, truncate,
//                                no_length, chunked, chunk_size, status, body, times}
//   DELETE /faults               remove every fault, release stalled replies
//   POST   /reset                forget arrivals, faults and codes; {"users":true} also restores the sample
//   users GET    /users                the users PUT    /users/<phone>        set a user's invite_code,
//   start_time, stop_time, downloads POST   /tokens               {"phone":P}: a token for that user (created
//   when new), without the SMS round PUT    /files/<service><path> replace a served file with the request
//   body

#include <httplib.h>

#include <functional>

#include "demo-store/StoreContext.h"

namespace demostore {

class AdminApi {
  public:
    AdminApi(StoreContext& context, std::function<void()> forgetCodes);

    void Handle(const httplib::Request& req, httplib::Response& res);

  private:
    void SetFault(const httplib::Request& req, httplib::Response& res);
    void Reset(const httplib::Request& req, httplib::Response& res);
    void PutUser(const httplib::Request& req, httplib::Response& res);
    void IssueToken(const httplib::Request& req, httplib::Response& res);
    void PutFile(const httplib::Request& req, httplib::Response& res);

    StoreContext& m_context;
    std::function<void()> m_forgetCodes;
};

}  // namespace demostore

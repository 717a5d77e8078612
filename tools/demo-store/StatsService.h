#pragma once
// The statistics host: "action.ashx" takes an encrypted usage report and
// answers "1" when it decrypts to a well-formed report, "0" otherwise;
// "errorfile.ashx" takes the crash-file upload and answers "1" (text/plain)
// when the multipart body has the client's exact form. Both keep what they
// received: in the arrival log and in DIR/reports and DIR/uploads.

#include <httplib.h>

#include <atomic>

#include "demo-store/StoreContext.h"

namespace demostore {

class StatsService {
  public:
    explicit StatsService(StoreContext& context);

    void Handle(const httplib::Request& req, httplib::Response& res);

  private:
    void ActionReport(const httplib::Request& req, httplib::Response& res);
    void ErrorFile(const httplib::Request& req, httplib::Response& res);
    std::string NextName();

    StoreContext& m_context;
    std::atomic<unsigned> m_counter{0};
};

}  // namespace demostore

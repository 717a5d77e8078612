#pragma once
// The update and toolbox hosts: version files, installers and the toolbox
// archives, served from the data folder as they are. The client fetches the
// version files with its fixed credentials, so those answer 401 to a request
// without them.

#include <httplib.h>

#include "demo-store/StoreContext.h"

namespace demostore {

class FileService {
  public:
    explicit FileService(StoreContext& context);

    void Handle(Service service, const httplib::Request& req, httplib::Response& res);

    // The credentials the client sends with every version-file request.
    static constexpr const char* kVersionFileUser = "kiwi";
    static constexpr const char* kVersionFilePassword = "plum";

  private:
    StoreContext& m_context;
};

bool IsVersionFilePath(Service service, const std::string& path);

}  // namespace demostore

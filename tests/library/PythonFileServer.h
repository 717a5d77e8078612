#pragma once
// An independent HTTP file server for tests: Python's http.server serving one
// folder on 127.0.0.1, on a port the system picks, optionally over TLS with a
// given certificate and key. Started in the constructor (with a deadline for
// its port), stopped in the destructor.

#include <sys/types.h>

#include <string>

namespace vtest {

class PythonFileServer {
  public:
    explicit PythonFileServer(const std::string& folder, const std::string& certFile = {},
                              const std::string& keyFile = {});
    ~PythonFileServer();
    PythonFileServer(const PythonFileServer&) = delete;
    PythonFileServer& operator=(const PythonFileServer&) = delete;

    // 0 when the server did not come up.
    int Port() const { return m_port; }

  private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// Makes a CA and a server certificate for 127.0.0.1 signed by it, with the
// openssl command: folder/ca.pem, folder/server.pem, folder/server.key.
// Returns false when the openssl command failed.
bool MakeTestCertificates(const std::string& folder);

}  // namespace vtest

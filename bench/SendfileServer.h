#pragma once
// The downloading benchmarks' loopback server: its own process, one
// connection at a time, "GET /<MiB> ..." answered with the file
// "<folder>/src<MiB>" by sendfile from the page cache, so that the server
// costs little CPU and both sides of a comparison read the same bytes.

#include <sys/types.h>

#include <string>

namespace bench {

// Writes "<folder>/src<mib>", `mib` MiB of a fixed pattern; false on failure.
bool MakeSourceFile(const std::string& folder, long mib);

class SendfileServer {
  public:
    // Listens on 127.0.0.1 (a port the system picks) and starts serving;
    // Port() is 0 when that failed. The server ends with this object, or
    // with the benchmark however it ends.
    explicit SendfileServer(std::string folder);
    ~SendfileServer();
    SendfileServer(const SendfileServer&) = delete;
    SendfileServer& operator=(const SendfileServer&) = delete;

    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>/<mib>"
    std::string Url(long mib) const;

  private:
    [[noreturn]] void Serve(int listenFd) const;

    std::string m_folder;
    int m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace bench

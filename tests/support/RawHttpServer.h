#pragma once
// A scripted HTTP server on 127.0.0.1 for tests that check the exact bytes a
// client sends and how it copes with what a server may do: replies in
// pieces, wrong or missing lengths, bodies cut short, stalls, any status.
// Every request is recorded whole. One connection is served at a time, on
// the server's own thread; each connection carries one request and is closed
// after its reply (unless the reply stalls until the server stops).

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vtest {

class RawHttpServer {
  public:
    struct Request {
        std::string raw;     // every byte received, head and body
        std::string head;    // request line and header lines, up to the blank line
        std::string method;  // "GET", "POST", ...
        std::string target;  // "/path?query"
        std::string body;
        // The value of the first header with this name (case-insensitive), "" when absent.
        std::string Header(const std::string& name) const;
        bool HasHeader(const std::string& name) const;
    };

    struct Reply {
        std::string bytes;          // sent as they are: status line, headers, body
        std::size_t pieceSize = 0;  // >0: send in pieces of this size, flushing each
        bool stallAfter = false;    // keep the connection open, silent, until the server stops
    };

    using Handler = std::function<Reply(const Request&)>;

    explicit RawHttpServer(Handler handler);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;
    // "127.0.0.1:<port>"
    std::string HostPort() const;

    std::vector<Request> Requests() const;
    // Waits (with a deadline) until `count` requests have arrived.
    bool WaitForRequests(std::size_t count) const;

    // A complete reply: status line, the given headers, "Content-Length"
    // unless `withLength` is false, "Connection: close", and the body.
    static std::string Response(int status, const std::string& body,
                                const std::vector<std::pair<std::string, std::string>>& headers = {},
                                bool withLength = true);
    // A reply whose body is sent with chunked transfer encoding, one chunk per piece.
    static std::string ChunkedResponse(int status, const std::vector<std::string>& pieces,
                                       const std::vector<std::pair<std::string, std::string>>& headers = {});

  private:
    void Serve();
    void HandleConnection(int fd);
    bool ReadRequest(int fd, Request& request);

    Handler m_handler;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    int m_port = 0;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<Request> m_requests;
    std::thread m_thread;
};

}  // namespace vtest

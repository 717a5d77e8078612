#pragma once
// The demo store: one HTTP server per host of the client's catalogue, each on
// its own loopback port (the store API over HTTPS with the store's own CA),
// and the admin interface on another. Every request is recorded, handled by
// its service, and then delivered as the fault table says.

#include <httplib.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "demo-store/AdminApi.h"
#include "demo-store/FileService.h"
#include "demo-store/PageService.h"
#include "demo-store/ReplyBody.h"
#include "demo-store/StatsService.h"
#include "demo-store/StoreApi.h"
#include "demo-store/StoreContext.h"

namespace demostore {

struct ServerOptions {
    std::string dataDir;
    int portBase = 47800;    // admin on the base, the services on the seven ports after it
    bool ephemeral = false;  // every port chosen by the system
    std::uint64_t largeFileSize = LargeFile::kDefaultSize;
};

class DemoServer {
  public:
    explicit DemoServer(ServerOptions options);
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Prepares the data folder (lock, certificates, users, served files),
    // binds every port, writes DIR/ports.env and starts serving. False with
    // `error` set when anything fails; nothing is then left listening.
    bool Start(std::string& error);
    // Stops every server, releases stalled replies, removes ports.env.
    void Stop();

    // "VANTO_STORE_HOST=127.0.0.1:PORT" … one per line, as in ports.env.
    std::string EnvironmentLines() const;

  private:
    void Dispatch(Service service, const httplib::Request& req, httplib::Response& res);
    // Sends the handler's reply (its body, or the file it handed over) as
    // the fault says, answering a byte range of a GET.
    // `generation`: the fault table's when the fault was taken.
    void Deliver(const httplib::Request& req, const Fault& fault, std::uint64_t generation,
                 std::optional<FileReplies::Pending> file, httplib::Response& res);
    void Route(httplib::Server& server,
               const std::function<void(const httplib::Request&, httplib::Response&)>& handler);
    bool LockDataDir(std::string& error);

    ServerOptions m_options;
    std::unique_ptr<StoreContext> m_context;
    std::unique_ptr<StoreApi> m_storeApi;
    std::unique_ptr<PageService> m_pages;
    std::unique_ptr<FileService> m_files;
    std::unique_ptr<StatsService> m_stats;
    std::unique_ptr<AdminApi> m_admin;
    std::array<std::unique_ptr<httplib::Server>, kAllServices.size()> m_servers;
    std::unique_ptr<httplib::Server> m_adminServer;
    std::vector<std::thread> m_threads;
    std::vector<httplib::Server*> m_loops;  // admin first, then the services
    std::unique_ptr<std::atomic<bool>[]> m_loopsEnded;
    int m_lockFd = -1;
    bool m_started = false;
};

}  // namespace demostore

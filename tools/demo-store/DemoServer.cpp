#include "demo-store/DemoServer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "demo-store/CertificateStore.h"
#include "demo-store/FileUtil.h"
#include "demo-store/HttpUtil.h"

namespace demostore {
namespace {

constexpr std::size_t kMaxBody = 64 * 1024 * 1024;

// The HTTP library parses multipart bodies itself and keeps only the parts;
// the store checks the client's form byte by byte, so the Content-Type is
// moved aside before the body is read, and handlers ask ClientContentType.
// Byte ranges are answered by the store (Deliver), so the library's own
// reading of the Range header is dropped here.
httplib::Server::HandlerResponse StashMultipartType(const httplib::Request& req, httplib::Response&) {
    // The server loop owns the request as a non-const object; the library
    // hands it on as const only by convention.
    auto& request = const_cast<httplib::Request&>(req);
    request.ranges.clear();
    const std::string type = request.get_header_value("Content-Type");
    if (type.rfind("multipart/", 0) == 0) {
        request.headers.erase("Content-Type");
        request.headers.emplace(kStashedContentType, type);
        request.headers.emplace("Content-Type", "application/octet-stream");
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

}  // namespace

DemoServer::DemoServer(ServerOptions options) : m_options(std::move(options)) {}

DemoServer::~DemoServer() {
    Stop();
    if (m_lockFd >= 0) {
        close(m_lockFd);
    }
}

bool DemoServer::LockDataDir(std::string& error) {
    const std::string lockFile = m_options.dataDir + "/.lock";
    m_lockFd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        error = "cannot write in the data folder " + m_options.dataDir;
        return false;
    }
    if (flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        error = "another demo store is running on " + m_options.dataDir;
        return false;
    }
    return true;
}

void DemoServer::Route(httplib::Server& server,
                       const std::function<void(const httplib::Request&, httplib::Response&)>& handler) {
    server.set_pre_routing_handler(StashMultipartType);
    server.set_payload_max_length(kMaxBody);
    for (const char* method : {"GET", "POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        const std::string m = method;
        if (m == "GET") {
            server.Get(".*", handler);
        } else if (m == "POST") {
            server.Post(".*", handler);
        } else if (m == "PUT") {
            server.Put(".*", handler);
        } else if (m == "DELETE") {
            server.Delete(".*", handler);
        } else if (m == "PATCH") {
            server.Patch(".*", handler);
        } else {
            server.Options(".*", handler);
        }
    }
}

bool DemoServer::Start(std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(m_options.dataDir, ec);
    m_options.dataDir = std::filesystem::absolute(m_options.dataDir, ec).lexically_normal().string();
    while (m_options.dataDir.size() > 1 && m_options.dataDir.back() == '/') {
        m_options.dataDir.pop_back();
    }
    if (!LockDataDir(error)) {
        return false;
    }
    // A ports.env left by an earlier run must not be taken for this one's.
    unlink((m_options.dataDir + "/ports.env").c_str());

    CertificateStore certificates(m_options.dataDir);
    if (!certificates.Ensure(error)) {
        return false;
    }
    m_context = std::make_unique<StoreContext>(m_options.dataDir, m_options.largeFileSize);
    if (!m_context->users.Load(error) || !m_context->files.EnsureSamples(error)) {
        return false;
    }
    m_storeApi = std::make_unique<StoreApi>(*m_context);
    m_pages = std::make_unique<PageService>(*m_context);
    m_files = std::make_unique<FileService>(*m_context);
    m_stats = std::make_unique<StatsService>(*m_context);
    m_admin = std::make_unique<AdminApi>(*m_context, [this] { m_storeApi->ForgetCodes(); });

    for (Service service : kAllServices) {
        auto& server = m_servers[static_cast<std::size_t>(service)];
        if (ServiceUsesTls(service)) {
            server = std::make_unique<httplib::SSLServer>(certificates.ServerCertFile().c_str(),
                                                          certificates.ServerKeyFile().c_str());
        } else {
            server = std::make_unique<httplib::Server>();
        }
        if (!server->is_valid()) {
            error = "cannot set up the " + std::string(ServiceName(service)) + " server (certificate files?)";
            return false;
        }
        Route(*server, [this, service](const httplib::Request& req, httplib::Response& res) {
            Dispatch(service, req, res);
        });
    }
    m_adminServer = std::make_unique<httplib::Server>();
    Route(*m_adminServer,
          [this](const httplib::Request& req, httplib::Response& res) { m_admin->Handle(req, res); });

    // Bind everything first: a port that is taken fails the start before
    // anything is served or announced.
    const auto bind = [&](httplib::Server& server, int offset, int& port) {
        if (m_options.ephemeral) {
            port = server.bind_to_any_port("127.0.0.1");
            return port > 0;
        }
        port = m_options.portBase + offset;
        return server.bind_to_port("127.0.0.1", port);
    };
    if (!bind(*m_adminServer, 0, m_context->adminPort)) {
        error = "cannot listen on the admin port " + std::to_string(m_options.portBase);
        return false;
    }
    for (Service service : kAllServices) {
        const std::size_t index = static_cast<std::size_t>(service);
        if (!bind(*m_servers[index], ServicePortOffset(service), m_context->ports[index])) {
            error = "cannot listen on port " +
                    std::to_string(m_options.portBase + ServicePortOffset(service)) + " for the " +
                    std::string(ServiceName(service)) + " service";
            return false;
        }
    }
    // The sample toolbox archive's page entry names this start's client-page port.
    if (!m_context->files.EnsureToolboxArchive(
            "http://127.0.0.1:" + std::to_string(m_context->Port(Service::ClientPage)) + "/", error)) {
        return false;
    }
    m_loops.push_back(m_adminServer.get());
    for (auto& server : m_servers) {
        m_loops.push_back(server.get());
    }
    // A stop waits for idle kept-alive connections to time out, and a web
    // engine's network process keeps its own open: a second, not the
    // library's five, is enough for any client to reuse one.
    for (httplib::Server* server : m_loops) {
        server->set_keep_alive_timeout(1);
    }
    m_loopsEnded = std::make_unique<std::atomic<bool>[]>(m_loops.size());
    for (std::size_t i = 0; i < m_loops.size(); ++i) {
        m_threads.emplace_back([this, i] {
            m_loops[i]->listen_after_bind();
            m_loopsEnded[i] = true;
        });
    }
    m_started = true;
    // Announced only once every loop accepts connections.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto running = [this] {
        return std::all_of(m_loops.begin(), m_loops.end(),
                           [](httplib::Server* s) { return s->is_running(); });
    };
    while (!running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            error = "the servers did not start";
            Stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!WriteFileAtomic(m_options.dataDir + "/ports.env", EnvironmentLines(), 0644)) {
        error = "cannot write " + m_options.dataDir + "/ports.env";
        Stop();
        return false;
    }
    return true;
}

void DemoServer::Stop() {
    if (m_context) {
        m_context->faults.Shutdown();
    }
    // The library ignores a stop() that comes before its loop runs, so each
    // loop is told again until it has ended.
    for (bool allEnded = false; !allEnded;) {
        allEnded = true;
        for (std::size_t i = 0; i < m_loops.size(); ++i) {
            if (!m_loopsEnded[i]) {
                m_loops[i]->stop();
                allEnded = false;
            }
        }
        if (!allEnded) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
    m_loops.clear();
    if (m_started) {
        unlink((m_options.dataDir + "/ports.env").c_str());
        m_started = false;
    }
}

std::string DemoServer::EnvironmentLines() const {
    std::string lines;
    for (Service service : kAllServices) {
        lines += std::string(ServiceEnvName(service)) +
                 "=127.0.0.1:" + std::to_string(m_context->Port(service)) + "\n";
    }
    lines += "VANTO_CA_FILE=" + m_options.dataDir + "/ca.pem\n";
    lines += "VANTO_DEMO_ADMIN=127.0.0.1:" + std::to_string(m_context->adminPort) + "\n";
    return lines;
}

void DemoServer::Dispatch(Service service, const httplib::Request& req, httplib::Response& res) {
    RecordedRequest record;
    record.service = service;
    record.method = req.method;
    record.target = req.target;
    record.path = req.path;
    const bool stashed = req.has_header(kStashedContentType);
    for (const auto& [name, value] : req.headers) {
        if (stashed && name == "Content-Type") {
            continue;
        }
        // The library adds these two for its own bookkeeping.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") {
            continue;
        }
        record.headers.emplace_back(name == kStashedContentType ? "Content-Type" : name, value);
    }
    record.body = req.body;
    m_context->log.AddRequest(std::move(record));

    // A file a handler handed over is taken below, or here should the handler throw.
    struct ForgetFile {
        FileReplies& replies;
        const httplib::Response& res;
        ~ForgetFile() { replies.Take(res); }
    } forgetFile{m_context->replies, res};
    switch (service) {
        case Service::Store:
            m_storeApi->Handle(req, res);
            break;
        case Service::ClientPage:
            m_pages->HandleClientPages(req, res);
            break;
        case Service::FeedbackPage:
            m_pages->HandleFeedbackPage(req, res);
            break;
        case Service::ServicePage:
            m_pages->HandleServicePage(req, res);
            break;
        case Service::Update:
        case Service::Toolbox:
            m_files->Handle(service, req, res);
            break;
        case Service::Stats:
            m_stats->Handle(req, res);
            break;
    }
    std::optional<FileReplies::Pending> file = m_context->replies.Take(res);
    std::uint64_t generation = 0;
    const std::optional<Fault> fault = m_context->faults.Take(service, req.path, generation);
    Deliver(req, fault.value_or(Fault{}), generation, std::move(file), res);
}

void DemoServer::Deliver(const httplib::Request& req, const Fault& fault, std::uint64_t generation,
                         std::optional<FileReplies::Pending> file, httplib::Response& res) {
    FaultTable& faults = m_context->faults;
    // A single byte range of a successful GET is answered by the store
    // itself (the HTTP library's own answer keeps status 200 for a part).
    std::optional<ByteRange> range;
    const std::string rangeHeader = req.get_header_value("Range");
    const bool mayAnswerRange =
        req.method == "GET" && res.status == 200 && !rangeHeader.empty() && !req.has_header("If-Range");
    if (fault.delayMs > 0 && !faults.Wait(std::chrono::milliseconds(fault.delayMs), generation)) {
        return;
    }
    if (fault.body) {
        file.reset();
        res.body = *fault.body;
    }
    std::shared_ptr<const ReplyBody> body;
    std::string type;
    if (file) {
        body = file->body;
        type = file->contentType;
        res.set_header("Accept-Ranges", "bytes");
    } else {
        const bool cut =
            fault.truncateAfter >= 0 && static_cast<std::size_t>(fault.truncateAfter) < res.body.size();
        if (!cut && !fault.dropLength && !fault.chunked && fault.throttle <= 0 && !mayAnswerRange) {
            if (fault.status != 0) {
                res.status = fault.status;
            }
            if (fault.stall && fault.truncateAfter < 0) {
                faults.Wait(std::nullopt, generation);
            }
            return;
        }
        type = res.get_header_value("Content-Type");
        res.headers.erase("Content-Type");
        body = std::make_shared<MemoryBody>(std::move(res.body));
        res.body.clear();
    }
    if (mayAnswerRange && !fault.body) {
        ByteRange part;
        switch (ResolveRange(rangeHeader, body->Size(), part)) {
            case RangeAnswer::Partial:
                res.status = 206;
                res.set_header("Content-Range", "bytes " + std::to_string(part.first) + "-" +
                                                    std::to_string(part.last) + "/" +
                                                    std::to_string(body->Size()));
                range = part;
                break;
            case RangeAnswer::Unsatisfiable:
                res.status = 416;
                res.set_header("Content-Range", "bytes */" + std::to_string(body->Size()));
                body = std::make_shared<MemoryBody>(std::string());
                break;
            case RangeAnswer::Whole:
                break;
        }
    }
    if (fault.status != 0) {
        res.status = fault.status;
    }
    if (fault.stall && fault.truncateAfter < 0 && !faults.Wait(std::nullopt, generation)) {
        return;
    }
    SendBody(res, std::move(body), type, range, fault, faults, generation);
}

}  // namespace demostore

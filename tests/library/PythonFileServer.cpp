#include "library/PythonFileServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "support/Sandbox.h"

namespace vtest {
namespace {

// http.server's command line cannot bind port 0, so a few lines do it and
// print the port the system picked.
constexpr const char* kScript = R"(
import functools, http.server, ssl, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
handler.func.log_message = lambda *args: None
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
if len(sys.argv) > 3:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2], sys.argv[3])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
)";

}  // namespace

PythonFileServer::PythonFileServer(const std::string& folder, const std::string& certFile,
                                   const std::string& keyFile) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> argv = {"python3", "-c", kScript, folder};
    if (!certFile.empty()) {
        argv.push_back(certFile);
        argv.push_back(keyFile);
    }
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], 1);
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_pid > 0 && line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd fd = {out[0], POLLIN, 0};
        if (poll(&fd, 1, 200) > 0) {
            char buf[64];
            const ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            line.append(buf, static_cast<std::size_t>(n));
        }
    }
    close(out[0]);
    if (line.find('\n') != std::string::npos) {
        m_port = std::atoi(line.c_str());
    }
}

PythonFileServer::~PythonFileServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        if (!WaitFor([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; })) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
    }
}

bool MakeTestCertificates(const std::string& folder) {
    const std::string ca = folder + "/ca.pem";
    const std::string caKey = folder + "/ca.key";
    const std::string csr = folder + "/server.csr";
    const std::string ext = folder + "/server.ext";
    WriteFile(ext, "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    const std::vector<std::vector<std::string>> steps = {
        {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", caKey, "-out", ca, "-days",
         "2", "-subj", "/CN=Fetch Test CA"},
        {"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", folder + "/server.key", "-out", csr,
         "-subj", "/CN=127.0.0.1"},
        {"openssl", "x509", "-req", "-in", csr, "-CA", ca, "-CAkey", caKey, "-CAcreateserial", "-out",
         folder + "/server.pem", "-days", "2", "-extfile", ext},
    };
    for (const auto& step : steps) {
        if (RunProcess(step).exitCode != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace vtest

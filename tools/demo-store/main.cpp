// demo-store: the local store server for the demo and the integration tests.

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "demo-store/DemoServer.h"

namespace {

const char kHelp[] = R"(Usage: demo-store --data DIR [--port-base N] [--ephemeral] [--large-file-size SIZE]

The local demo store: stands in for every server the Vanto client talks to,
each host on its own loopback port (127.0.0.1 only).

  --data DIR       data folder (created when missing): users, certificates,
                   served files, received reports and uploads
  --port-base N    admin interface on port N, the services on N+1 … N+7
                   (default 47800)
  --ephemeral      let the system choose every port (for tests)
  --large-file-size SIZE
                   size of the store pages' large file in bytes, or with
                   K, M or G (binary); 4K to 2G, default 128M (see below)
  --help           this text

Services, in port order after the admin port:
  store     HTTPS  account API, sign-in and help pages, user pictures
  client    HTTP   store pages, web-login cookie (refreshWebLogin, logout),
                   template files /files/<id>_<title>.<ext>
  update    HTTP   /windows/newversion.htm, /windows/VANTOSetup.exe
  toolbox   HTTP   /<name>/version.html, /<name>/toolbox.zip, /download/<installer>
  stats     HTTP   /action.ashx (usage reports), /errorfile.ashx (crash-file upload)
  feedback  HTTP   /msg/ page
  service   HTTP   /swordfish.html page

HTTPS: the first start makes a CA (DIR/ca.pem, DIR/ca-key.pem) and a server
certificate for 127.0.0.1 and localhost (DIR/server.pem, DIR/server-key.pem);
later starts reuse them. Point the client at the CA with VANTO_CA_FILE.

Store API (checks the client's token headers, query keys in order, common
values p=2 appid=2002 adid partner_id machine_code; refusals answer
{"code":0,"msg":"<Chinese text>"}):
  GET  /api/sms/sendsms.html?phone&time&token   token = md5(time+phone+salt),
       time within 5 minutes; prints the 6-digit code and keeps it per phone
  GET  /api/public_api/smsLogin.html?phone&code&p&appid&adid&partner_id&machine_code
       answers the account token in "data"."jwt"
  POST /api/user/userinfo.html                  "id", "start_time", "stop_time",
       "invite_code", "head_pic" of the token's user
  GET  /api/user/deleteDownLoad?document_id=N   removes N from the user's list
Sample users: 13800138000 (a member) and 13900139000; a new phone number
becomes a new user at its first login.

On start the store writes DIR/ports.env and prints the same lines:
  VANTO_STORE_HOST=127.0.0.1:PORT … VANTO_SERVICE_PAGE_HOST=127.0.0.1:PORT
  VANTO_CA_FILE=DIR/ca.pem
  VANTO_DEMO_ADMIN=127.0.0.1:PORT
Other output lines begin with "# " (so the output can be sourced), among them
every verification code the store "sends".

Served files live in DIR/files/<service>/<path>; sample version files and
installers are written at the first start and kept. The sample toolbox
archive (/vanto/toolbox.zip) is written again at every start, so that its
page entry names the client port of that start, unless another archive was
put in its place. Its tool installer (/download/DemoToolSetup.exe) installs
a "demotool" program into $XDG_DATA_HOME/vanto-demotool (default ~/.local/share) and registers that
folder under HKEY_LOCAL_MACHINE\Software\VantoDemoTool "Path" with the
vanto-reg beside the program that runs it (or on PATH).
Users: DIR/users.json. Received reports: DIR/reports. Uploads: DIR/uploads.

Admin interface (HTTP + JSON on the admin port):
  GET    /                      ports, data folder and process id
  GET    /requests[?service=S]  requests that arrived: method, target, headers, body
  GET    /reports               decrypted usage reports and the verdict on each
  GET    /uploads               uploaded files
  GET    /sms                   verification codes sent
  GET    /faults                faults in force
  POST   /faults                {"service":S, "path":"/x" or "*", and any of
                                 "delay_ms":N, "stall":true, "truncate":N,
                                 "no_length":true, "chunked":true, "chunk_size":N,
                                 "status":N, "body":"...", "throttle":N, "times":N}
         The request is handled as usual; the fault changes the delivery of its
         reply: delayed; stalled (held silent until the faults are cleared or the
         store stops; with "truncate", after that many body bytes); cut after N
         body bytes; sent without Content-Length (ends at close); chunked; with
         another status or body; throttled to N body bytes per second (lifted
         when the faults are cleared); for the next N requests only.
  DELETE /faults                remove all faults, release stalled replies
  POST   /reset                 forget arrivals, faults and codes
                                ({"users":true} also restores the sample users)
  GET    /users                 the users
  PUT    /users/<phone>         set "invite_code", "start_time", "stop_time", "downloads"
  POST   /tokens                {"phone":P}: an account token without the SMS round
  PUT    /files/<service><path> replace a served file with the request body

Template files: small Office Open XML documents made for each template, and
one large file, "9001_大文件演示素材包.zip" (a ZIP archive of numbered
text lines, exactly --large-file-size bytes, the same bytes on every
machine), for download progress and benchmarks. The large file is written
to DIR/files/client/files/ when it is first asked for (and again when the
file there has another size) and sent from disk piece by piece. Every file
the store sends, from disk or not, answers a single byte range of a GET
("Range: bytes=A-B", "A-", "-N") with 206 Partial Content, or 416 when it
starts beyond the end; several ranges get the whole file.

Example:
  demo-store --data ~/.local/share/vanto-demo &
  curl --cacert ~/.local/share/vanto-demo/ca.pem https://127.0.0.1:47801/help/8.html
  curl http://127.0.0.1:47800/requests?service=store
Stop it with Ctrl-C or SIGTERM.
)";

int Usage(const std::string& problem) {
    std::cerr << "demo-store: " << problem << "\nTry demo-store --help.\n";
    return 2;
}

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(text);
    return port >= 1 && port <= 65535 - 7;
}

}  // namespace

int main(int argc, char** argv) {
    demostore::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kHelp;
            return 0;
        } else if (arg == "--data" && i + 1 < argc) {
            options.dataDir = argv[++i];
        } else if (arg == "--port-base" && i + 1 < argc) {
            if (!ParsePort(argv[++i], options.portBase)) {
                return Usage(std::string("not a port base: ") + argv[i]);
            }
        } else if (arg == "--ephemeral") {
            options.ephemeral = true;
        } else if (arg == "--large-file-size" && i + 1 < argc) {
            const auto size = demostore::LargeFile::ParseSize(argv[++i]);
            if (!size) {
                return Usage(std::string("not a large-file size from 4K to 2G: ") + argv[i]);
            }
            options.largeFileSize = *size;
        } else {
            return Usage("unknown or incomplete argument: " + arg);
        }
    }
    if (options.dataDir.empty()) {
        return Usage("--data DIR is required");
    }

    // The servers' threads inherit this mask, so the termination signals
    // reach only the sigwait below and the store stops in order.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    demostore::DemoServer server(options);
    std::string error;
    if (!server.Start(error)) {
        std::cerr << "demo-store: " << error << "\n";
        server.Stop();
        return 1;
    }
    std::cout << server.EnvironmentLines() << "# demo store ready (demo-store --help describes it)"
              << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cout << "# demo store stopping" << std::endl;
    server.Stop();
    return 0;
}

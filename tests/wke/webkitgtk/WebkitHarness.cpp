#include "WebkitHarness.h"

#include "support/ChildProcesses.h"

#include <dlfcn.h>
#include <glib.h>
#include <httplib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace wketest {

namespace {

pid_t g_xvfb = 0;

void StopXvfb() {
    if (g_xvfb > 0) {
        kill(g_xvfb, SIGTERM);
        waitpid(g_xvfb, nullptr, 0);
        g_xvfb = 0;
    }
}

template <typename Fn>
bool Bind(void* module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(dlsym(module, name));
    return slot != nullptr;
}

}  // namespace

bool EnsureVirtualDisplay() {
    static const bool ready = [] {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // The server ends with the test program, however that ends (a
            // timeout's kill runs no exit handler): an orphaned server would
            // keep whatever the program inherited open, a build lock say.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(0);
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                   "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return false;
        }
        g_xvfb = pid;
        std::atexit(&StopXvfb);
        // Xvfb writes the display number once it accepts clients.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty())
            return false;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        return true;
    }();
    return ready;
}

const Engine* OpenEngine() {
    static const Engine* engine = []() -> const Engine* {
        if (!EnsureVirtualDisplay())
            return nullptr;
        void* module = dlopen(VANTO_BIN_DIR "/node.so", RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr)
            return nullptr;
        static Engine bound{};
        const bool complete = Bind(module, "wkeInitializeEx", bound.initialize) &&
                              Bind(module, "wkeCreateWebView", bound.create) &&
                              Bind(module, "wkeDestroyWebView", bound.destroy) &&
                              Bind(module, "wkeSetCookieJarPath", bound.setCookieJarPath) &&
                              Bind(module, "wkeSetMemoryCacheEnable", bound.setMemoryCacheEnable) &&
                              Bind(module, "wkeSetZoomFactor", bound.setZoomFactor) &&
                              Bind(module, "wkeLoadURL", bound.loadURL) &&
                              Bind(module, "wkeGetURL", bound.getURL) &&
                              Bind(module, "wkeOnTitleChanged", bound.onTitleChanged) &&
                              Bind(module, "wkeOnNavigation", bound.onNavigation) &&
                              Bind(module, "wkeOnDocumentReady", bound.onDocumentReady) &&
                              Bind(module, "wkeOnLoadingFinish", bound.onLoadingFinish) &&
                              Bind(module, "wkeOnPageMessage", bound.onPageMessage) &&
                              Bind(module, "wkeOnConsoleMessage", bound.onConsoleMessage) &&
                              Bind(module, "wkeGetNativeWidget", bound.getNativeWidget) &&
                              Bind(module, "wkeRunScript", bound.runScript);
        if (!complete || !bound.initialize(nullptr))
            return nullptr;
        return &bound;
    }();
    return engine;
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    // A tick that wakes the loop, so the deadline is seen even when nothing
    // else happens.
    const guint tick = g_timeout_add(
        20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    bool result = done();
    while (!result && std::chrono::steady_clock::now() < end) {
        g_main_context_iteration(nullptr, TRUE);
        result = done();
    }
    g_source_remove(tick);
    return result;
}

RecordedView::RecordedView(const Engine& engine) : m_engine(engine), m_view(engine.create()) {
    engine.onLoadingFinish(
        m_view,
        [](wkeWebView, void* self, const char* url, wkeLoadingResult result, const char* reason) {
            static_cast<RecordedView*>(self)->finishes.push_back({url, result, reason});
        },
        this);
    engine.onPageMessage(
        m_view,
        [](wkeWebView, void* self, const char* pageUrl, const char* text) -> const char* {
            static_cast<RecordedView*>(self)->messages.push_back({pageUrl, text});
            return nullptr;
        },
        this);
    engine.onConsoleMessage(
        m_view,
        [](wkeWebView, void* self, const char* text) {
            static_cast<RecordedView*>(self)->consoleErrors.push_back(text);
        },
        this);
    engine.onNavigation(
        m_view,
        [](wkeWebView, void* self, wkeNavigationType, const char* url) {
            auto* recorded = static_cast<RecordedView*>(self);
            recorded->navigations.push_back(url);
            return recorded->allowNavigation;
        },
        this);
    engine.onTitleChanged(
        m_view,
        [](wkeWebView, void* self, const char* title) {
            static_cast<RecordedView*>(self)->titles.push_back(title != nullptr ? title : "(null)");
        },
        this);
    engine.onDocumentReady(
        m_view, [](wkeWebView, void* self) { ++static_cast<RecordedView*>(self)->readyCount; }, this);
}

RecordedView::~RecordedView() {
    m_engine.destroy(m_view);
}

void RecordedView::Load(const std::string& url) const {
    m_engine.loadURL(m_view, url.c_str());
}

void RecordedView::Run(const std::string& script) const {
    m_engine.runScript(m_view, script.c_str());
}

int WebProcessCount() {
    // The name of the web process is cut to 15 characters in /proc.
    int count = 0;
    for (const vtest::ChildProcess& child : vtest::ChildProcessesOf(getpid()))
        if (child.command.rfind("WebKitWebProces", 0) == 0 && child.state != 'Z')
            ++count;
    return count;
}

struct PageSite::Server {
    httplib::Server http;
    std::thread thread;
    int port = 0;
    std::mutex mutex;  // the pages: written by the test, read on the server's threads
    std::map<std::string, std::string> pages;
};

PageSite::PageSite() : m_server(std::make_unique<Server>()) {
    Server& server = *m_server;
    server.http.Get(".*", [&server](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(server.mutex);
        const auto page = server.pages.find(req.path);
        if (page == server.pages.end()) {
            res.status = 404;
            return;
        }
        res.set_content(page->second, "text/html; charset=utf-8");
    });
    // The engine keeps its connections open; the server's end waits for them
    // as long as this.
    server.http.set_keep_alive_timeout(1);
    server.port = server.http.bind_to_any_port("127.0.0.1");
    // Bound and listening already: connections wait in the backlog.
    server.thread = std::thread([&server] { server.http.listen_after_bind(); });
}

PageSite::~PageSite() {
    m_server->http.stop();
    m_server->thread.join();
}

void PageSite::Serve(const std::string& path, const std::string& html) {
    std::lock_guard lock(m_server->mutex);
    m_server->pages[path] = html;
}

std::string PageSite::Origin() const {
    return "http://127.0.0.1:" + std::to_string(m_server->port);
}

}  // namespace wketest

// LeakSanitizer cannot stop GTK's and WebKit's threads to look for leaks (it
// crashes trying), and those libraries keep their process-wide allocations
// to the end anyway: this program runs without the leak check; AddressSanitizer
// itself stays on.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

// Memory and first paint of the web engine as the client uses it, against a
// bare WebKitGTK window, side by side in one run.
//
//   web_engine_bench [--runs N]        (needs a display: run it under xvfb-run)
//
// Each run starts two child processes, one per side, on the same pages served
// from this process (the demo store's own page builder, on loopback):
//  - "client": one window, seven views made through node.so's C interface the
//    way the main window makes them (six store pages and the hidden login-sync
//    view, memory cache on, cookie folder set);
//  - "bare": one window with seven unrelated WebKitWebViews loading the same
//    seven addresses.
// Each child reports the time from its start to the first painted page (two
// animation frames after the visible tab's load) and, once every view has
// loaded, the proportional memory (PSS) summed over its WebKit web processes
// and over all of its WebKit child processes. The parent prints every run and
// the minimum, median and maximum of each figure.

#include "demo-store/StorePages.h"
#include "platform/wke/webkitgtk/wke_webkitgtk.h"
#include "tests/support/ChildProcesses.h"

#include <dlfcn.h>
#include <gtk/gtk.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<std::string> kPaths = {"/ppt.html",
                                         "/excel.html",
                                         "/word.html",
                                         "/",
                                         "/client/user/favorites.html",
                                         "/client/user/downloads.html",
                                         "/api/public_api/logout"};

struct Sample {
    double firstPaintMs = 0;
    double webProcessMiB = 0;
    double allChildrenMiB = 0;
    int webProcesses = 0;
};

// PSS of every WebKit child process of this process, in MiB.
void MeasureChildren(Sample& sample) {
    for (const vtest::ChildProcess& child : vtest::ChildProcessesOf(getpid())) {
        if (child.command.rfind("WebKit", 0) != 0)
            continue;
        std::ifstream rollup("/proc/" + child.pid + "/smaps_rollup");
        double pssKiB = 0;
        for (std::string field; std::getline(rollup, field);) {
            if (field.rfind("Pss:", 0) == 0)
                pssKiB = std::atof(field.c_str() + 4);
        }
        sample.allChildrenMiB += pssKiB / 1024.0;
        if (child.command.rfind("WebKitWebProces", 0) == 0) {
            sample.webProcessMiB += pssKiB / 1024.0;
            ++sample.webProcesses;
        }
    }
}

void RunLoopUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    const guint tick = g_timeout_add(
        20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!done() && Clock::now() < end)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
}

// Lets memory settle the same way on both sides before it is read.
void Settle() {
    bool later = false;
    g_timeout_add(
        2000,
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &later);
    RunLoopUntil([&] { return later; }, std::chrono::seconds(5));
}

constexpr const char* kPaintProbe =
    "requestAnimationFrame(function () { requestAnimationFrame(function () { VantoClient.send('painted'); "
    "}); });";

int RunClient(const std::string& base, const Clock::time_point start) {
    void* module = dlopen(VANTO_BIN_DIR "/node.so", RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
        return 2;
    auto sym = [&](const char* name) { return dlsym(module, name); };
    auto initialize = reinterpret_cast<wkeInitializeExFn>(sym("wkeInitializeEx"));
    auto create = reinterpret_cast<wkeCreateWebViewFn>(sym("wkeCreateWebView"));
    auto load = reinterpret_cast<wkeLoadURLFn>(sym("wkeLoadURL"));
    auto cache = reinterpret_cast<wkeSetMemoryCacheEnableFn>(sym("wkeSetMemoryCacheEnable"));
    auto cookies = reinterpret_cast<wkeSetCookieJarPathFn>(sym("wkeSetCookieJarPath"));
    auto onFinish = reinterpret_cast<wkeOnLoadingFinishFn>(sym("wkeOnLoadingFinish"));
    auto onMessage = reinterpret_cast<wkeOnPageMessageFn>(sym("wkeOnPageMessage"));
    auto widget = reinterpret_cast<wkeGetNativeWidgetFn>(sym("wkeGetNativeWidget"));
    auto run = reinterpret_cast<void (*)(wkeWebView, const char*)>(sym("wkeRunScript"));
    if (initialize == nullptr || !initialize(nullptr))
        return 2;

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1200, 800);
    GtkWidget* stack = gtk_stack_new();
    gtk_container_add(GTK_CONTAINER(window), stack);
    struct State {
        int finished = 0;
        bool painted = false;
        Clock::time_point paintedAt;
        void (*run)(wkeWebView, const char*);
    } state{0, false, {}, run};
    std::vector<wkeWebView> views;
    for (std::size_t i = 0; i < kPaths.size(); ++i) {
        wkeWebView view = create();
        views.push_back(view);
        gtk_stack_add_named(GTK_STACK(stack), static_cast<GtkWidget*>(widget(view)),
                            std::to_string(i).c_str());
        onFinish(
            view,
            [](wkeWebView view, void* param, const char*, wkeLoadingResult, const char*) {
                auto* s = static_cast<State*>(param);
                ++s->finished;
                s->run(view, kPaintProbe);
            },
            &state);
        onMessage(
            view,
            [](wkeWebView, void* param, const char*, const char* text) -> const char* {
                auto* s = static_cast<State*>(param);
                if (std::string(text) == "painted" && !s->painted) {
                    s->painted = true;
                    s->paintedAt = Clock::now();
                }
                return nullptr;
            },
            &state);
    }
    gtk_widget_show_all(window);
    // As the main window: the hidden view gets the cookie folder, the tabs
    // the memory cache; the first tab is the one on screen.
    const std::string folder = std::string(std::getenv("XDG_CONFIG_HOME")) + "/vanto";
    cookies(views.back(), folder.c_str());
    for (std::size_t i = 0; i + 1 < views.size(); ++i)
        cache(views[i], true);
    for (std::size_t i = 0; i < views.size(); ++i)
        load(views[i], (base + kPaths[i]).c_str());
    RunLoopUntil([&] { return state.painted && state.finished >= static_cast<int>(views.size()); },
                 std::chrono::seconds(60));
    Settle();
    Sample sample;
    sample.firstPaintMs = std::chrono::duration<double, std::milli>(state.paintedAt - start).count();
    MeasureChildren(sample);
    std::printf("%.1f %.1f %.1f %d\n", sample.firstPaintMs, sample.webProcessMiB, sample.allChildrenMiB,
                sample.webProcesses);
    return state.painted ? 0 : 1;
}

int RunBare(const std::string& base, const Clock::time_point start) {
    if (!gtk_init_check(nullptr, nullptr))
        return 2;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1200, 800);
    GtkWidget* stack = gtk_stack_new();
    gtk_container_add(GTK_CONTAINER(window), stack);
    struct State {
        int finished = 0;
        bool painted = false;
        Clock::time_point paintedAt;
    } state;
    std::vector<WebKitWebView*> views;
    for (std::size_t i = 0; i < kPaths.size(); ++i) {
        auto* view = WEBKIT_WEB_VIEW(webkit_web_view_new());
        views.push_back(view);
        gtk_stack_add_named(GTK_STACK(stack), GTK_WIDGET(view), std::to_string(i).c_str());
        g_signal_connect(view, "load-changed",
                         G_CALLBACK(+[](WebKitWebView* view, WebKitLoadEvent event, State* s) {
                             if (event != WEBKIT_LOAD_FINISHED)
                                 return;
                             ++s->finished;
                             webkit_web_view_call_async_javascript_function(
                                 view,
                                 "await new Promise(function (r) { requestAnimationFrame(function () { "
                                 "requestAnimationFrame(r); }); }); return 1;",
                                 -1, nullptr, nullptr, nullptr, nullptr,
                                 +[](GObject*, GAsyncResult*, gpointer data) {
                                     auto* s = static_cast<State*>(data);
                                     if (!s->painted) {
                                         s->painted = true;
                                         s->paintedAt = Clock::now();
                                     }
                                 },
                                 s);
                         }),
                         &state);
    }
    gtk_widget_show_all(window);
    for (std::size_t i = 0; i < views.size(); ++i)
        webkit_web_view_load_uri(views[i], (base + kPaths[i]).c_str());
    RunLoopUntil([&] { return state.painted && state.finished >= static_cast<int>(views.size()); },
                 std::chrono::seconds(60));
    Settle();
    Sample sample;
    sample.firstPaintMs = std::chrono::duration<double, std::milli>(state.paintedAt - start).count();
    MeasureChildren(sample);
    std::printf("%.1f %.1f %.1f %d\n", sample.firstPaintMs, sample.webProcessMiB, sample.allChildrenMiB,
                sample.webProcesses);
    return state.painted ? 0 : 1;
}

// The store's pages on loopback: what the client's tabs load.
class Pages {
  public:
    Pages() {
        m_server.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
            using namespace demostore;
            std::string html;
            if (req.path == "/")
                html = StorePageHtml("Vanto 模板商店", "", std::nullopt, "");
            else if (req.path == "/ppt.html")
                html = StorePageHtml("PPT 模板", "ppt", std::nullopt, "");
            else if (req.path == "/word.html")
                html = StorePageHtml("Word 模板", "word", std::nullopt, "");
            else if (req.path == "/excel.html")
                html = StorePageHtml("Excel 模板", "excel", std::nullopt, "");
            else if (req.path == "/client/user/favorites.html")
                html = FavouritesPageHtml(std::nullopt);
            else if (req.path == "/client/user/downloads.html")
                html = DownloadsPageHtml(std::nullopt);
            else if (req.path.rfind("/img/", 0) == 0) {
                const auto item = FindTemplate(std::atoll(req.path.c_str() + 5));
                if (item)
                    res.set_content(TemplatePictureSvg(*item), "image/svg+xml");
                else
                    res.status = 404;
                return;
            } else if (req.path == "/api/public_api/logout") {
                res.set_content("{\"code\":1,\"msg\":\"\"}", "application/json");
                return;
            } else {
                res.status = 404;
                return;
            }
            res.set_content(html, "text/html; charset=utf-8");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~Pages() {
        m_server.stop();
        m_thread.join();
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }

  private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
};

bool RunChild(const char* self, const std::string& mode, const std::string& base, Sample& sample) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        // A fresh home per run: no cookies, caches or web data carried over.
        char folder[] = "/tmp/vanto-web-bench-XXXXXX";
        if (mkdtemp(folder) == nullptr)
            _exit(3);
        setenv("HOME", folder, 1);
        setenv("XDG_CONFIG_HOME", (std::string(folder) + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (std::string(folder) + "/cache").c_str(), 1);
        setenv("XDG_DATA_HOME", (std::string(folder) + "/data").c_str(), 1);
        execl(self, self, "--child", mode.c_str(), base.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    std::istringstream in(out);
    return static_cast<bool>(in >> sample.firstPaintMs >> sample.webProcessMiB >> sample.allChildrenMiB >>
                             sample.webProcesses) &&
           WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Summary(const char* side, std::vector<Sample> samples) {
    auto figure = [&](const char* name, double Sample::*field) {
        std::vector<double> values;
        for (const auto& s : samples)
            values.push_back(s.*field);
        std::sort(values.begin(), values.end());
        std::printf("%-7s %-28s min %8.1f  median %8.1f  max %8.1f\n", side, name, values.front(),
                    values[values.size() / 2], values.back());
    };
    figure("first paint (ms)", &Sample::firstPaintMs);
    figure("web processes PSS (MiB)", &Sample::webProcessMiB);
    figure("all WebKit children PSS (MiB)", &Sample::allChildrenMiB);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child") {
        const auto start = Clock::now();
        if (geteuid() == 0)
            setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
        return std::string(argv[2]) == "client" ? RunClient(argv[3], start) : RunBare(argv[3], start);
    }
    int runs = 5;
    if (argc == 3 && std::string(argv[1]) == "--runs")
        runs = std::max(1, std::atoi(argv[2]));
    Pages pages;
    std::vector<Sample> client;
    std::vector<Sample> bare;
    for (int i = 0; i < runs; ++i) {
        // Alternating, so that a drift of the machine hits both sides alike.
        for (const char* mode : {"client", "bare"}) {
            Sample sample;
            if (!RunChild(argv[0], mode, pages.Base(), sample)) {
                std::fprintf(stderr, "run %d (%s) failed\n", i + 1, mode);
                return 1;
            }
            std::printf(
                "run %d %-6s first paint %7.1f ms, %d web process(es) %7.1f MiB, all WebKit %7.1f MiB\n",
                i + 1, mode, sample.firstPaintMs, sample.webProcesses, sample.webProcessMiB,
                sample.allChildrenMiB);
            std::fflush(stdout);
            (std::string(mode) == "client" ? client : bare).push_back(sample);
        }
    }
    Summary("client", client);
    Summary("bare", bare);
    return 0;
}

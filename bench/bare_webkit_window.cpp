// The bare side of bench_desktop: the least a WebKitGTK window does to show
// the store's pages, started as a program of its own so that it is measured
// exactly as the client is (from process start, on the screen).
//
//   bare_webkit_window [--one-web-process] WIDTH HEIGHT URL...
//
// One top-level window at (0, 0) of WIDTH x HEIGHT holding one web view per
// URL in a stack. At start only the first view loads its URL, as the client
// shows its first tab. A line "rest" on standard input then shows and loads
// the other views one after another, each once the one before has finished
// and painted (as clicks on the client's tabs do), and "loaded" is printed
// when the last one has. With --one-web-process every view after the first
// is related to the first, so that all share its web process (WebKit's
// default gives each view a process of its own).

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Window {
    GtkWidget* stack = nullptr;
    std::vector<WebKitWebView*> views;
    std::vector<std::string> urls;
    std::vector<bool> painted;
    std::size_t current = 0;
    bool rest = false;  // the other views are to load
};

void ShowAndLoad(Window& window, std::size_t index) {
    window.current = index;
    gtk_stack_set_visible_child(GTK_STACK(window.stack), GTK_WIDGET(window.views[index]));
    webkit_web_view_load_uri(window.views[index], window.urls[index].c_str());
}

// The current view has painted and the rest is asked for: the next view,
// or the end.
void Advance(Window& window) {
    if (window.current + 1 < window.views.size()) {
        ShowAndLoad(window, window.current + 1);
    } else {
        std::printf("loaded\n");
        std::fflush(stdout);
    }
}

// A view's page is on screen: two animation frames after its load.
void OnPainted(GObject* source, GAsyncResult*, gpointer data) {
    auto* window = static_cast<Window*>(data);
    for (std::size_t i = 0; i < window->views.size(); ++i) {
        if (G_OBJECT(window->views[i]) != source || window->painted[i])
            continue;
        window->painted[i] = true;
        if (window->rest && i == window->current)
            Advance(*window);
    }
}

void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    if (event != WEBKIT_LOAD_FINISHED)
        return;
    webkit_web_view_call_async_javascript_function(
        view,
        "await new Promise(function (r) { requestAnimationFrame(function () { requestAnimationFrame(r); }); "
        "}); "
        "return 1;",
        -1, nullptr, nullptr, nullptr, nullptr, &OnPainted, data);
}

// The bench's line on standard input. A first view still loading is fine:
// the rest starts once it has painted, or at once when it already has.
gboolean OnInput(GIOChannel* channel, GIOCondition, gpointer data) {
    auto* window = static_cast<Window*>(data);
    gchar* line = nullptr;
    const GIOStatus status = g_io_channel_read_line(channel, &line, nullptr, nullptr, nullptr);
    const bool rest = line != nullptr && std::string(line).rfind("rest", 0) == 0;
    g_free(line);
    if (status == G_IO_STATUS_EOF || status == G_IO_STATUS_ERROR) {
        gtk_main_quit();
        return G_SOURCE_REMOVE;
    }
    if (rest && !window->rest) {
        window->rest = true;
        if (window->painted[window->current])
            Advance(*window);
    }
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    const bool oneProcess = argc > 1 && std::string(argv[1]) == "--one-web-process";
    if (oneProcess) {
        --argc;
        ++argv;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: bare_webkit_window [--one-web-process] WIDTH HEIGHT URL...\n");
        return 2;
    }
    // As the client's engine does: WebKit's sandbox cannot start as root.
    if (geteuid() == 0)
        setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    if (!gtk_init_check(nullptr, nullptr))
        return 2;
    Window window;
    GtkWidget* top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(top), std::atoi(argv[1]), std::atoi(argv[2]));
    gtk_window_move(GTK_WINDOW(top), 0, 0);
    g_signal_connect(top, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    window.stack = gtk_stack_new();
    gtk_container_add(GTK_CONTAINER(top), window.stack);
    for (int i = 3; i < argc; ++i) {
        auto* view = oneProcess && !window.views.empty()
                         ? WEBKIT_WEB_VIEW(webkit_web_view_new_with_related_view(window.views.front()))
                         : WEBKIT_WEB_VIEW(webkit_web_view_new());
        window.views.push_back(view);
        window.urls.emplace_back(argv[i]);
        window.painted.push_back(false);
        gtk_stack_add_named(GTK_STACK(window.stack), GTK_WIDGET(view), std::to_string(i).c_str());
        g_signal_connect(view, "load-changed", G_CALLBACK(&OnLoadChanged), &window);
    }
    gtk_widget_show_all(top);
    ShowAndLoad(window, 0);
    GIOChannel* input = g_io_channel_unix_new(STDIN_FILENO);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), &OnInput, &window);
    // SIGTERM ends the loop as the client's close does.
    g_unix_signal_add(
        SIGTERM,
        [](gpointer) -> gboolean {
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        },
        nullptr);
    gtk_main();
    g_io_channel_unref(input);
    return 0;
}

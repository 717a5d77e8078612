// notification-server RECORD READY
//
// A stand-in for the desktop's notification service, for tests: it owns
// org.freedesktop.Notifications on the session bus, appends one line per call
// to RECORD (fields separated by tabs), writes the bus address to READY once
// the name is its own, and ends when its standard input closes. Started under
// dbus-run-session, it ends the private bus with it.
//
//   Notify <app> <replaces id> <icon> <summary> <body> <time-out> <id answered>
//   CloseNotification <id>

#include <fcntl.h>
#include <gio/gio.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kIntrospection[] = R"(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
</node>)";

std::string g_record;
std::string g_ready;
guint32 g_lastId = 0;
GMainLoop* g_loop = nullptr;

// One line per call, written at once so a reader never sees half of it.
void Record(const std::string& line) {
    const int fd = ::open(g_record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
}

void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* args,
            GDBusMethodInvocation* invocation, gpointer) {
    const std::string name = method;
    if (name == "Notify") {
        const gchar* app = nullptr;
        guint32 replaces = 0;
        const gchar* icon = nullptr;
        const gchar* summary = nullptr;
        const gchar* body = nullptr;
        gint32 timeout = 0;
        g_variant_get(args, "(&su&s&s&s@as@a{sv}i)", &app, &replaces, &icon, &summary, &body, nullptr,
                      nullptr, &timeout);
        const guint32 id = replaces != 0 ? replaces : ++g_lastId;
        Record("Notify\t" + std::string(app) + "\t" + std::to_string(replaces) + "\t" + icon + "\t" +
               summary + "\t" + body + "\t" + std::to_string(timeout) + "\t" + std::to_string(id));
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", id));
    } else if (name == "CloseNotification") {
        guint32 id = 0;
        g_variant_get(args, "(u)", &id);
        Record("CloseNotification\t" + std::to_string(id));
        g_dbus_method_invocation_return_value(invocation, nullptr);
    } else if (name == "GetCapabilities") {
        const gchar* caps[] = {"body", nullptr};
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", caps));
    } else {
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(ssss)", "vanto-test", "vanto", "1", "1.2"));
    }
}

void OnNameAcquired(GDBusConnection*, const gchar*, gpointer) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string temporary = g_ready + ".tmp";
    if (FILE* f = std::fopen(temporary.c_str(), "w")) {
        std::fputs(address != nullptr ? address : "", f);
        std::fclose(f);
        std::rename(temporary.c_str(), g_ready.c_str());
    }
}

void OnNameLost(GDBusConnection*, const gchar*, gpointer) {
    std::fputs("notification-server: the name is not ours\n", stderr);
    std::exit(1);
}

gboolean OnInput(gint fd, GIOCondition, gpointer) {
    char buffer[64];
    if (::read(fd, buffer, sizeof buffer) <= 0) {
        g_main_loop_quit(g_loop);
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: notification-server RECORD READY\n", stderr);
        return 2;
    }
    g_record = argv[1];
    g_ready = argv[2];
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        std::fprintf(stderr, "notification-server: %s\n", error->message);
        return 1;
    }
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    static const GDBusInterfaceVTable vtable = {OnCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, "/org/freedesktop/Notifications", node->interfaces[0], &vtable,
                                      nullptr, nullptr, nullptr);
    g_bus_own_name_on_connection(bus, "org.freedesktop.Notifications", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                 OnNameAcquired, OnNameLost, nullptr, nullptr);
    g_loop = g_main_loop_new(nullptr, FALSE);
    g_unix_fd_add(STDIN_FILENO, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnInput, nullptr);
    g_main_loop_run(g_loop);
    return 0;
}

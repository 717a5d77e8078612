// filemanager-server RECORD READY
//
// A stand-in for the desktop's file manager, for tests: it owns
// org.freedesktop.FileManager1 on the session bus, appends one line per call
// to RECORD (fields separated by tabs), writes the bus address to READY once
// the name is its own, and ends when its standard input closes. While a file
// RECORD.fail exists, calls are recorded and answered with an error, as a
// file manager that cannot show the item answers. Started under dbus-run-session, it ends the private bus
// with it.
//
//   ShowItems <uri> ... <startup id>
//   ShowFolders <uri> ... <startup id>

#include <fcntl.h>
#include <gio/gio.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kIntrospection[] = R"(<node>
  <interface name="org.freedesktop.FileManager1">
    <method name="ShowFolders"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
    <method name="ShowItems"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
    <method name="ShowItemProperties"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
  </interface>
</node>)";

std::string g_record;
std::string g_ready;
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
    GVariantIter* uris = nullptr;
    const gchar* startup = nullptr;
    g_variant_get(args, "(as&s)", &uris, &startup);
    std::string line = method;
    const gchar* uri = nullptr;
    while (g_variant_iter_loop(uris, "&s", &uri))
        line += std::string("\t") + uri;
    g_variant_iter_free(uris);
    Record(line + "\t" + startup);
    if (::access((g_record + ".fail").c_str(), F_OK) == 0)
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                   "cannot show the items");
    else
        g_dbus_method_invocation_return_value(invocation, nullptr);
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
    std::fputs("filemanager-server: the name is not ours\n", stderr);
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
        std::fputs("usage: filemanager-server RECORD READY\n", stderr);
        return 2;
    }
    g_record = argv[1];
    g_ready = argv[2];
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        std::fprintf(stderr, "filemanager-server: %s\n", error->message);
        return 1;
    }
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    static const GDBusInterfaceVTable vtable = {OnCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, "/org/freedesktop/FileManager1", node->interfaces[0], &vtable,
                                      nullptr, nullptr, nullptr);
    g_bus_own_name_on_connection(bus, "org.freedesktop.FileManager1", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                 OnNameAcquired, OnNameLost, nullptr, nullptr);
    g_loop = g_main_loop_new(nullptr, FALSE);
    g_unix_fd_add(STDIN_FILENO, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnInput, nullptr);
    g_main_loop_run(g_loop);
    return 0;
}

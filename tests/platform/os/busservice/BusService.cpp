#include "BusService.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace bustest {
namespace {

std::string g_record;
std::string g_ready;
const char* g_program = "";
GMainLoop* g_loop = nullptr;

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
    std::fprintf(stderr, "%s: the name is not ours\n", g_program);
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

void Record(const std::string& line) {
    const int fd = ::open(g_record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
}

const std::string& RecordPath() {
    return g_record;
}

int RunBusService(int argc, char** argv, const BusService& service) {
    g_program = service.program;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RECORD READY\n", service.program);
        return 2;
    }
    g_record = argv[1];
    g_ready = argv[2];
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        std::fprintf(stderr, "%s: %s\n", service.program, error->message);
        return 1;
    }
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(service.introspection, nullptr);
    const GDBusInterfaceVTable vtable = {service.onCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, service.objectPath, node->interfaces[0], &vtable, nullptr, nullptr,
                                      nullptr);
    g_bus_own_name_on_connection(bus, service.busName, G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, OnNameAcquired,
                                 OnNameLost, nullptr, nullptr);
    g_loop = g_main_loop_new(nullptr, FALSE);
    g_unix_fd_add(STDIN_FILENO, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnInput, nullptr);
    g_main_loop_run(g_loop);
    return 0;
}

}  // namespace bustest

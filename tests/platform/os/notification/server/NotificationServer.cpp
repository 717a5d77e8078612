// notification-server RECORD READY
//
// A stand-in for the desktop's notification service, for tests: a bus service
// (busservice/BusService.h) owning org.freedesktop.Notifications that records
// one line per call, fields separated by tabs.
//
//   Notify <app> <replaces id> <icon> <summary> <body> <time-out> <id answered>
//   CloseNotification <id>

#include <string>

#include "../../busservice/BusService.h"

namespace {

using bustest::Record;

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

guint32 g_lastId = 0;

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

}  // namespace

int main(int argc, char** argv) {
    return bustest::RunBusService(argc, argv,
                                  {"notification-server", "org.freedesktop.Notifications",
                                   "/org/freedesktop/Notifications", kIntrospection, OnCall});
}

// filemanager-server RECORD READY
//
// A stand-in for the desktop's file manager, for tests: a bus service
// (busservice/BusService.h) owning org.freedesktop.FileManager1 that records
// one line per call, fields separated by tabs. While a file RECORD.fail
// exists, calls are recorded and answered with an error, as a file manager
// that cannot show the item answers.
//
//   ShowItems <uri> ... <startup id>
//   ShowFolders <uri> ... <startup id>

#include <unistd.h>

#include <string>

#include "../../busservice/BusService.h"

namespace {

using bustest::Record;

const char kIntrospection[] = R"(<node>
  <interface name="org.freedesktop.FileManager1">
    <method name="ShowFolders"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
    <method name="ShowItems"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
    <method name="ShowItemProperties"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
  </interface>
</node>)";

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
    if (::access((bustest::RecordPath() + ".fail").c_str(), F_OK) == 0)
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                   "cannot show the items");
    else
        g_dbus_method_invocation_return_value(invocation, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    return bustest::RunBusService(argc, argv,
                                  {"filemanager-server", "org.freedesktop.FileManager1",
                                   "/org/freedesktop/FileManager1", kIntrospection, OnCall});
}

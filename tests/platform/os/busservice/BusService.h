#pragma once
// The skeleton of the tests' stand-ins for desktop services on a private
// session bus: a program "NAME RECORD READY" that owns a well-known name,
// serves one object, appends one line per call to RECORD, writes the bus
// address to READY once the name is its own, and ends when its standard
// input closes. Started under dbus-run-session, it ends the private bus with
// it. Each service gives its interface and its call handler.

#include <gio/gio.h>

#include <string>

namespace bustest {

struct BusService {
    const char* program;        // for messages: "notification-server"
    const char* busName;        // "org.freedesktop.Notifications"
    const char* objectPath;     // "/org/freedesktop/Notifications"
    const char* introspection;  // the object's one interface
    GDBusInterfaceMethodCallFunc onCall;
};

// Appends `line` to RECORD in one write, so a reader never sees half of it.
void Record(const std::string& line);
// RECORD's path.
const std::string& RecordPath();

// Runs the service's main loop; the program's exit code.
int RunBusService(int argc, char** argv, const BusService& service);

}  // namespace bustest

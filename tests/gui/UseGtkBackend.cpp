// Linked into the window suites: registers the display back end, so that
// their runs under tests/gui/with-xvfb.sh (VANTO_BACKEND=gtk) show the windows
// on the display. Without that variable the suites stay headless.
#include "platform/duilib/backend/BackendChoice.h"
#include "platform/duilib/backend/gtk/GtkBackend.h"

namespace {
const bool g_registered = [] {
    DuiLib::SetDisplayBackendMaker(&DuiLib::GtkBackend::Make);
    return true;
}();
}  // namespace

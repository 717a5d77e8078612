#include "platform/duilib/backend/BackendChoice.h"

#include "platform/duilib/backend/gtk/GtkBackend.h"

#include <cstdlib>
#include <string_view>

namespace DuiLib {
namespace {
bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}
}  // namespace

BackendKind RequestedBackendKind(bool guessFromDisplay) {
    const char* forced = std::getenv("VANTO_BACKEND");
    if (forced != nullptr) {
        const std::string_view value(forced);
        if (value == "headless")
            return BackendKind::Headless;
        if (value == "gtk")
            return BackendKind::Gtk;
    }
    if (!guessFromDisplay)
        return BackendKind::Headless;
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") ? BackendKind::Gtk : BackendKind::Headless;
}

std::shared_ptr<HeadlessBackend> MakeBackend(const HeadlessBackend::Options& options, bool guessFromDisplay) {
    if (RequestedBackendKind(guessFromDisplay) == BackendKind::Gtk && GtkBackend::OpenDisplay())
        return std::make_shared<GtkBackend>(options);
    return std::make_shared<HeadlessBackend>(options);
}

BackendKind StartBackend() {
    std::shared_ptr<HeadlessBackend> backend =
        MakeBackend(HeadlessBackend::Options{.realTime = true, .screen = std::nullopt});
    const BackendKind kind =
        dynamic_cast<GtkBackend*>(backend.get()) != nullptr ? BackendKind::Gtk : BackendKind::Headless;
    SetBackend(std::move(backend));
    return kind;
}

}  // namespace DuiLib

#include "platform/duilib/backend/BackendChoice.h"

#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <atomic>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace DuiLib {
namespace {
std::atomic<DisplayBackendMaker> g_displayMaker{nullptr};

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The back end asked for and whether it is the display's.
std::pair<std::shared_ptr<Backend>, BackendKind> Make(const BackendOptions& options, bool guessFromDisplay) {
    const DisplayBackendMaker maker = g_displayMaker.load();
    if (RequestedBackendKind(guessFromDisplay) == BackendKind::Gtk && maker != nullptr) {
        if (std::shared_ptr<Backend> display = maker(options))
            return {std::move(display), BackendKind::Gtk};
    }
    return {std::make_shared<HeadlessBackend>(options), BackendKind::Headless};
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

void SetDisplayBackendMaker(DisplayBackendMaker maker) {
    g_displayMaker.store(maker);
}

std::shared_ptr<Backend> MakeBackend(const BackendOptions& options, bool guessFromDisplay) {
    return Make(options, guessFromDisplay).first;
}

BackendKind StartBackend() {
    auto [backend, kind] = Make(BackendOptions{}, /*guessFromDisplay=*/true);
    SetBackend(std::move(backend));
    return kind;
}

}  // namespace DuiLib

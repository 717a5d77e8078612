#include "platform/duilib/backend/Screen.h"

#include <mutex>

namespace DuiLib {
namespace {
std::mutex g_screenMutex;
ScreenInfo g_screen;
}  // namespace

ScreenInfo GetMainScreen() {
    std::lock_guard lock(g_screenMutex);
    return g_screen;
}

void SetMainScreen(const ScreenInfo& screen) {
    std::lock_guard lock(g_screenMutex);
    g_screen = screen;
}

}  // namespace DuiLib

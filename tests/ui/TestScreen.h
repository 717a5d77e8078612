#pragma once
// The screen every headless UI test runs on: 1280 x 800 at 96 DPI, with a
// 40-pixel task bar along the bottom edge left out of the work area.

#include "platform/duilib/backend/Screen.h"

namespace uitest {

inline DuiLib::ScreenInfo TestScreen() {
    DuiLib::ScreenInfo screen;
    screen.monitor = {0, 0, 1280, 800};
    screen.workArea = {0, 0, 1280, 760};
    screen.dpi = 96;
    return screen;
}

}  // namespace uitest

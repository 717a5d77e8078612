#pragma once
// The screen the windows live on: the main monitor's rectangle, its work
// area (without panels) and its DPI. A back end sets it from what it finds
// (the headless one from its configuration); windows and the client's DPI
// rules read it. Thread-safe.

#include "platform/duilib/UIDefine.h"

namespace DuiLib {

struct ScreenInfo {
    RECT monitor{0, 0, 1920, 1080};
    RECT workArea{0, 0, 1920, 1040};
    int dpi = 96;
};

ScreenInfo GetMainScreen();
void SetMainScreen(const ScreenInfo& screen);

}  // namespace DuiLib

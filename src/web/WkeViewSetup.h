#pragma once
// Preparing a web view for its owner: the engine features the client asks
// for (memory cache, zoom on high-DPI monitors, the cookie folder) and the
// callback. Each feature is skipped when the engine lacks its export. UI
// thread.

#include "platform/duilib/UIWkeWebkit.h"

#include <optional>
#include <string>

// The zoom factor for a monitor of `dpi`: DPI / 96 at 192 DPI or more and at
// exactly 120 DPI; none otherwise (144 DPI pages stay at 100 %).
std::optional<float> ZoomFactorForDpi(int dpi);

// The zoom of the main monitor, when it has one and the engine can zoom.
void ApplyZoom(DuiLib::CWkeWebkitUI& view);

// A tab view of the main window: the callback, the memory cache, the zoom.
void PrepareTabView(DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback);

// The hidden login-sync view of the main window: the cookie folder (where
// every view's cookies live), then the callback.
void PrepareLoginSyncView(DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback,
                          const std::string& cookieFolder);

// The view of a browser dialog: the cookie folder, the callback, the zoom.
void PrepareDialogView(DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback,
                       const std::string& cookieFolder);

#pragma once
// The web engine's run-time loader and its process-wide function table. The
// engine is "node.so" in the program folder, opened by its absolute path (no
// library search path takes part) and bound by export name; the client
// links nothing of it.
//
// UI thread: the loader runs in the initialisation of each window with web
// views, and the table is read by the engine views and the view preparation
// on the same thread.

#include "platform/wke/wke.h"

#include <string>

// One entry per export; null when the export was not found.
struct WkeFunctionTable {
    wkeInitializeExFn wkeInitializeEx = nullptr;
    wkeSetMemoryCacheEnableFn wkeSetMemoryCacheEnable = nullptr;
    wkeSetZoomFactorFn wkeSetZoomFactor = nullptr;
    wkeSetCookieJarPathFn wkeSetCookieJarPath = nullptr;
    wkeCreateWebViewFn wkeCreateWebView = nullptr;
    wkeDestroyWebViewFn wkeDestroyWebView = nullptr;
    wkeLoadURLFn wkeLoadURL = nullptr;
    wkeGoBackFn wkeGoBack = nullptr;
    wkeGoForwardFn wkeGoForward = nullptr;
    wkeReloadFn wkeReload = nullptr;
    wkeGetURLFn wkeGetURL = nullptr;
    wkeOnTitleChangedFn wkeOnTitleChanged = nullptr;
    wkeOnURLChangedFn wkeOnURLChanged = nullptr;
    wkeOnAlertBoxFn wkeOnAlertBox = nullptr;
    wkeOnNavigationFn wkeOnNavigation = nullptr;
    wkeOnCreateViewFn wkeOnCreateView = nullptr;
    wkeOnDocumentReadyFn wkeOnDocumentReady = nullptr;
    wkeOnLoadingFinishFn wkeOnLoadingFinish = nullptr;
    wkeOnPageMessageFn wkeOnPageMessage = nullptr;
    wkeGetNativeWidgetFn wkeGetNativeWidget = nullptr;
    // Optional: only the automation channel uses it; bound without a box.
    wkeEvaluateScriptFn wkeEvaluateScript = nullptr;
};

// The table as the last loader run filled it. It is refilled by every run
// and never cleared: views made by an earlier run keep working.
const WkeFunctionTable& WkeFunctions();

// True when `table` holds every function a web view control needs of its
// engine view: creation and destruction, navigation (load, back, forward,
// reload), the eight event registrations and the native widget. Without all
// of them no view is made at all: a view the client cannot destroy would go
// on raising events, with the value of a control that is gone, after the
// control is; one whose events cannot be registered would show pages nobody
// hears of. The settings (memory cache, zoom, cookie folder) and wkeGetURL
// are features, skipped one by one when missing.
bool WkeCanMakeViews(const WkeFunctionTable& table);

// The module's file name in the program folder.
inline constexpr const char* kWkeModuleName = "node.so";

// Loads the engine and answers whether it is usable:
//  1. node.so is opened from the program folder by its absolute path;
//  2. without the export wkeInitializeEx (or when the module does not open)
//     the answer is false and nothing else happens;
//  3. wkeInitializeEx(settings) is called; false from it: the answer is false;
//  4. every other export is looked up in a fixed order (the table's) and
//     stored; each missing one shows one system message box "wke api not
//     found" with the export's name as caption, and the run goes on;
//  5. web view controls get their engine views from now on, when the table
//     holds every view function (WkeCanMakeViews; otherwise a debug line says
//     so and controls stay without views); the answer is true.
// Each run opens and initialises the engine again and refills the table.
bool LoadWkeEngine(const wkeSettings* settings = nullptr);

// Full path of the engine module that LoadWkeEngine opens.
std::string WkeModulePath();

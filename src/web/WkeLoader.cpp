#include "web/WkeLoader.h"

#include "platform/duilib/UIWkeWebkit.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Paths.h"
#include "web/EngineViewPeer.h"

#include <dlfcn.h>

#include <memory>

namespace {

WkeFunctionTable& Table() {
    static WkeFunctionTable table;
    return table;
}

template <typename Fn>
void Bind(void* module, const char* name, Fn& slot) {
    void* symbol = dlsym(module, name);
    slot = reinterpret_cast<Fn>(symbol);
    if (symbol == nullptr) {
        // One plain box per missing export, no owner, as the engine's users
        // have always seen it; the client goes on without the feature.
        MessageBoxW(nullptr, "wke api not found", name, MB_OK);
    }
}

}  // namespace

const WkeFunctionTable& WkeFunctions() {
    return Table();
}

bool WkeCanMakeViews(const WkeFunctionTable& table) {
    const bool lifetime = table.wkeCreateWebView != nullptr && table.wkeDestroyWebView != nullptr &&
                          table.wkeGetNativeWidget != nullptr;
    const bool navigation = table.wkeLoadURL != nullptr && table.wkeGoBack != nullptr &&
                            table.wkeGoForward != nullptr && table.wkeReload != nullptr;
    const bool events = table.wkeOnTitleChanged != nullptr && table.wkeOnURLChanged != nullptr &&
                        table.wkeOnAlertBox != nullptr && table.wkeOnNavigation != nullptr &&
                        table.wkeOnCreateView != nullptr && table.wkeOnDocumentReady != nullptr &&
                        table.wkeOnLoadingFinish != nullptr && table.wkeOnPageMessage != nullptr;
    return lifetime && navigation && events;
}

std::string WkeModulePath() {
    return os::PathJoin(os::GetProgramFolder(), kWkeModuleName);
}

bool LoadWkeEngine(const wkeSettings* settings) {
    const std::string path = WkeModulePath();
    // Never closed: views made through an earlier run's table must stay
    // callable, and a second open of the same file is the same module.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* error = dlerror();
        DebugPrint("web engine: %s", error != nullptr ? error : path.c_str());
        return false;
    }
    auto initialize = reinterpret_cast<wkeInitializeExFn>(dlsym(module, "wkeInitializeEx"));
    if (initialize == nullptr)
        return false;
    if (!initialize(settings)) {
        DebugPrint("web engine: %s is not usable here (no display?)", path.c_str());
        return false;
    }

    WkeFunctionTable& table = Table();
    table.wkeInitializeEx = initialize;
    Bind(module, "wkeSetMemoryCacheEnable", table.wkeSetMemoryCacheEnable);
    Bind(module, "wkeSetZoomFactor", table.wkeSetZoomFactor);
    Bind(module, "wkeSetCookieJarPath", table.wkeSetCookieJarPath);
    Bind(module, "wkeCreateWebView", table.wkeCreateWebView);
    Bind(module, "wkeDestroyWebView", table.wkeDestroyWebView);
    Bind(module, "wkeLoadURL", table.wkeLoadURL);
    Bind(module, "wkeGoBack", table.wkeGoBack);
    Bind(module, "wkeGoForward", table.wkeGoForward);
    Bind(module, "wkeReload", table.wkeReload);
    Bind(module, "wkeGetURL", table.wkeGetURL);
    Bind(module, "wkeOnTitleChanged", table.wkeOnTitleChanged);
    Bind(module, "wkeOnURLChanged", table.wkeOnURLChanged);
    Bind(module, "wkeOnAlertBox", table.wkeOnAlertBox);
    Bind(module, "wkeOnNavigation", table.wkeOnNavigation);
    Bind(module, "wkeOnCreateView", table.wkeOnCreateView);
    Bind(module, "wkeOnDocumentReady", table.wkeOnDocumentReady);
    Bind(module, "wkeOnLoadingFinish", table.wkeOnLoadingFinish);
    Bind(module, "wkeOnPageMessage", table.wkeOnPageMessage);
    Bind(module, "wkeGetNativeWidget", table.wkeGetNativeWidget);
    // Not one of the engine's users' functions: a module without it only
    // leaves the automation channel without page elements.
    table.wkeEvaluateScript = reinterpret_cast<wkeEvaluateScriptFn>(dlsym(module, "wkeEvaluateScript"));

    if (!WkeCanMakeViews(table))
        DebugPrint("web engine: %s lacks a view function; web views stay empty", path.c_str());
    DuiLib::CWkeWebkitUI::SetViewPeerFactory(
        [](DuiLib::CWkeWebkitUI& control) { return EngineViewPeer::Create(control); });
    return true;
}

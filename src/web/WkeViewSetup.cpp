#include "web/WkeViewSetup.h"

#include "platform/duilib/UIDPI.h"
#include "web/WkeLoader.h"

namespace {

void SetCookieFolder(DuiLib::CWkeWebkitUI& view, const std::string& folder) {
    const auto setPath = WkeFunctions().wkeSetCookieJarPath;
    if (setPath == nullptr)
        return;
    if (wkeWebView engineView = view.GetWebView())
        setPath(engineView, folder.c_str());
}

}  // namespace

std::optional<float> ZoomFactorForDpi(int dpi) {
    if (dpi >= 192 || dpi == 120)
        return static_cast<float>(dpi) / 96.0F;
    return std::nullopt;
}

void ApplyZoom(DuiLib::CWkeWebkitUI& view) {
    const auto setZoom = WkeFunctions().wkeSetZoomFactor;
    if (setZoom == nullptr)
        return;
    const std::optional<float> factor = ZoomFactorForDpi(DuiLib::CDPI::GetMainMonitorDPI());
    if (!factor)
        return;
    if (wkeWebView engineView = view.GetWebView())
        setZoom(engineView, *factor);
}

void PrepareTabView(DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback) {
    view.SetWkeCallback(callback);
    if (const auto enableCache = WkeFunctions().wkeSetMemoryCacheEnable) {
        if (wkeWebView engineView = view.GetWebView())
            enableCache(engineView, true);
    }
    ApplyZoom(view);
}

void PrepareLoginSyncView(DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback,
                          const std::string& cookieFolder) {
    SetCookieFolder(view, cookieFolder);
    view.SetWkeCallback(callback);
}

void PrepareDialogView(DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback,
                       const std::string& cookieFolder) {
    SetCookieFolder(view, cookieFolder);
    view.SetWkeCallback(callback);
    ApplyZoom(view);
}

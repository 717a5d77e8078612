#include "platform/duilib/UIWkeWebkit.h"

#include "platform/duilib/UIManager.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/Backend.h"
#include "platform/os/DebugPrint.h"

namespace DuiLib {
namespace {
const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

void DefaultAlert(const char* msg) {
    DebugPrint("web view alert: %s", OrEmpty(msg));
}
}  // namespace

// ---- IWkeCallback defaults ------------------------------------------------------

void IWkeCallback::OnWkeURLChanged(CWkeWebkitUI*, const char*) {}

void IWkeCallback::OnWkeAlertBox(CWkeWebkitUI*, const char* msg) {
    DefaultAlert(msg);
}

wkeWebView IWkeCallback::OnWkeCreateView(CWkeWebkitUI*, const wkeNewViewInfo*) {
    return nullptr;
}

void IWkeCallback::OnWkeDocumentReady(CWkeWebkitUI*) {}

// ---- CWkeWebkitUI ----------------------------------------------------------------

CWkeWebkitUI::CWkeWebkitUI() = default;
CWkeWebkitUI::~CWkeWebkitUI() {
    if (m_nativeHost != nullptr && ::IsWindow(m_nativeHost))
        GetBackend().DetachNativeView(m_nativeHost, this);
}

bool CWkeWebkitUI::SetNativeView(void* widget) {
    const HWND hwnd = m_pManager != nullptr ? m_pManager->GetPaintWindow() : nullptr;
    if (hwnd == nullptr || !::IsWindow(hwnd))
        return false;
    if (m_nativeHost != nullptr && ::IsWindow(m_nativeHost))
        GetBackend().DetachNativeView(m_nativeHost, this);
    m_nativeHost = nullptr;
    if (widget == nullptr)
        return true;
    if (!GetBackend().AttachNativeView(hwnd, this, widget))
        return false;
    m_nativeHost = hwnd;
    return true;
}

std::string_view CWkeWebkitUI::GetClass() const {
    return "WkeWebkit";
}

void* CWkeWebkitUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CWkeWebkitUI> ? this : CControlUI::GetInterface(name);
}

void CWkeWebkitUI::Navigate(std::string_view url) {
    m_sUrl = url;
    if (m_peer)
        m_peer->Navigate(m_sUrl);
}

void CWkeWebkitUI::Back() {
    if (m_peer)
        m_peer->Back();
}

void CWkeWebkitUI::Forward() {
    if (m_peer)
        m_peer->Forward();
}

void CWkeWebkitUI::Reload() {
    if (m_peer)
        m_peer->Reload();
}

wkeWebView CWkeWebkitUI::GetWebView() const {
    return m_peer ? m_peer->GetWebView() : nullptr;
}

void CWkeWebkitUI::SetWkeCallback(IWkeCallback* callback) {
    m_pCallback = callback;
}

void CWkeWebkitUI::SetViewPeer(std::unique_ptr<IWkeViewPeer> peer) {
    m_peer = std::move(peer);
}

void CWkeWebkitUI::RaiseTitleChanged(const char* title) {
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeTitleChanged(this, title);
}

void CWkeWebkitUI::RaiseURLChanged(const char* url) {
    m_sUrl = OrEmpty(url);
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeURLChanged(this, url);
}

void CWkeWebkitUI::RaiseAlertBox(const char* msg) {
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeAlertBox(this, msg);
    else
        DefaultAlert(msg);
}

bool CWkeWebkitUI::RaiseNavigation(wkeNavigationType navigationType, const char* url) {
    return m_pCallback == nullptr || m_pCallback->OnWkeNavigation(this, navigationType, url);
}

wkeWebView CWkeWebkitUI::RaiseCreateView(const wkeNewViewInfo* info) {
    return m_pCallback != nullptr ? m_pCallback->OnWkeCreateView(this, info) : nullptr;
}

void CWkeWebkitUI::RaiseDocumentReady() {
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeDocumentReady(this);
}

void CWkeWebkitUI::RaiseLoadingFinish(const char* url, wkeLoadingResult result, const char* failedReason) {
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeLoadingFinish(this, url, result, failedReason);
}

std::string CWkeWebkitUI::RaisePageMessage(const char* text, void* param1, void* param2) {
    return m_pCallback != nullptr ? m_pCallback->OnWkePageMessage(this, text, param1, param2) : std::string();
}

}  // namespace DuiLib

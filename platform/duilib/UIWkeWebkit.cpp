#include "platform/duilib/UIWkeWebkit.h"

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
CWkeWebkitUI::~CWkeWebkitUI() = default;

std::string_view CWkeWebkitUI::GetClass() const {
    return "WkeWebkit";
}

void* CWkeWebkitUI::GetInterface(std::string_view name) {
    return name == "WkeWebkit" ? this : CControlUI::GetInterface(name);
}

void CWkeWebkitUI::Log(std::string entry) {
    m_log.push_back(std::move(entry));
}

void CWkeWebkitUI::Navigate(std::string_view url) {
    Log("Navigate " + std::string(url));
    m_sUrl = url;
    if (m_peer)
        m_peer->Navigate(m_sUrl);
}

void CWkeWebkitUI::Back() {
    Log("Back");
    if (m_peer)
        m_peer->Back();
}

void CWkeWebkitUI::Forward() {
    Log("Forward");
    if (m_peer)
        m_peer->Forward();
}

void CWkeWebkitUI::Reload() {
    Log("Reload");
    if (m_peer)
        m_peer->Reload();
}

wkeWebView CWkeWebkitUI::GetWebView() const {
    return m_peer ? m_peer->GetWebView() : nullptr;
}

void CWkeWebkitUI::SetWkeCallback(IWkeCallback* callback) {
    Log("SetWkeCallback");
    m_pCallback = callback;
}

void CWkeWebkitUI::SetViewPeer(std::unique_ptr<IWkeViewPeer> peer) {
    m_peer = std::move(peer);
}

void CWkeWebkitUI::RaiseTitleChanged(const char* title) {
    Log(title != nullptr ? "TitleChanged " + std::string(title) : std::string("TitleChanged (null)"));
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeTitleChanged(this, title);
}

void CWkeWebkitUI::RaiseURLChanged(const char* url) {
    Log("URLChanged " + std::string(OrEmpty(url)));
    m_sUrl = OrEmpty(url);
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeURLChanged(this, url);
}

void CWkeWebkitUI::RaiseAlertBox(const char* msg) {
    Log("AlertBox " + std::string(OrEmpty(msg)));
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeAlertBox(this, msg);
    else
        DefaultAlert(msg);
}

bool CWkeWebkitUI::RaiseNavigation(wkeNavigationType navigationType, const char* url) {
    Log("Navigation " + std::to_string(static_cast<int>(navigationType)) + " " + OrEmpty(url));
    return m_pCallback == nullptr || m_pCallback->OnWkeNavigation(this, navigationType, url);
}

wkeWebView CWkeWebkitUI::RaiseCreateView(const wkeNewViewInfo* info) {
    Log("CreateView " + std::string(info != nullptr ? OrEmpty(info->url) : ""));
    return m_pCallback != nullptr ? m_pCallback->OnWkeCreateView(this, info) : nullptr;
}

void CWkeWebkitUI::RaiseDocumentReady() {
    Log("DocumentReady");
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeDocumentReady(this);
}

void CWkeWebkitUI::RaiseLoadingFinish(const char* url, wkeLoadingResult result, const char* failedReason) {
    Log("LoadingFinish " + std::string(OrEmpty(url)) + " " + std::to_string(static_cast<int>(result)));
    if (m_pCallback != nullptr)
        m_pCallback->OnWkeLoadingFinish(this, url, result, failedReason);
}

std::string CWkeWebkitUI::RaisePageMessage(const char* text, void* param1, void* param2) {
    Log("PageMessage " + std::string(OrEmpty(text)));
    return m_pCallback != nullptr ? m_pCallback->OnWkePageMessage(this, text, param1, param2) : std::string();
}

}  // namespace DuiLib

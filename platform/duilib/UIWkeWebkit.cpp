#include "platform/duilib/UIWkeWebkit.h"

#include "platform/duilib/UIManager.h"
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

CWkeWebkitUI::ViewPeerFactory& PeerFactory() {
    static CWkeWebkitUI::ViewPeerFactory factory;
    return factory;
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
    // The back end lets go of the widget before the engine destroys it.
    ReleaseNativeWidget();
    m_peer.reset();
}

void CWkeWebkitUI::SetViewPeerFactory(ViewPeerFactory factory) {
    PeerFactory() = std::move(factory);
}

void CWkeWebkitUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
    CControlUI::SetManager(manager, parent, init);
    SyncNativeWidget();
}

IWkeViewPeer* CWkeWebkitUI::EnsurePeer() const {
    if (!m_peer && PeerFactory()) {
        m_peer = PeerFactory()(const_cast<CWkeWebkitUI&>(*this));
        SyncNativeWidget();
    }
    return m_peer.get();
}

void CWkeWebkitUI::SyncNativeWidget() const {
    void* widget = m_peer ? m_peer->GetNativeWidget() : nullptr;
    HWND window = m_pManager != nullptr ? m_pManager->GetPaintWindow() : nullptr;
    if (widget == nullptr || window == nullptr) {
        ReleaseNativeWidget();
        return;
    }
    if (widget == m_widget && window == m_widgetWindow)
        return;
    ReleaseNativeWidget();
    GetBackend().NativeViewAttached(window, const_cast<CWkeWebkitUI*>(this), widget);
    m_widgetWindow = window;
    m_widget = widget;
}

void CWkeWebkitUI::ReleaseNativeWidget() const {
    if (m_widget == nullptr)
        return;
    GetBackend().NativeViewDetached(m_widgetWindow, const_cast<CWkeWebkitUI*>(this), m_widget);
    m_widgetWindow = nullptr;
    m_widget = nullptr;
}

std::string_view CWkeWebkitUI::GetClass() const {
    return "WkeWebkit";
}

bool CWkeWebkitUI::IsKeyboardEnabled() const {
    return m_peer != nullptr && m_peer->GetNativeWidget() != nullptr;
}

void* CWkeWebkitUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CWkeWebkitUI> ? this : CControlUI::GetInterface(name);
}

void CWkeWebkitUI::Navigate(std::string_view url) {
    m_sUrl = url;
    if (IWkeViewPeer* peer = EnsurePeer())
        peer->Navigate(m_sUrl);
}

void CWkeWebkitUI::Back() {
    if (IWkeViewPeer* peer = EnsurePeer())
        peer->Back();
}

void CWkeWebkitUI::Forward() {
    if (IWkeViewPeer* peer = EnsurePeer())
        peer->Forward();
}

void CWkeWebkitUI::Reload() {
    if (IWkeViewPeer* peer = EnsurePeer())
        peer->Reload();
}

wkeWebView CWkeWebkitUI::GetWebView() const {
    IWkeViewPeer* peer = EnsurePeer();
    return peer != nullptr ? peer->GetWebView() : nullptr;
}

void CWkeWebkitUI::SetWkeCallback(IWkeCallback* callback) {
    m_pCallback = callback;
}

void CWkeWebkitUI::SetViewPeer(std::unique_ptr<IWkeViewPeer> peer) {
    ReleaseNativeWidget();
    m_peer = std::move(peer);
    SyncNativeWidget();
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

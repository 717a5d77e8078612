#include "web/WebBrowserDlg.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIEdit.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Paths.h"
#include "ui/MessageDlg.h"
#include "ui/ShowLangMessage.h"
#include "web/WkeLoader.h"
#include "web/WkeViewSetup.h"

namespace {

constexpr int kFadeMs = 100;

}  // namespace

CWebBrowserDlg::CWebBrowserDlg(std::string startAddress)
    : CSkinDialog("dlg_webbrowser", false),
      m_startAddress(std::move(startAddress)),
      m_resultOrigin(ParsePageOrigin(m_startAddress)) {}

CWebBrowserDlg::~CWebBrowserDlg() {
    // The controls (the view among them) live as long as the paint manager,
    // which outlives this part of the object: no event of theirs may reach
    // a half-destroyed dialog.
    if (m_view != nullptr)
        m_view->SetWkeCallback(nullptr);
}

void CWebBrowserDlg::SetResultOrigin(std::string_view scheme, std::string_view host) {
    std::string address(scheme);
    address.append("://").append(host).append("/");
    m_resultOrigin = ParsePageOrigin(address);
}

void CWebBrowserDlg::SetCaption(std::string_view text) {
    SetDlgItemTextW("caption", text);
}

void CWebBrowserDlg::Init() {
    CenterWindow();
    m_steps = m_pm.FindControl<DuiLib::CTabLayoutUI>("step");
    m_addressEdit = m_pm.FindControl<DuiLib::CEditUI>("urlEdit");
    m_view = m_pm.FindControl<DuiLib::CWkeWebkitUI>("ie");
    if (!LoadWkeEngine()) {
        ShowLangMessage("InitNodeDllFailed", ::GetWindowOwner(m_hWnd), CMessageDlg::kStyleError, {});
        PostMessage(WM_CLOSE);
        return;
    }
    if (m_view == nullptr)
        return;
    PrepareDialogView(*m_view, this, os::GetUserDataFolder());
    if (!m_startAddress.empty())
        m_view->Navigate(m_startAddress);
}

void CWebBrowserDlg::Notify(DuiLib::TNotifyUI& msg) {
    if (msg.sType == DuiLib::DUI_MSGTYPE_RETURN && msg.pSender != nullptr && msg.pSender == m_addressEdit) {
        NavigateToTypedAddress();
        return;
    }
    CSkinDialog::Notify(msg);
}

void CWebBrowserDlg::OnClick(DuiLib::TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    const std::string& name = msg.pSender->GetName();
    if (name == "btnClose") {
        Close(1);
    } else if (name == "btnRefresh") {
        Retry();
    } else if (m_view == nullptr) {
        return;
    } else if (name == "btnBack") {
        m_view->Back();
    } else if (name == "btnforward") {
        m_view->Forward();
    } else if (name == "btnGo") {
        NavigateToTypedAddress();
    }
}

void CWebBrowserDlg::Retry() {
    if (m_steps != nullptr)
        m_steps->SelectItem(kPageStep);
    if (m_view == nullptr)
        return;
    // One load: a reload followed at once by the start address would end
    // the first cancelled, a needless round that shows nothing.
    if (!m_startAddress.empty())
        m_view->Navigate(m_startAddress);
    else
        m_view->Reload();
}

void CWebBrowserDlg::NavigateToTypedAddress() {
    if (m_view == nullptr || m_addressEdit == nullptr)
        return;
    const std::string address = m_addressEdit->GetText();
    if (!address.empty())
        m_view->Navigate(address);
}

LRESULT CWebBrowserDlg::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
    FadeInOut(kFadeMs, AW_HIDE | AW_BLEND);
    ::DestroyWindow(m_hWnd);
    bHandled = true;
    return 0;
}

LRESULT CWebBrowserDlg::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    // The view outlives the window until the object goes; a page still
    // running there has nothing more to tell the closed dialog.
    if (m_view != nullptr)
        m_view->SetWkeCallback(nullptr);
    bHandled = false;
    return 0;
}

void CWebBrowserDlg::OnWkeTitleChanged(DuiLib::CWkeWebkitUI*, const char*) {}

void CWebBrowserDlg::OnWkeURLChanged(DuiLib::CWkeWebkitUI*, const char*) {}

void CWebBrowserDlg::OnWkeAlertBox(DuiLib::CWkeWebkitUI*, const char*) {}

bool CWebBrowserDlg::OnWkeNavigation(DuiLib::CWkeWebkitUI*, wkeNavigationType, const char*) {
    return true;
}

wkeWebView CWebBrowserDlg::OnWkeCreateView(DuiLib::CWkeWebkitUI*, const wkeNewViewInfo*) {
    return nullptr;
}

void CWebBrowserDlg::OnWkeLoadingFinish(DuiLib::CWkeWebkitUI*, const char*, wkeLoadingResult result,
                                        const char*) {
    if (result == WKE_LOADING_FAILED && m_steps != nullptr)
        m_steps->SelectItem(kErrorStep);
}

std::string CWebBrowserDlg::OnWkePageMessage(DuiLib::CWkeWebkitUI* webView, const char* text, void* param1,
                                             void*) {
    // The engine names the sending page (always a top frame); without that,
    // the view's address.
    std::string page;
    if (param1 != nullptr)
        page = static_cast<const char*>(param1);
    else if (webView != nullptr)
        page = webView->GetUrl();
    const std::optional<PageOrigin> origin = ParsePageOrigin(page);
    if (!m_resultOrigin || !origin || origin->scheme != m_resultOrigin->scheme ||
        origin->host != m_resultOrigin->host || origin->port != m_resultOrigin->port) {
        DebugPrint("page message from %s ignored: not the page's result origin", page.c_str());
        return {};
    }
    m_lastPageMessage = text != nullptr ? text : "";
    if (!m_lastPageMessage.empty() && m_lastPageMessage.front() == '{')
        PostMessage(WM_CLOSE);
    return {};
}

#pragma once
// CWebBrowserDlg: a small modal window with one web view ("dlg_webbrowser"),
// for pages that run in a window of their own and hand a result back: the
// feedback form and the QQ and WeChat sign-in pages. The page ends the dialog
// by sending a JSON object through the page-to-client channel; the dialog
// keeps the text, closes, and its creator reads it afterwards:
//
//   CWebBrowserDlg dialog(address);
//   dialog.Create(owner, "QQ", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0);
//   dialog.SetCaption(LoadLangText("QQLogin"));
//   dialog.ShowModal();
//   ... dialog.LastPageMessage() ...
//
// The creator keeps the object: it does not delete itself with its window.
// Results are taken only from pages on one origin (scheme, host and port):
// that of the start address unless the creator names another, so a page the
// dialog strays to (a link, a redirect) cannot hand back a result.
//
// UI thread only, like the engine's events, which the dialog receives as
// the callback of its own view.

#include "platform/duilib/UIWkeWebkit.h"
#include "ui/SkinDialog.h"
#include "web/PageOrigin.h"

#include <optional>
#include <string>
#include <string_view>

namespace DuiLib {
class CEditUI;
class CTabLayoutUI;
}  // namespace DuiLib

class CWebBrowserDlg : public CSkinDialog, public DuiLib::IWkeCallback {
  public:
    // "step" shows the page as item 0 and the error page as item 1.
    static constexpr int kPageStep = 0;
    static constexpr int kErrorStep = 1;

    // `startAddress` may be empty (nothing is loaded).
    explicit CWebBrowserDlg(std::string startAddress);
    ~CWebBrowserDlg() override;

    // Results are taken only from pages with `scheme` on `host` ("name[:port]",
    // the form of the host constants). An origin that does not parse
    // accepts nothing.
    void SetResultOrigin(std::string_view scheme, std::string_view host);

    // The text of the label "caption"; nothing without the label.
    void SetCaption(std::string_view text);

    const std::string& StartAddress() const { return m_startAddress; }
    // The last text a page on the result origin sent; empty until then.
    // Read by the creator after the modal run.
    const std::string& LastPageMessage() const { return m_lastPageMessage; }

    // The engine's events for the dialog's view.
    void OnWkeTitleChanged(DuiLib::CWkeWebkitUI* webView, const char* title) override;
    void OnWkeURLChanged(DuiLib::CWkeWebkitUI* webView, const char* url) override;
    void OnWkeAlertBox(DuiLib::CWkeWebkitUI* webView, const char* msg) override;
    // Every navigation may go ahead.
    bool OnWkeNavigation(DuiLib::CWkeWebkitUI* webView, wkeNavigationType navigationType,
                         const char* url) override;
    // No new view or window is ever opened.
    wkeWebView OnWkeCreateView(DuiLib::CWkeWebkitUI* webView, const wkeNewViewInfo* info) override;
    // A failed load shows the error page.
    void OnWkeLoadingFinish(DuiLib::CWkeWebkitUI* webView, const char* url, wkeLoadingResult result,
                            const char* failedReason) override;
    // From a page on the result origin: the text is kept, and one that
    // starts with "{" closes the dialog (posted, so the close comes after
    // this call has returned). Anything else is ignored with a debug line.
    // The page gets no answer.
    std::string OnWkePageMessage(DuiLib::CWkeWebkitUI* webView, const char* text, void* param1,
                                 void* param2) override;

  protected:
    // After the layout is built: centres the window, loads the engine (when
    // it cannot be used: "InitNodeDllFailed" over the owner and the dialog
    // closes), prepares the view and loads the start address.
    void Init() override;
    // "return" in "urlEdit" navigates to its text; the rest as every dialog.
    void Notify(DuiLib::TNotifyUI& msg) override;
    void OnClick(DuiLib::TNotifyUI& msg) override;
    // Fades out, then the window goes; the message counts as handled.
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    // The view hears no more of the dialog's events.
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  private:
    // The error page's retry: the page step again, and one load of the
    // start address (the view's page again without one).
    void Retry();
    void NavigateToTypedAddress();

    std::string m_startAddress;
    std::optional<PageOrigin> m_resultOrigin;
    std::string m_lastPageMessage;
    DuiLib::CWkeWebkitUI* m_view = nullptr;    // "ie"
    DuiLib::CEditUI* m_addressEdit = nullptr;  // "urlEdit", when the layout has one
    DuiLib::CTabLayoutUI* m_steps = nullptr;   // "step"
};

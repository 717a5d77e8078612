#pragma once
// The web view control: one engine view per control. The client drives it
// (Navigate, Back, Forward, Reload) and hears from the engine through an
// IWkeCallback. The control forwards its calls to the engine's view peer
// when one is attached (a real view, or one a test records calls with); the
// engine reports its events through the Raise... entry points. UI thread
// only, like the engine's callbacks.
//
// Layouts are built before the engine is loaded, so a control gets its view
// only when it first needs one (a navigation, GetWebView): from the peer
// factory that the engine's loader installs. The view's native widget, when
// it has one, is handed to the display back end while the control belongs to
// a window (Backend::NativeViewAttached/Detached).

#include "platform/duilib/UIControl.h"
#include "platform/wke/wke.h"

#include <functional>
#include <memory>
#include <string>

namespace DuiLib {

class CWkeWebkitUI;

// The web view's events, in the engine's slot order. Texts are UTF-8.
class IWkeCallback {
  public:
    // `title` may be null.
    virtual void OnWkeTitleChanged(CWkeWebkitUI* webView, const char* title) = 0;
    // Default: nothing.
    virtual void OnWkeURLChanged(CWkeWebkitUI* webView, const char* url);
    // Default: the text goes to the debug output (there is no page owner
    // to show a box for).
    virtual void OnWkeAlertBox(CWkeWebkitUI* webView, const char* msg);
    // True lets the navigation go ahead.
    virtual bool OnWkeNavigation(CWkeWebkitUI* webView, wkeNavigationType navigationType,
                                 const char* url) = 0;
    // The view to open the page in; default: none (the page is not opened).
    virtual wkeWebView OnWkeCreateView(CWkeWebkitUI* webView, const wkeNewViewInfo* info);
    // Default: nothing.
    virtual void OnWkeDocumentReady(CWkeWebkitUI* webView);
    virtual void OnWkeLoadingFinish(CWkeWebkitUI* webView, const char* url, wkeLoadingResult result,
                                    const char* failedReason) = 0;
    // The page-to-client channel; the answer for the page, empty for none.
    // `param1` is the address of the page that sent the text (a const char*,
    // UTF-8) when the engine tells it, else null; `param2` is null.
    virtual std::string OnWkePageMessage(CWkeWebkitUI* webView, const char* text, void* param1,
                                         void* param2) = 0;

  protected:
    ~IWkeCallback() = default;
};

// What the control asks of the engine's view. The engine module supplies
// it (a real view, or a scripted one in tests).
class IWkeViewPeer {
  public:
    virtual ~IWkeViewPeer() = default;
    virtual void Navigate(const std::string& url) = 0;
    virtual void Back() = 0;
    virtual void Forward() = 0;
    virtual void Reload() = 0;
    virtual wkeWebView GetWebView() const = 0;
    // What the display back end places on screen; null when nothing.
    virtual void* GetNativeWidget() const { return nullptr; }
};

class CWkeWebkitUI : public CControlUI {
  public:
    CWkeWebkitUI();
    ~CWkeWebkitUI() override;

    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
    void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
    // A page on screen is a stop of the window's Tab order: its widget then
    // takes the keys (its own elements, typing). Without a widget there is
    // nothing to type into.
    bool IsKeyboardEnabled() const override;

    // Makes the engine view of a control that has none. Installed by the
    // engine's loader once the engine is usable; empty: controls get no view.
    using ViewPeerFactory = std::function<std::unique_ptr<IWkeViewPeer>(CWkeWebkitUI& control)>;
    static void SetViewPeerFactory(ViewPeerFactory factory);

    void Navigate(std::string_view url);
    void Back();
    void Forward();
    void Reload();
    // The engine view (made now when the control has none yet), or null
    // when no engine is there.
    wkeWebView GetWebView() const;
    // The address last navigated to or reported by the engine.
    const std::string& GetUrl() const { return m_sUrl; }

    void SetWkeCallback(IWkeCallback* callback);
    IWkeCallback* GetWkeCallback() const { return m_pCallback; }

    // The engine's view; the control owns it. Null detaches.
    void SetViewPeer(std::unique_ptr<IWkeViewPeer> peer);
    // The view attached now (none is made here).
    IWkeViewPeer* GetViewPeer() const { return m_peer.get(); }

    // The engine's events: they reach the callback, or the defaults when
    // none is set (navigation allowed, no new view, no page answer).
    void RaiseTitleChanged(const char* title);
    void RaiseURLChanged(const char* url);
    void RaiseAlertBox(const char* msg);
    bool RaiseNavigation(wkeNavigationType navigationType, const char* url);
    wkeWebView RaiseCreateView(const wkeNewViewInfo* info);
    void RaiseDocumentReady();
    void RaiseLoadingFinish(const char* url, wkeLoadingResult result, const char* failedReason);
    std::string RaisePageMessage(const char* text, void* param1 = nullptr, void* param2 = nullptr);

  private:
    // The peer, from the factory when there is none yet; may stay null.
    IWkeViewPeer* EnsurePeer() const;
    // Hands the peer's native widget to the back end of the window the
    // control belongs to, or takes it back (null manager or peer).
    void SyncNativeWidget() const;
    void ReleaseNativeWidget() const;

    IWkeCallback* m_pCallback = nullptr;
    // Mutable: the view is made on first need, also from GetWebView.
    mutable std::unique_ptr<IWkeViewPeer> m_peer;
    mutable HWND m_widgetWindow = nullptr;  // where the native widget was handed
    mutable void* m_widget = nullptr;
    std::string m_sUrl;
};
template <>
inline constexpr std::string_view kControlInterface<CWkeWebkitUI> = "WkeWebkit";

}  // namespace DuiLib

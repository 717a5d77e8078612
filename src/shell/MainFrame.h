#pragma once
// The client's one top-level window: the title bar with the account area and
// the system buttons, the column of six tabs and, beside it, the stack of web
// views showing the store's pages (one per tab, and a hidden one that keeps
// the web login in step with the client's), with the loading and the
// disconnect frames. Every other part that must change the screen from a
// worker, a page or another window posts one of the window's messages
// (ui/ClientMessages.h), so all screen work happens on the UI thread.
//
// The process-wide accessor creates it on first use; the window registers
// its class on the instance channel, so a second start of the client finds
// it and brings it forward. Closing it ("btnClose" or the system menu's
// close command) ends the message loop; the window itself goes in teardown
// with the rest. When the window goes in any other way (it closes itself
// when the web engine cannot be used) the loop ends too: the program has
// nothing left to show.
//
// Everything here runs on the UI thread.

#include "account/UserInfoWorker.h"
#include "shell/DocumentDeletion.h"
#include "shell/FileOpener.h"
#include "shell/MainTabs.h"
#include "ui/MyBaseFrame.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CToolbox;
class CAccountArea;
class my_WkeCallback;
struct DownloadRequest;

namespace DuiLib {
class CWkeWebkitUI;
}

class CMainFrame : public MyBaseFrame<1> {
  public:
    // The window class other instances look for.
    static constexpr const char* kWindowClass = "VANTOWindowClass";
    // The loading and disconnect frames' padding in the maximised form, and
    // in the restored one.
    static constexpr const char* kMaximisedPadding = "500,200,0,0";
    static constexpr const char* kRestoredPadding = "0,0,0,0";
    // "switch": pages 0 to 5 the tabs, 6 the login-sync view, 7 the
    // disconnect frame.
    static constexpr int kDisconnectPage = 7;

    // The main window, created on the first call (caption "墨林工坊", a
    // visible overlapped window, icon 128); null when creation failed, and
    // again on every later call once the window has gone.
    static CMainFrame* GetInstance();
    // Runs with the window's handle as soon as it exists, before its
    // initialisation (which may show a message box and wait for the user):
    // the program points its close signals at the window there.
    static void SetWindowMadeHook(std::function<void(HWND)> hook);
    // Lets the next GetInstance make a new window once the last one is gone
    // (tests live through several windows in one process).
    static void ForgetDestroyedInstance();

    // The download component's entry for UM_DOWNLOAD: it gets the request
    // and runs it (its dialog) before returning. The initialisation installs
    // the template download; tests put another in its place. Without one,
    // requests are dropped.
    using DownloadHandler = std::function<void(std::unique_ptr<DownloadRequest>)>;
    void SetDownloadHandler(DownloadHandler handler) { m_downloadHandler = std::move(handler); }

    // Whether the web engine was usable at initialisation; without it the
    // window closes itself.
    bool IsEngineReady() const { return m_webCallback != nullptr; }
    // The tab last chosen (0 to 5).
    int CurrentTab() const { return m_tabs.Current(); }
    // Whether tab `index` (0 to 3) has loaded its page.
    bool IsTabLoaded(int index) const { return m_tabs.IsLoaded(index); }
    // The address of the home tab (with the channel id when one is set).
    const std::string& HomeAddress() const { return m_homeAddress; }
    // The callback all web views of the window share; null without engine.
    my_WkeCallback* WebCallback() const { return m_webCallback.get(); }
    // Whether a fetch of the user's information runs now.
    bool IsUserInfoFetchRunning() const {
        return m_userInfoWorker != nullptr && m_userInfoWorker->IsRunning();
    }
    // Whether the login dialog or a download runs now (requests for another
    // are dropped meanwhile).
    bool IsModalFlowRunning() const { return m_modalFlow; }
    // Whether a document deletion asked for by the downloads page is under
    // way (until its box is closed).
    bool IsDeletingDocument() const { return m_documentDeletion != nullptr && m_documentDeletion->IsBusy(); }
    // Openings of downloaded files still under way.
    int FileOpeningsRunning() const { return m_fileOpener.Running(); }

    const char* GetWindowClassName() const override { return kWindowClass; }
    std::string GetSkinFile() override { return "Form_Main.xml"; }

  protected:
    CMainFrame();
    // The toolbox goes with the window object: its teardown stops its
    // workers and waits for them a bounded time.
    ~CMainFrame() override;
    // The initialisation, in its order and with its run-log lines: title,
    // account area, DPI, toolbox, the daily update check, the web engine and
    // the web login.
    void Init() override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    // "windowinit": the first tab (the home tab when a channel id is set).
    void OnWindowInit() override;
    // SC_CLOSE ends the loop; a change between maximised and restored
    // swaps the buttons and the frames' paddings.
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    void OnClick(DuiLib::TNotifyUI& msg) override;
    // A tab chosen: its page loads (tabs 0 to 3 once), and "switch" shows it.
    void OnSelectChanged(DuiLib::TNotifyUI& msg) override;
    // "menuAbout", "menuUpdate", "menuFeedback".
    void OnMenuCommand(WPARAM item) override;
    void OnFinalMessage(HWND hWnd) override;

  private:
    // Initialisation steps.
    void InitDpi();
    void InitToolbox();
    void StartUpdateCheck();
    void InitEngine();

    // The web views.
    void SetupWebView(std::string_view name, const std::string& address);
    void SyncWebLogin();
    void Retry();

    // The account.
    void ShowLoggedIn();
    void ShowLoggedOut();
    void ShowUserTabs(bool show);
    void OnLogout();
    // The account pop-up below the clicked "userNickname" or "btnLogin".
    void ShowUserInfo(DuiLib::CControlUI* clicked);

    // Messages.
    bool HandleClientMessage(UINT uMsg, LPARAM lParam);
    void ShowLoading(bool loading);
    void OnShowInfo(LPARAM payload);
    void OnOpenFile(LPARAM payload);
    void OnDownload(LPARAM payload);
    void OnShowLogin();

    // Clicks and pop-ups.
    POINT PopupOrigin(const DuiLib::CControlUI* control, int dx, int dy) const;
    void ShowMainMenu(const DuiLib::CControlUI* button);
    void ShowToolbox(DuiLib::CControlUI* button);
    void ShowAbout();
    void ShowFeedback();
    void ShowMaximisedForm(bool maximised);

    std::unique_ptr<my_WkeCallback> m_webCallback;
    DuiLib::CWkeWebkitUI* m_loginSyncView = nullptr;
    std::unique_ptr<CAccountArea> m_account;
    std::unique_ptr<CToolbox> m_toolbox;
    CMainTabs m_tabs;
    std::string m_homeAddress;
    DownloadHandler m_downloadHandler;
    CFileOpener m_fileOpener;
    // The user's picture, and the fetch of the user's information that each
    // logged-in display starts.
    std::string m_picturePath;
    std::unique_ptr<UserInfoWorker> m_userInfoWorker;
    // The downloads page's deletions; made with the engine.
    std::unique_ptr<CDocumentDeletion> m_documentDeletion;
    // The login dialog or a download is up.
    bool m_modalFlow = false;
    // False once the object is gone, for code that ran a modal loop in it.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

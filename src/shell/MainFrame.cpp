#include "shell/MainFrame.h"

#include "account/HeadPicture.h"
#include "account/NewRegDlg.h"
#include "account/SavedLogin.h"
#include "account/UserInfo.h"
#include "account/UserSession.h"
#include "config/LangFile.h"
#include "config/OemConfig.h"
#include "config/Settings.h"
#include "diag/RunLog.h"
#include "net/ServerApi.h"
#include "net/ServerHosts.h"
#include "platform/duilib/InstanceChannel.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Paths.h"
#include "shell/AccountArea.h"
#include "shell/TemplateDownload.h"
#include "toolbox/Toolbox.h"
#include "ui/AboutDlg.h"
#include "ui/ClientMessages.h"
#include "ui/MessageDlg.h"
#include "ui/OpenUrl.h"
#include "ui/ShowLangMessage.h"
#include "update/update.h"
#include "web/WebBrowserDlg.h"
#include "web/WkeLoader.h"
#include "web/WkeViewSetup.h"
#include "web/my_WkeCallback.h"

#include <chrono>
#include <cstdint>
#include <string>

using namespace DuiLib;

namespace {

// The one main window. The object deletes itself when its window is gone
// (the frames' own rule); the accessor forgets it then.
CMainFrame* g_mainFrame = nullptr;
bool g_created = false;
std::function<void(HWND)>& WindowMadeHook() {
    static std::function<void(HWND)> hook;
    return hook;
}

constexpr UINT kMainIcon = 128;
constexpr int kHighDpi = 192;
// Where the pop-ups open, from the clicked control's bottom-left corner; on
// a high-DPI main monitor they are wider and move further left.
constexpr int kUserInfoDx = -215;
constexpr int kUserInfoDxHighDpi = -430;
constexpr int kUserInfoDy = 12;
constexpr int kToolboxDx = -350;
constexpr int kToolboxDxHighDpi = -755;
constexpr int kToolboxDy = 13;
constexpr int kMenuDy = 5;
constexpr const char* kSwitch = "switch";
constexpr const char* kLoginSyncView = "web_register2client";
// How long the window's end waits for a running fetch of the user's
// information (its transfers stop at once) before letting it go.
constexpr std::chrono::milliseconds kUserInfoStopLimit{2000};
// The same for a document deletion's request to the store.
constexpr std::chrono::milliseconds kDeletionStopLimit{2000};

// A heap payload that came with a message: the window owns it now.
template <typename T>
std::unique_ptr<T> TakePayload(LPARAM lParam) {
    return std::unique_ptr<T>(reinterpret_cast<T*>(lParam));  // NOLINT(performance-no-int-to-ptr)
}

// Marks a modal flow (the login dialog, a download) as running for its
// length; the window may be gone when it ends.
class ModalFlowScope {
  public:
    ModalFlowScope(bool& flag, std::shared_ptr<bool> alive) : m_flag(flag), m_alive(std::move(alive)) {
        m_flag = true;
    }
    ~ModalFlowScope() {
        if (*m_alive)
            m_flag = false;
    }
    ModalFlowScope(const ModalFlowScope&) = delete;
    ModalFlowScope& operator=(const ModalFlowScope&) = delete;

  private:
    bool& m_flag;
    std::shared_ptr<bool> m_alive;
};

}  // namespace

// Escape closes the dialogs and pop-ups over the main window, never the
// main window itself: one Escape more than the pop-ups needed would end the
// client without a word.
CMainFrame::CMainFrame() {
    CBaseFrame::SetFlags(kFlagNoEscape);
}

CMainFrame::~CMainFrame() {
    *m_alive = false;
    if (g_mainFrame == this)
        g_mainFrame = nullptr;
}

CMainFrame* CMainFrame::GetInstance() {
    if (g_created)
        return g_mainFrame;
    g_created = true;
    // Handed to the window: freed by OnFinalMessage, also when the window's
    // creation fails after it began (then the object is gone already, and
    // its destructor forgot it).
    auto* frame = new CMainFrame();
    g_mainFrame = frame;
    if (frame->Create(nullptr, "墨林工坊", UI_WNDSTYLE_FRAME, 0) == nullptr) {
        if (g_mainFrame == frame)
            delete frame;  // no window ever came to be
        g_mainFrame = nullptr;
        return nullptr;
    }
    frame->SetIcon(kMainIcon);
    // Another start of the client finds the window through its class.
    DuiLib::InstanceChannel::Instance().Publish(kWindowClass, frame->GetHWND());
    return frame;
}

void CMainFrame::SetWindowMadeHook(std::function<void(HWND)> hook) {
    WindowMadeHook() = std::move(hook);
}

void CMainFrame::ForgetDestroyedInstance() {
    if (g_mainFrame == nullptr)
        g_created = false;
}

// ---- initialisation ------------------------------------------------------------

void CMainFrame::Init() {
    MyBaseFrame<1>::Init();
    if (WindowMadeHook())
        WindowMadeHook()(m_hWnd);
    m_loginSyncView = m_pm.FindControl<CWkeWebkitUI>(kLoginSyncView);
    m_account = std::make_unique<CAccountArea>(m_pm);
    m_picturePath = HeadPicture::UserPicturePath();
    m_userInfoWorker = std::make_unique<UserInfoWorker>(m_picturePath);
    m_homeAddress = api::HomePageUrl(ReadAdId(false));
    // The store pages' download requests (UM_DOWNLOAD) run the template
    // download over this window.
    SetDownloadHandler([hwnd = m_hWnd](std::unique_ptr<DownloadRequest> request) {
        RunTemplateDownload(hwnd, std::move(request));
    });

    SetDlgItemTextW("text_title", ReadMainFrameTitle());
    if (UserSession::Instance().IsLoggedIn())
        ShowLoggedIn();
    else
        ShowLoggedOut();
    WriteRunLog(RunLogMarker("node3"));
    WriteRunLog("UpdateUserInfo success\n");
    InitDpi();
    InitToolbox();
    WriteRunLog("init_ToolBox success\n");
    WriteRunLog(RunLogMarker("node4"));
    WriteRunLog("dpi success");
    StartUpdateCheck();
    WriteRunLog(RunLogMarker("node5"));
    WriteRunLog("_Update success");
    InitEngine();
}

void CMainFrame::InitDpi() {
    CDPI::SetDPIAwareness(PROCESS_SYSTEM_DPI_AWARE);
    if (CDPI::GetMainMonitorDPI() >= kHighDpi)
        CPaintManagerUI::SetAllDPI(kHighDpi);
}

void CMainFrame::InitToolbox() {
    m_toolbox = std::make_unique<CToolbox>();
    ShowWindow("btnToolBox", m_toolbox->IsAvailable());
    m_toolbox->Init(COemConfig::Instance().ToolboxFolderName(), m_hWnd, UM_TOOLBOX_BUTTON);
}

void CMainFrame::StartUpdateCheck() {
    // The once-a-day check runs on its own worker.
    CUpdate& update = CUpdate::Instance();
    if (!update.IsWorkerRunning())
        update.StartDailyCheck();
}

void CMainFrame::InitEngine() {
    if (!LoadWkeEngine()) {
        // Without its engine the window has nothing to show: it says so and
        // closes, and the program ends with it.
        ShowLangMessage("InitNodeDllFailed", ::GetParent(m_hWnd), CMessageDlg::kStyleError,
                        "网页组件加载失败，请重新安装后再试。");
        PostMessage(WM_CLOSE);
        return;
    }
    WriteRunLog(RunLogMarker("node6"));
    WriteRunLog("wkeInitialize success");
    m_webCallback = std::make_unique<my_WkeCallback>(m_hWnd, m_homeAddress);
    m_documentDeletion = std::make_unique<CDocumentDeletion>(m_hWnd);
    m_webCallback->SetDeleteDocumentHandler(
        [this](std::int32_t documentId) { m_documentDeletion->Start(documentId); });
    SyncWebLogin();
    WriteRunLog(RunLogMarker("node7"));
    WriteRunLog("register_to_client success");
}

void CMainFrame::OnWindowInit() {
    MyBaseFrame<1>::OnWindowInit();
    // A window without engine is closing: it loads nothing.
    if (!IsEngineReady())
        return;
    // With a channel id the recommended topics come first.
    const bool channel = !ReadAdId(false).empty();
    const int tab = channel ? CMainTabs::kHomeTab : 0;
    SelectTab(tab, kSwitch, false);
    m_tabs.SetCurrent(tab);
    // Checking the option raises "selectchanged" as a click does: the tab's
    // page loads.
    CheckDlgButton(channel ? "Option04" : "Option01", true);
}

// ---- web views ---------------------------------------------------------------------

void CMainFrame::SetupWebView(std::string_view name, const std::string& address) {
    auto* view = m_pm.FindControl<CWkeWebkitUI>(name);
    if (view == nullptr || !IsEngineReady())
        return;
    PrepareTabView(*view, m_webCallback.get());
    if (!address.empty())
        view->Navigate(address);
}

void CMainFrame::SyncWebLogin() {
    if (m_loginSyncView == nullptr || !IsEngineReady())
        return;
    // The view keeps the engine's cookies in the per-user data folder, where
    // every view's cookies are: its pages set or clear the web login there.
    PrepareLoginSyncView(*m_loginSyncView, m_webCallback.get(), os::GetUserDataFolder());
    WriteRunLog(RunLogMarker("node"));
    WriteRunLog("wkeSetCookieJarPath success");
    WriteRunLog(RunLogMarker("node"));
    WriteRunLog("SetWkeCallback success");
    const std::string token = UserSession::Instance().SessionToken();
    if (token.empty()) {
        m_loginSyncView->Navigate(api::WebLogoutUrl());
        return;
    }
    WriteRunLog(RunLogMarker("node"));
    WriteRunLog("scanf_downloaded success");
    m_loginSyncView->Navigate(api::RefreshWebLoginUrl(token));
}

void CMainFrame::OnSelectChanged(TNotifyUI& msg) {
    // The option that was cleared reports too; only the chosen one counts.
    const auto* option = ControlCast<COptionUI>(msg.pSender);
    if (option == nullptr || !option->IsSelected())
        return;
    if (const auto choice = m_tabs.Choose(option->GetName()); choice && choice->load)
        SetupWebView(choice->tab.view, CMainTabs::PageUrl(choice->tab.index, m_homeAddress));
    // Also leaves the disconnect frame.
    SelectTab(m_tabs.Current(), kSwitch, false);
}

void CMainFrame::Retry() {
    if (m_pm.FindControl<CTabLayoutUI>(kSwitch) == nullptr)
        return;
    SelectTab(m_tabs.Current(), kSwitch, false);
    const bool loggedIn = UserSession::Instance().IsLoggedIn();
    for (const MainTab& tab : CMainTabs::All()) {
        // The user's own pages only for a user.
        const bool userTab = tab.index >= CMainTabs::kLoadOnceCount;
        SetupWebView(tab.view,
                     !userTab || loggedIn ? CMainTabs::PageUrl(tab.index, m_homeAddress) : std::string());
    }
    SyncWebLogin();
}

// ---- the account ---------------------------------------------------------------------

void CMainFrame::ShowLoggedIn() {
    // Each logged-in display asks the store anew who the user is; a fetch
    // still running for an earlier login is let go.
    m_userInfoWorker->Start(m_hWnd);
    const UserSessionValues session = UserSession::Instance().Snapshot();
    m_account->ShowLoggedIn(session.nickName, session.loginType);
    ShowUserTabs(true);
}

void CMainFrame::ShowLoggedOut() {
    m_account->ShowLoggedOut();
}

void CMainFrame::ShowUserTabs(bool show) {
    ShowWindow("Option05", show);
    ShowWindow("Option06", show);
}

void CMainFrame::OnLogout() {
    // A fetch for the user who leaves must not fill the emptied session.
    m_userInfoWorker->Stop();
    UserSession::Instance().Update([](UserSessionValues& values) { values.isMember = false; });
    ForgetLogin();
    ShowLoggedOut();
    ShowUserTabs(false);
    SelectTab(0, kSwitch, false);
    m_tabs.SetCurrent(0);
    CheckDlgButton("Option01", true);
    if (m_loginSyncView != nullptr && IsEngineReady())
        m_loginSyncView->Navigate(api::WebLogoutUrl());
}

// ---- messages -------------------------------------------------------------------------

LRESULT CMainFrame::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (HandleClientMessage(uMsg, lParam)) {
        bHandled = true;
        return 0;
    }
    return MyBaseFrame<1>::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

// The client's own messages; false for any other.
bool CMainFrame::HandleClientMessage(UINT uMsg, LPARAM lParam) {
    switch (uMsg) {
        case UM_LOGOUT:
            OnLogout();
            return true;
        case UM_LOGIN_DONE:
            ShowLoggedIn();
            return true;
        case UM_SYNC_WEB_LOGIN:
            SyncWebLogin();
            return true;
        case UM_SHOW_LOGIN:
            OnShowLogin();
            return true;
        case UM_DOWNLOAD:
            OnDownload(lParam);
            return true;
        case UM_PAGE_OK:
            return true;
        case UM_PAGE_FAILED:
            SelectTab(kDisconnectPage, kSwitch, false);
            return true;
        case UM_HIDE_LOADING:
        case UM_SHOW_LOADING:
            ShowLoading(uMsg == UM_SHOW_LOADING);
            return true;
        case UM_SHOW_INFO:
            OnShowInfo(lParam);
            return true;
        case UM_OPEN_FILE:
            OnOpenFile(lParam);
            return true;
        case UM_TOOLBOX_BUTTON:
            ShowWindow("btnToolBox", m_toolbox != nullptr && m_toolbox->IsAvailable());
            return true;
        case UM_REFRESH_DOWNLOADS:
            SetupWebView(CMainTabs::All()[CMainTabs::kDownloadsTab].view,
                         CMainTabs::PageUrl(CMainTabs::kDownloadsTab, m_homeAddress));
            return true;
        default:
            return false;
    }
}

void CMainFrame::ShowLoading(bool loading) {
    ShowWindow("loadingurl_frame", loading);
    ShowWindow(kSwitch, !loading);
}

void CMainFrame::OnShowInfo(LPARAM payload) {
    const std::unique_ptr<std::string> key = TakePayload<std::string>(payload);
    if (key != nullptr)
        ShowLangMessage(*key, m_hWnd, CMessageDlg::kStyleInformation, "");
}

void CMainFrame::OnOpenFile(LPARAM payload) {
    const std::unique_ptr<std::string> path = TakePayload<std::string>(payload);
    if (path == nullptr)
        return;
    // A document opens with the desktop's opener only, never as a program;
    // when that fails the file manager shows it (off the UI thread).
    m_fileOpener.Open(*path);
    WriteRunLog(RunLogMarker("ShellExecuteA success"));
}

void CMainFrame::OnDownload(LPARAM payload) {
    std::unique_ptr<DownloadRequest> request = TakePayload<DownloadRequest>(payload);
    if (request == nullptr)
        return;
    // One modal flow at a time: a request that comes while the login
    // dialog or a download is up would nest a second loop under it.
    if (m_modalFlow) {
        DebugPrint("download of %s dropped: a dialog is up", request->url.c_str());
        return;
    }
    if (!m_downloadHandler) {
        DebugPrint("download of %s dropped: no download component", request->url.c_str());
        return;
    }
    ModalFlowScope flow(m_modalFlow, m_alive);
    // A copy: the handler may outlive a change of it made meanwhile.
    const DownloadHandler handler = m_downloadHandler;
    handler(std::move(request));
}

void CMainFrame::OnShowLogin() {
    if (m_modalFlow) {
        DebugPrint("login request dropped: a dialog is up");
        return;
    }
    ModalFlowScope flow(m_modalFlow, m_alive);
    const std::shared_ptr<bool> alive = m_alive;
    const auto dialog = std::make_unique<CNewRegDlg>();
    if (dialog->Create(m_hWnd, "", UI_WNDSTYLE_DIALOG, 0) == nullptr)
        return;
    dialog->CenterWindow();
    dialog->ShowModal();
    // The window may have gone while the dialog ran (the program's end).
    if (!*alive || dialog->accountToken().empty())
        return;
    SaveLogin(dialog->accountToken(), dialog->accountName(), dialog->loginType());
    SendMessage(UM_LOGIN_DONE, 0, 0);
    SendMessage(UM_SYNC_WEB_LOGIN, 0, 0);
    ShowUserTabs(true);
    ShowLangMessage("LoginSuccess", m_hWnd, CMessageDlg::kStyleInformation, "");
}

// ---- clicks, pop-ups, the menu ---------------------------------------------------------

void CMainFrame::OnClick(TNotifyUI& msg) {
    const std::string name = msg.pSender != nullptr ? msg.pSender->GetName() : std::string();
    if (name == "btnClose")
        SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    else if (name == "btnMax")
        SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == "btnMin")
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == "restorebtn")
        SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    else if (name == "btnMenu")
        ShowMainMenu(msg.pSender);
    else if (name == "btnKefu")
        OpenUrl(m_hWnd, api::ServicePageUrl());
    else if (name == "btnRefresh")
        Retry();
    else if (name == "btnToolBox")
        ShowToolbox(msg.pSender);
    else if (name == "userNickname" || name == "btnLogin")
        ShowUserInfo(msg.pSender);
    else
        MyBaseFrame<1>::OnClick(msg);
}

// The screen point below `control` (window client coordinates) moved by
// (dx, dy).
POINT CMainFrame::PopupOrigin(const CControlUI* control, int dx, int dy) const {
    POINT origin{0, 0};
    ::ClientToScreen(m_hWnd, &origin);
    const RECT rc = control->GetPos();
    return POINT{origin.x + rc.left + dx, origin.y + rc.bottom + dy};
}

void CMainFrame::ShowMainMenu(const CControlUI* button) {
    const POINT at = PopupOrigin(button, 0, kMenuDy);
    ShowPopupMenu("Form_Menu.xml", &at, 1);
}

void CMainFrame::ShowToolbox(CControlUI* button) {
    if (m_toolbox == nullptr || !m_toolbox->IsAvailable())
        return;
    const POINT at = PopupOrigin(button, IsHighDpi() ? kToolboxDxHighDpi : kToolboxDx, kToolboxDy);
    m_toolbox->ShowAt(button, static_cast<int>(at.x), static_cast<int>(at.y));
}

void CMainFrame::ShowUserInfo(CControlUI* clicked) {
    const POINT at = PopupOrigin(clicked, IsHighDpi() ? kUserInfoDxHighDpi : kUserInfoDx, kUserInfoDy);
    CUserInfo::Open(clicked, at, m_picturePath);
}

void CMainFrame::ShowAbout() {
    // The box deletes itself when its window goes, also when its creation
    // fails once begun.
    auto* about = new CAboutDlg();
    if (about->Create(m_hWnd, "", 0x100, 0x100) == nullptr)
        return;
    about->CenterWindow();
    about->ShowModal();
}

void CMainFrame::ShowFeedback() {
    CWebBrowserDlg dialog(api::FeedbackPageUrl());
    // What the form hands back counts only from the store's own pages.
    dialog.SetResultOrigin(HostScheme(ServerHost::Store), StoreHost());
    const std::string title = LoadLangText("Feedback");
    if (dialog.Create(m_hWnd, title.c_str(), WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0) == nullptr)
        return;
    dialog.SetCaption(title);
    dialog.CenterWindow();
    dialog.ShowModal();
}

void CMainFrame::OnMenuCommand(WPARAM item) {
    // The menu hands its item name over in wParam; the base frees it.
    const auto* name = reinterpret_cast<const std::string*>(item);  // NOLINT(performance-no-int-to-ptr)
    if (name != nullptr && *name == "menuAbout") {
        ShowAbout();
    } else if (name != nullptr && *name == "menuUpdate") {
        // The program's icon, by its resource number (as the window's own).
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        const auto icon = reinterpret_cast<HICON>(static_cast<std::uintptr_t>(kMainIcon));
        CUpdate::Instance().CheckFromMenu(GetHWND(), icon);
    } else if (name != nullptr && *name == "menuFeedback") {
        ShowFeedback();
    }
    MyBaseFrame<1>::OnMenuCommand(item);
}

// ---- the window's life -------------------------------------------------------------------

LRESULT CMainFrame::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    // Closing the main window ends the run: the loop stops and teardown
    // destroys the window.
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        ::PostQuitMessage(0);
        bHandled = true;
        return 0;
    }
    const HWND hwnd = m_hWnd;
    const bool wasMaximised = ::IsZoomed(hwnd) != FALSE;
    const LRESULT result = MyBaseFrame<1>::OnSysCommand(uMsg, wParam, lParam, bHandled);
    if (::IsWindow(hwnd) && (::IsZoomed(hwnd) != FALSE) != wasMaximised)
        ShowMaximisedForm(!wasMaximised);
    return result;
}

void CMainFrame::ShowMaximisedForm(bool maximised) {
    ShowWindow("restorebtn", maximised);
    ShowWindow("btnMax", !maximised);
    for (const char* frame : {"disconnect_frame", "loadingurl_frame"})
        if (CControlUI* control = m_pm.FindControl(frame))
            control->SetAttribute("padding", maximised ? kMaximisedPadding : kRestoredPadding);
}

LRESULT CMainFrame::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    // Whatever took the window (its own close when the engine is missing),
    // the run has nothing left to show: the loop ends.
    ::PostQuitMessage(0);
    if (m_userInfoWorker != nullptr)
        m_userInfoWorker->StopAndWait(kUserInfoStopLimit);
    if (m_documentDeletion != nullptr)
        m_documentDeletion->StopAndWait(kDeletionStopLimit);
    return MyBaseFrame<1>::OnDestroy(uMsg, wParam, lParam, bHandled);
}

void CMainFrame::OnFinalMessage(HWND hWnd) {
    DuiLib::InstanceChannel::Instance().Withdraw(kWindowClass);
    if (g_mainFrame == this)
        g_mainFrame = nullptr;
    MyBaseFrame<1>::OnFinalMessage(hWnd);
}

#include "shell/MainFrame.h"

#include "config/OemConfig.h"
#include "platform/duilib/InstanceChannel.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/WinUser.h"
#include "toolbox/Toolbox.h"
#include "ui/ClientMessages.h"
#include "update/update.h"

#include <cstdint>
#include <string>

namespace {
// The one main window. The object deletes itself when its window is gone
// (the frames' own rule); the accessor forgets it then.
CMainFrame* g_mainFrame = nullptr;
bool g_created = false;
constexpr UINT kMainIcon = 128;
// Where the toolbox's panel opens, from the button's bottom-left corner; on a
// high-DPI main monitor the panel is wider.
constexpr int kToolboxDx = -350;
constexpr int kToolboxDxHighDpi = -755;
constexpr int kToolboxDy = 13;
constexpr int kHighDpi = 167;
}  // namespace

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame() = default;

void CMainFrame::Init() {
    MyBaseFrame<1>::Init();
    m_toolbox = std::make_unique<CToolbox>();
    ShowWindow("btnToolBox", m_toolbox->IsAvailable());
    const std::string& toolboxName = COemConfig::Instance().ToolboxName();
    m_toolbox->Init(toolboxName.empty() ? "vanto" : toolboxName, m_hWnd, UM_TOOLBOX_BUTTON);
}

LRESULT CMainFrame::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    if (uMsg == UM_TOOLBOX_BUTTON) {
        ShowWindow("btnToolBox", m_toolbox != nullptr && m_toolbox->IsAvailable());
        bHandled = true;
        return 0;
    }
    return MyBaseFrame<1>::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CMainFrame::ShowToolbox(DuiLib::CControlUI* button) {
    if (m_toolbox == nullptr || !m_toolbox->IsAvailable())
        return;
    static const int dx = DuiLib::CDPI::GetMainMonitorDPI() > kHighDpi ? kToolboxDxHighDpi : kToolboxDx;
    POINT origin{0, 0};
    ::ClientToScreen(m_hWnd, &origin);
    const RECT rc = button->GetPos();
    m_toolbox->ShowAt(button, static_cast<int>(origin.x + rc.left + dx),
                      static_cast<int>(origin.y + rc.bottom + kToolboxDy));
}

CMainFrame* CMainFrame::GetInstance() {
    if (g_created)
        return g_mainFrame;
    g_created = true;
    // Handed to the window: freed by OnFinalMessage, or here when the window
    // never came to be.
    auto* frame = new CMainFrame();
    if (frame->Create(nullptr, "墨林工坊", UI_WNDSTYLE_FRAME, 0) == nullptr) {
        delete frame;
        return nullptr;
    }
    frame->SetIcon(kMainIcon);
    g_mainFrame = frame;
    // Another start of the client finds the window through its class.
    DuiLib::InstanceChannel::Instance().Publish(kWindowClass, frame->GetHWND());
    return frame;
}

void CMainFrame::OnWindowInit() {
    MyBaseFrame<1>::OnWindowInit();
    CUpdate& update = CUpdate::Instance();
    if (!update.IsWorkerRunning())
        update.StartDailyCheck();
}

LRESULT CMainFrame::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
    // Closing the main window ends the run: the loop stops and teardown
    // destroys the window.
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        ::PostQuitMessage(0);
        bHandled = true;
        return 0;
    }
    return MyBaseFrame<1>::OnSysCommand(uMsg, wParam, lParam, bHandled);
}

void CMainFrame::OnClick(DuiLib::TNotifyUI& msg) {
    if (msg.pSender != nullptr && msg.pSender->GetName() == "btnClose") {
        SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
        return;
    }
    if (msg.pSender != nullptr && msg.pSender->GetName() == "btnToolBox") {
        ShowToolbox(msg.pSender);
        return;
    }
    MyBaseFrame<1>::OnClick(msg);
}

void CMainFrame::OnMenuCommand(WPARAM item) {
    // The menu hands its item name over in wParam; the base frees it.
    const auto* name = reinterpret_cast<const std::string*>(item);  // NOLINT(performance-no-int-to-ptr)
    if (name != nullptr && *name == "menuUpdate") {
        // The program's icon, by its resource number (as the window's own).
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        const auto icon = reinterpret_cast<HICON>(static_cast<std::uintptr_t>(kMainIcon));
        CUpdate::Instance().CheckFromMenu(GetHWND(), icon);
    }
    MyBaseFrame<1>::OnMenuCommand(item);
}

void CMainFrame::OnFinalMessage(HWND hWnd) {
    DuiLib::InstanceChannel::Instance().Withdraw(kWindowClass);
    if (g_mainFrame == this)
        g_mainFrame = nullptr;
    MyBaseFrame<1>::OnFinalMessage(hWnd);
}

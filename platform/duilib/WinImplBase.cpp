#include "platform/duilib/WinImplBase.h"

#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIManagerState.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/backend/Backend.h"
#include "platform/os/DebugPrint.h"

namespace DuiLib {

WindowImplBase::~WindowImplBase() {
    // A window still alive goes now, while its manager exists; its messages
    // no longer reach this object, whose derived parts are gone.
    DestroyWindowDetached();
    m_pm.RemovePreMessageFilter(this);
    m_pm.RemoveNotifier(this);
}

CControlUI* WindowImplBase::CreateControl(const char* /*pstrClass*/) {
    return nullptr;
}

void WindowImplBase::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_CLICK)
        OnClick(msg);
}

void WindowImplBase::OnClick(TNotifyUI& msg) {
    if (msg.pSender == nullptr)
        return;
    const std::string& name = msg.pSender->GetName();
    if (name == "closebtn")
        Close();
    else if (name == "minbtn")
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == "maxbtn")
        SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == "restorebtn")
        SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
}

bool WindowImplBase::SetDlgItemTextW(std::string_view name, std::string_view text) {
    CControlUI* control = m_pm.FindControl(name);
    if (control == nullptr)
        return false;
    control->SetText(text);
    return true;
}

std::string WindowImplBase::GetDlgItemTextW(std::string_view name) const {
    const CControlUI* control = m_pm.FindControl(name);
    return control != nullptr ? control->GetText() : std::string();
}

bool WindowImplBase::ShowWindow(const char* name, bool show) {
    CControlUI* control = name != nullptr ? m_pm.FindControl(name) : nullptr;
    if (control == nullptr)
        return false;
    control->SetVisible(show);
    return true;
}

bool WindowImplBase::EnableWindow(std::string_view name, bool enable) {
    CControlUI* control = m_pm.FindControl(name);
    if (control == nullptr)
        return false;
    control->SetEnabled(enable);
    return true;
}

bool WindowImplBase::CheckDlgButton(std::string_view name, bool checked) {
    auto* option = m_pm.FindControl<COptionUI>(name);
    if (option == nullptr)
        return false;
    option->Selected(checked);
    return true;
}

bool WindowImplBase::SetControlWidth(std::string_view name, int cx) {
    CControlUI* control = m_pm.FindControl(name);
    if (control == nullptr)
        return false;
    control->SetFixedWidth(cx);
    return true;
}

RECT WindowImplBase::GetControlRect(std::string_view name) const {
    const CControlUI* control = m_pm.FindControl(name);
    return control != nullptr ? control->GetPos() : RECT{};
}

bool WindowImplBase::SetFocus(std::string_view name) {
    CControlUI* control = m_pm.FindControl(name);
    if (control == nullptr)
        return false;
    control->SetFocus();
    return true;
}

void WindowImplBase::FadeInOut(int ms, DWORD mode) {
    if (!::IsWindow(m_hWnd))
        return;
    // The state changes now; a display fades the look over `ms`.
    if ((mode & AW_BLEND) != 0 && ms > 0)
        GetBackend().WindowFadeNext(m_hWnd, ms);
    if ((mode & AW_HIDE) != 0)
        ::ShowWindow(m_hWnd, SW_HIDE);
    else
        ::ShowWindow(m_hWnd, (mode & AW_ACTIVATE) != 0 ? SW_SHOW : SW_SHOWNOACTIVATE);
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM /*lParam*/, bool& bHandled) {
    if (uMsg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
        const LRESULT result = ResponseDefaultKeyEvent(wParam);
        bHandled = result != FALSE;
        return result;
    }
    return FALSE;
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam != VK_ESCAPE)
        return FALSE;
    // Escape does what the window's close button does, through the click's
    // own path, so each window keeps its own idea of closing (a message
    // box's answer, a download's stop). Without a usable close button the
    // window stays.
    for (const char* name : {"closebtn", "btnClose"}) {
        CControlUI* button = m_pm.FindControl(name);
        if (button != nullptr && ControlCast<CButtonUI>(button) != nullptr && button->IsVisible() &&
            button->IsEnabled()) {
            button->Activate();
            break;
        }
    }
    return TRUE;
}

LRESULT WindowImplBase::OnCreate(UINT /*uMsg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, bool& /*bHandled*/) {
    // The skin draws the frame: no caption, children clipped.
    const long style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
    ::SetWindowLongW(
        m_hWnd, GWL_STYLE,
        (style & ~static_cast<long>(WS_CAPTION)) | static_cast<long>(WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    m_pm.Init(m_hWnd, GetSkinFile());
    m_pm.AddPreMessageFilter(this);
    if (GetResourceType() == UILIB_FILE) {
        const std::string folder = GetSkinFolder();
        if (!folder.empty())
            CPaintManagerUI::SetResourcePath(folder);
    }
    CDialogBuilder builder;
    return AttachLayout(builder.Create(GetSkinFile(), {}, this, &m_pm));
}

LRESULT WindowImplBase::AttachLayout(CControlUI* root) {
    if (root == nullptr) {
        // A window without its layout cannot be used: creation fails and the
        // caller sees a null window instead of an empty one.
        DebugPrint("layout cannot be built: %s", GetSkinFile().c_str());
        return -1;
    }
    m_pm.AttachDialog(root);
    m_pm.AddNotifier(this);
    // The layout's size grows with the window's scale, as its lengths do.
    const SIZE size = m_pm.GetDPIObj().Scale(m_pm.GetInitSize());
    if (size.cx > 0 && size.cy > 0)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Init();
    return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
    if (::IsIconic(m_hWnd))
        bHandled = false;
    return wParam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM, LPARAM, bool&) {
    return 0;
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, bool&) {
    return 0;
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, bool&) {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ScreenToClient(m_hWnd, &pt);
    RECT client;
    if (!::GetClientRect(m_hWnd, &client))
        return HTNOWHERE;
    CDPI& dpi = m_pm.GetDPIObj();
    // The sizing edges: a maximised window has none.
    if (!::IsZoomed(m_hWnd)) {
        const RECT box = dpi.Scale(m_pm.GetSizeBox());
        const bool left = pt.x < client.left + box.left;
        const bool right = pt.x >= client.right - box.right;
        if (pt.y < client.top + box.top)
            return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
        if (pt.y >= client.bottom - box.bottom)
            return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
        if (left)
            return HTLEFT;
        if (right)
            return HTRIGHT;
    }
    // The caption band (its right and bottom are kept from the right edge
    // and from the top): dragging it moves the window, unless the point is
    // on a control that takes the click itself.
    const RECT caption = dpi.Scale(m_pm.GetCaptionRect());
    if (pt.x >= client.left + caption.left && pt.x < client.right - caption.right && pt.y >= caption.top &&
        pt.y < caption.bottom) {
        if (m_pm.IsUpdateNeeded())
            m_pm.UpdateLayout();
        CControlUI* target = FindClickTarget(m_pm, pt);
        const bool takesClick =
            target != nullptr &&
            (target->GetInterface("Button") != nullptr || target->GetInterface("Edit") != nullptr ||
             target->GetInterface("ListItem") != nullptr || target->GetInterface("Text") != nullptr);
        if (target != nullptr && !takesClick)
            return HTCAPTION;
    }
    return HTCLIENT;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnMouseWheel(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnChar(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& /*bHandled*/) {
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        SendMessage(WM_CLOSE, 0, 0);
        return 0;
    }
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnLButtonDown(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnLButtonUp(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnMouseMove(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnTimer(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::OnDPIChanged(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT lRes = 0;
    bool bHandled = true;
    switch (uMsg) {
        case WM_CREATE:
            lRes = OnCreate(uMsg, wParam, lParam, bHandled);
            break;
        case WM_CLOSE:
            lRes = OnClose(uMsg, wParam, lParam, bHandled);
            break;
        case WM_DESTROY:
            lRes = OnDestroy(uMsg, wParam, lParam, bHandled);
            break;
        case WM_NCACTIVATE:
            lRes = OnNcActivate(uMsg, wParam, lParam, bHandled);
            break;
        case WM_NCCALCSIZE:
            lRes = OnNcCalcSize(uMsg, wParam, lParam, bHandled);
            break;
        case WM_NCPAINT:
            lRes = OnNcPaint(uMsg, wParam, lParam, bHandled);
            break;
        case WM_NCHITTEST:
            lRes = OnNcHitTest(uMsg, wParam, lParam, bHandled);
            break;
        case WM_GETMINMAXINFO:
            lRes = OnGetMinMaxInfo(uMsg, wParam, lParam, bHandled);
            break;
        case WM_MOUSEWHEEL:
            lRes = OnMouseWheel(uMsg, wParam, lParam, bHandled);
            break;
        case WM_SIZE:
            lRes = OnSize(uMsg, wParam, lParam, bHandled);
            break;
        case WM_CHAR:
            lRes = OnChar(uMsg, wParam, lParam, bHandled);
            break;
        case WM_SYSCOMMAND:
            lRes = OnSysCommand(uMsg, wParam, lParam, bHandled);
            break;
        case WM_KEYDOWN:
            lRes = OnKeyDown(uMsg, wParam, lParam, bHandled);
            break;
        case WM_KILLFOCUS:
            lRes = OnKillFocus(uMsg, wParam, lParam, bHandled);
            break;
        case WM_SETFOCUS:
            lRes = OnSetFocus(uMsg, wParam, lParam, bHandled);
            break;
        case WM_LBUTTONUP:
            lRes = OnLButtonUp(uMsg, wParam, lParam, bHandled);
            break;
        case WM_LBUTTONDOWN:
            lRes = OnLButtonDown(uMsg, wParam, lParam, bHandled);
            break;
        case WM_MOUSEMOVE:
            lRes = OnMouseMove(uMsg, wParam, lParam, bHandled);
            break;
        case WM_TIMER:
            lRes = OnTimer(uMsg, wParam, lParam, bHandled);
            break;
        case WM_DPICHANGED:
            lRes = OnDPIChanged(uMsg, wParam, lParam, bHandled);
            break;
        default:
            bHandled = false;
            break;
    }
    if (bHandled)
        return lRes;
    lRes = HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    if (bHandled)
        return lRes;
    if (m_pm.MessageHandler(uMsg, wParam, lParam, lRes))
        return lRes;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void WindowImplBase::OnFinalMessage(HWND /*hWnd*/) {
    m_pm.RemovePreMessageFilter(this);
    m_pm.RemoveNotifier(this);
}

}  // namespace DuiLib

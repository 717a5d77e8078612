#include "account/UserInfo.h"

#include <memory>
#include <utility>

#include "account/HeadPicture.h"
#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UILabel.h"
#include "platform/duilib/WinUser.h"
#include "ui/ClientMessages.h"

using namespace DuiLib;

namespace {

constexpr const char* kNotMemberText = "未开通会员";
constexpr const char* kLoggedOutText = "登录后可获得更多功能";
constexpr const char* kCopiedKey = "CopyClipboard";

void SetVisible(CControlUI* control, bool visible) {
    if (control != nullptr) {
        control->SetVisible(visible);
    }
}

}  // namespace

CUserInfo::CUserInfo(CControlUI* clicked, POINT position, std::string picturePath, UserSession& session)
    : CFloatWnd(clicked, position), m_picturePath(std::move(picturePath)), m_session(session) {}

HWND CUserInfo::Open(CControlUI* clicked, POINT position, std::string picturePath, UserSession& session) {
    const HWND owner = clicked != nullptr && clicked->GetManager() != nullptr
                           ? clicked->GetManager()->GetPaintWindow()
                           : nullptr;
    if (!::IsWindow(owner)) {
        return nullptr;
    }
    // Handed to its window, which deletes it in its final message; a window
    // that never got as far as its creation leaves it here.
    auto* popup = new CUserInfo(clicked, position, std::move(picturePath), session);
    popup->m_mainWnd = owner;
    bool createSeen = false;
    popup->m_createSeen = &createSeen;
    const HWND hwnd = popup->Create(owner, "", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    if (hwnd == nullptr) {
        if (!createSeen) {
            delete popup;
        }
        return nullptr;
    }
    popup->m_createSeen = nullptr;
    popup->ShowWindow(true, true);
    // The main window keeps its active title bar while the pop-up has the
    // focus.
    HWND top = hwnd;
    for (HWND up = ::GetParent(hwnd); up != nullptr; up = ::GetParent(up)) {
        top = up;
    }
    ::SendMessageW(top, WM_NCACTIVATE, TRUE, 0);
    popup->Fill();
    return hwnd;
}

LRESULT CUserInfo::OnCreate() {
    if (m_createSeen != nullptr) {
        *m_createSeen = true;
    }
    if (!BuildLayout(kLayout)) {
        return -1;
    }
    m_loginPanel = m_pm.FindControl("UserInfoLogin");
    m_account = m_pm.FindControl("UserInfoAccount");
    m_defaultPic = m_pm.FindControl("UserInfo_defaultPic");
    m_pic = m_pm.FindControl("UserInfo_Pic");
    m_vipBadge = m_pm.FindControl("pic_vip");
    m_vipText = m_pm.FindControl<CLabelUI>("text_vip");
    m_loginButton = m_pm.FindControl("btnLogin");
    return 0;
}

void CUserInfo::Fill() {
    const UserSessionValues values = m_session.Snapshot();
    if (values.sessionToken.empty()) {
        FillLoggedOut();
    } else {
        FillLoggedIn(values);
    }
}

void CUserInfo::FillLoggedIn(const UserSessionValues& values) {
    SetVisible(m_loginPanel, true);
    if (m_account != nullptr) {
        m_account->SetText(values.nickName);
    }
    // Only a picture that is a file of its own is shown: a link or a FIFO
    // planted at the path is not read by the painter.
    if (m_pic != nullptr && HeadPicture::IsShowable(m_picturePath)) {
        m_pic->SetBkImage("file='" + m_picturePath + "' restype='fullpath'");
        SetVisible(m_defaultPic, false);
        SetVisible(m_pic, true);
    }
    if (m_vipText != nullptr) {
        if (values.isMember) {
            m_vipText->SetText(values.stopTime);
            m_vipText->SetTextColor(kMemberTextColor);
        } else {
            m_vipText->SetText(kNotMemberText);
        }
    }
    SetVisible(m_vipBadge, values.isMember);
    SetVisible(m_loginButton, false);
}

void CUserInfo::FillLoggedOut() {
    SetVisible(m_loginPanel, false);
    if (m_vipText != nullptr) {
        m_vipText->SetText(kLoggedOutText);
    }
    SetVisible(m_loginButton, true);
    // The logout row below the invitation is left out of sight; the corner
    // stays where the main window put it.
    const SIZE size = CDPI::GetMainMonitorDPI() >= kHighDpi ? kLoggedOutSizeHighDpi : kLoggedOutSize;
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, static_cast<int>(size.cx), static_cast<int>(size.cy),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CUserInfo::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender != nullptr) {
        OnClick(msg.pSender->GetName());
        return;
    }
    CFloatWnd::Notify(msg);
}

void CUserInfo::OnClick(const std::string& name) {
    const HWND self = m_hWnd;
    if (name == "UserInfoCopyAccount") {
        if (CopyUserId()) {
            DuiLib::PostOwned(m_mainWnd, UM_SHOW_INFO, 0, std::make_unique<std::string>(kCopiedKey));
        }
    } else if (name == "UserInfoUnLogin") {
        // The main window forgets the login while this waits; it may take
        // this pop-up with it.
        ::SendMessageW(m_mainWnd, UM_LOGOUT, 0, 0);
    } else if (name == "btnLogin") {
        ::PostMessageW(m_mainWnd, UM_SHOW_LOGIN, 0, 0);
    } else {
        return;
    }
    // An entry used ends the pop-up: what it shows is over.
    if (::IsWindow(self)) {
        ::PostMessageW(self, WM_CLOSE, 1, 0);
    }
}

bool CUserInfo::CopyUserId() const {
    return DuiLib::SetClipboardText(m_session.Snapshot().userId);
}

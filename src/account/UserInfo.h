#pragma once
// CUserInfo: the account pop-up the main window opens below its account area
// ("userNickname" when logged in, "btnLogin" when not). Logged in it shows
// the account name, the picture, the membership (the badge and the period's
// end, or "未开通会员") and the entries "复制ID" and "退出登录"; logged out it
// invites the user to log in ("立即登录") and shrinks so that the logout row
// is out of sight. It reads the session when it opens; a fetch finishing
// while it is up shows at the next opening.
//
// What it tells the main window (src/ui/ClientMessages.h):
//   "复制ID"    the user number goes to the clipboard; then UM_SHOW_INFO is
//               posted with lParam a heap std::string "CopyClipboard"
//               (DuiLib::PostOwned: the main window owns it once delivered)
//   "退出登录"  UM_LOGOUT is sent
//   "立即登录"  UM_SHOW_LOGIN is posted
// Each entry ends the pop-up. The pop-up belongs to nobody: it deletes itself
// when its window is gone (losing the focus, Escape, an entry used).

#include <string>
#include <string_view>

#include "account/UserSession.h"
#include "ui/FloatWnd.h"

namespace DuiLib {
class CLabelUI;
}

class CUserInfo : public CFloatWnd {
  public:
    static constexpr std::string_view kLayout = "Form_user_info.xml";
    // The logged-out size, and the size on a main monitor of at least
    // kHighDpi DPI.
    static constexpr SIZE kLoggedOutSize{260, 220};
    static constexpr SIZE kLoggedOutSizeHighDpi{520, 440};
    static constexpr int kHighDpi = 168;
    static constexpr DWORD kMemberTextColor = 0xC2C2C2;

    // Opens the pop-up for `clicked`, a control of the main window, with its
    // top-left corner at `position` (screen coordinates, computed by the main
    // window): a borderless top-most tool pop-up owned by the clicked
    // control's window, which receives its messages; shown with the focus,
    // the top-level owner is sent WM_NCACTIVATE(TRUE) so that it keeps its
    // active look, then the controls are filled from `session` and the
    // picture at `picturePath`. Null when `clicked` has no window or the
    // pop-up cannot be built. UI thread.
    static HWND Open(DuiLib::CControlUI* clicked, POINT position, std::string picturePath,
                     UserSession& session = UserSession::Instance());

    const char* GetWindowClassName() const override { return "VANTODialogClass"; }
    void Notify(DuiLib::TNotifyUI& msg) override;

  protected:
    LRESULT OnCreate() override;

  private:
    CUserInfo(DuiLib::CControlUI* clicked, POINT position, std::string picturePath, UserSession& session);

    void Fill();
    void FillLoggedIn(const UserSessionValues& values);
    void FillLoggedOut();
    void OnClick(const std::string& name);
    // Puts the user number on the clipboard; true when that succeeded.
    bool CopyUserId() const;

    HWND m_mainWnd = nullptr;  // the clicked control's window: the main window
    std::string m_picturePath;
    UserSession& m_session;
    bool* m_createSeen = nullptr;  // set while Open waits for the creation

    // The controls the pop-up drives, resolved once after the layout is built.
    DuiLib::CControlUI* m_loginPanel = nullptr;   // "UserInfoLogin"
    DuiLib::CControlUI* m_account = nullptr;      // "UserInfoAccount"
    DuiLib::CControlUI* m_defaultPic = nullptr;   // "UserInfo_defaultPic"
    DuiLib::CControlUI* m_pic = nullptr;          // "UserInfo_Pic"
    DuiLib::CControlUI* m_vipBadge = nullptr;     // "pic_vip"
    DuiLib::CLabelUI* m_vipText = nullptr;        // "text_vip"
    DuiLib::CControlUI* m_loginButton = nullptr;  // "btnLogin"
};

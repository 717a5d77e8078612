#pragma once
// The account area of the main window's title bar: "登录 / 注册" while
// nobody is logged in, else the nickname with the login kind's icon and an
// arrow, in a width measured from the nickname. The controls are resolved
// once from the window's layout; a control the layout lacks is skipped. UI
// thread.

#include "platform/duilib/UIManager.h"

#include <string>
#include <string_view>

namespace DuiLib {
class CTabLayoutUI;
}

class CAccountArea {
  public:
    // The widths of the logged-out area.
    static constexpr int kLoggedOutAreaWidth = 145;
    static constexpr int kLoggedOutNicknameWidth = 80;
    // The service button beside the nickname.
    static constexpr int kServiceButtonWidth = 65;
    // The layout font the nickname is drawn and measured in.
    static constexpr int kNicknameFont = 5;

    explicit CAccountArea(DuiLib::CPaintManagerUI& pm);

    // The nickname in the logged-in form, its width and the icon of
    // `loginType` (2 QQ, 3 WeChat, any other the phone).
    void ShowLoggedIn(std::string_view nickname, int loginType);
    void ShowLoggedOut();

    // The width of the nickname's layout for a nickname `textWidth` pixels
    // wide at the window's scale `scalePercent`: 38 pixels more, a fifth
    // more again at 200 %, in the layout's unscaled units.
    static int NicknameWidth(int textWidth, int scalePercent, const DuiLib::CDPI& dpi);
    // "pic_login_qq", "pic_login_wechat" or "pic_login_tel".
    static std::string_view LoginKindIcon(int loginType);
    // The label markup: the nickname in font 5, 6 pixels, the arrow.
    static std::string NicknameMarkup(std::string_view nickname);
    // An image of the icon's strip: state 0 normal, 1 hot, 2 pushed.
    static std::string NicknameImage(std::string_view icon, int state);

  private:
    int MeasureNickname(std::string_view nickname) const;

    DuiLib::CPaintManagerUI& m_pm;
    DuiLib::CControlUI* m_area;
    DuiLib::CControlUI* m_nicknameLayout;
    DuiLib::CTabLayoutUI* m_pages;
    DuiLib::CControlUI* m_nickname;
};

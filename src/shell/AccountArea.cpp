#include "shell/AccountArea.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIRender.h"

#include <array>

using namespace DuiLib;

namespace {

// The nickname's own room beside its text: the icon and the arrow.
constexpr int kNicknameExtra = 38;
constexpr int kDoubleScale = 200;
// "tabUser": page 0 logged out, page 1 logged in.
constexpr int kLoggedOutPage = 0;
constexpr int kLoggedInPage = 1;

}  // namespace

CAccountArea::CAccountArea(CPaintManagerUI& pm)
    : m_pm(pm),
      m_area(pm.FindControl("Layout_nameandkefu")),
      m_nicknameLayout(pm.FindControl("LayoutNickname")),
      m_pages(pm.FindControl<CTabLayoutUI>("tabUser")),
      m_nickname(pm.FindControl("userNickname")) {}

int CAccountArea::NicknameWidth(int textWidth, int scalePercent, const CDPI& dpi) {
    int width = textWidth + kNicknameExtra;
    // At 200 % the measured text falls short of the drawn one.
    if (scalePercent == kDoubleScale)
        width = static_cast<int>(width * 1.2);
    return dpi.ScaleBack(width);
}

std::string_view CAccountArea::LoginKindIcon(int loginType) {
    switch (loginType) {
        case 2:
            return "pic_login_qq";
        case 3:
            return "pic_login_wechat";
        default:
            return "pic_login_tel";
    }
}

std::string CAccountArea::NicknameMarkup(std::string_view nickname) {
    return "{f 5}" + std::string(nickname) + "{/f}{x 6}{i images/arrow.png}";
}

std::string CAccountArea::NicknameImage(std::string_view icon, int state) {
    static constexpr std::array<std::string_view, 3> kSources{"source='0,0,28,28'", "source='28,0,56,28'",
                                                              "source='56,0,84,28'"};
    return "file='../default/button/" + std::string(icon) + ".png' dest='0,5,28,33' " +
           std::string(kSources.at(static_cast<std::size_t>(state)));
}

// The nickname's width in font 5 at the window's scale, as the label draws it.
int CAccountArea::MeasureNickname(std::string_view nickname) const {
    TFontInfo font = m_pm.GetFont(kNicknameFont);
    font.size = m_pm.GetDPIObj().Scale(font.size);
    return static_cast<int>(MeasureText(font, nickname).cx);
}

void CAccountArea::ShowLoggedIn(std::string_view nickname, int loginType) {
    CDPI& dpi = m_pm.GetDPIObj();
    const int width = NicknameWidth(MeasureNickname(nickname), dpi.GetScale(), dpi);
    const std::string_view icon = LoginKindIcon(loginType);
    if (m_nickname != nullptr) {
        m_nickname->SetText(NicknameMarkup(nickname));
        m_nickname->SetAttribute("normalimage", NicknameImage(icon, 0));
        m_nickname->SetAttribute("hotimage", NicknameImage(icon, 1));
        m_nickname->SetAttribute("pushimage", NicknameImage(icon, 2));
    }
    if (m_area != nullptr)
        m_area->SetFixedWidth(width + kServiceButtonWidth);
    if (m_nicknameLayout != nullptr)
        m_nicknameLayout->SetFixedWidth(width);
    if (m_pages != nullptr)
        m_pages->SelectItem(kLoggedInPage);
}

void CAccountArea::ShowLoggedOut() {
    if (m_area != nullptr)
        m_area->SetFixedWidth(kLoggedOutAreaWidth);
    if (m_nicknameLayout != nullptr)
        m_nicknameLayout->SetFixedWidth(kLoggedOutNicknameWidth);
    if (m_nickname != nullptr)
        m_nickname->SetText("");
    if (m_pages != nullptr)
        m_pages->SelectItem(kLoggedOutPage);
}

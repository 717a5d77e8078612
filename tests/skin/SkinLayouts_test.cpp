// Every layout of the built-in skin, built from the embedded archive as the
// client's windows build them: the controls the client drives exist with the
// kind it casts them to, and the sizes, texts and start states its code
// relies on are there.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "SkinFixture.h"
#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UILabel.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIProgress.h"

namespace {

using DuiLib::CButtonUI;
using DuiLib::CContainerUI;
using DuiLib::CControlUI;
using DuiLib::CDialogBuilder;
using DuiLib::CEditUI;
using DuiLib::CLabelUI;
using DuiLib::COptionUI;
using DuiLib::CProgressUI;
using DuiLib::CTabLayoutUI;
using skintest::BuiltLayout;
using skintest::SkinTest;

std::string Describe(const RECT& rc) {
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) + "," +
           std::to_string(rc.bottom);
}

// Every control name the client's code looks up, with the kind of the
// element it must be (the class the code casts the lookup to).
struct NamedControl {
    const char* layout;
    const char* name;
    const char* kind;
};

const NamedControl kClientControls[] = {
    {"Form_Main.xml", "text_title", "Label"},
    {"Form_Main.xml", "btnToolBox", "Button"},
    {"Form_Main.xml", "Layout_nameandkefu", "HorizontalLayout"},
    {"Form_Main.xml", "LayoutNickname", "HorizontalLayout"},
    {"Form_Main.xml", "tabUser", "TabLayout"},
    {"Form_Main.xml", "btnLogin", "Button"},
    {"Form_Main.xml", "userNickname", "Button"},
    {"Form_Main.xml", "btnKefu", "Button"},
    {"Form_Main.xml", "btnMenu", "Button"},
    {"Form_Main.xml", "btnMin", "Button"},
    {"Form_Main.xml", "btnMax", "Button"},
    {"Form_Main.xml", "restorebtn", "Button"},
    {"Form_Main.xml", "btnClose", "Button"},
    {"Form_Main.xml", "Option01", "Option"},
    {"Form_Main.xml", "Option02", "Option"},
    {"Form_Main.xml", "Option03", "Option"},
    {"Form_Main.xml", "Option04", "Option"},
    {"Form_Main.xml", "Option05", "Option"},
    {"Form_Main.xml", "Option06", "Option"},
    {"Form_Main.xml", "switch", "TabLayout"},
    {"Form_Main.xml", "web_opt01", "WkeWebkit"},
    {"Form_Main.xml", "web_opt02", "WkeWebkit"},
    {"Form_Main.xml", "web_opt03", "WkeWebkit"},
    {"Form_Main.xml", "web_opt04", "WkeWebkit"},
    {"Form_Main.xml", "web_opt05", "WkeWebkit"},
    {"Form_Main.xml", "web_opt06", "WkeWebkit"},
    {"Form_Main.xml", "web_register2client", "WkeWebkit"},
    {"Form_Main.xml", "loadingurl_frame", "VerticalLayout"},
    {"Form_Main.xml", "disconnect_frame", "VerticalLayout"},
    {"Form_Main.xml", "btnRefresh", "Button"},
    {"Form_Menu.xml", "menuUpdate", "MenuElement"},
    {"Form_Menu.xml", "menuFeedback", "MenuElement"},
    {"Form_Menu.xml", "menuAbout", "MenuElement"},
    {"Form_user_info.xml", "UserInfoLogin", "HorizontalLayout"},
    {"Form_user_info.xml", "UserInfoAccount", "Label"},
    {"Form_user_info.xml", "UserInfo_Pic", "Control"},
    {"Form_user_info.xml", "UserInfo_defaultPic", "Control"},
    {"Form_user_info.xml", "text_vip", "Label"},
    {"Form_user_info.xml", "pic_vip", "Control"},
    {"Form_user_info.xml", "btnLogin", "Button"},
    {"Form_user_info.xml", "UserInfoCopyAccount", "Button"},
    {"Form_user_info.xml", "UserInfoUnLogin", "Button"},
    {"dlg_about.xml", "LabelVersion", "Label"},
    {"dlg_about.xml", "labelSite", "Label"},
    {"dlg_about.xml", "buttonSite", "Button"},
    {"dlg_about.xml", "CompanyName", "Label"},
    {"dlg_about.xml", "btnClose", "Button"},
    {"dlg_message.xml", "caption", "Label"},
    {"dlg_message.xml", "context", "Text"},
    {"dlg_message.xml", "infoLogo", "Control"},
    {"dlg_message.xml", "errorLogo", "Control"},
    {"dlg_message.xml", "warnLogo", "Control"},
    {"dlg_message.xml", "btnLeft", "Button"},
    {"dlg_message.xml", "btnYes", "Button"},
    {"dlg_message.xml", "btnClose", "Button"},
    {"dlg_download.xml", "caption", "Label"},
    {"dlg_download.xml", "btnClose", "Button"},
    {"dlg_download.xml", "download_title", "Label"},
    {"dlg_download.xml", "text_download_name", "Label"},
    {"dlg_download.xml", "progress_download", "Progress"},
    {"dlg_download.xml", "btn_stop_download", "Button"},
    {"dlg_download.xml", "btn_open_file", "Button"},
    {"dlg_reg.xml", "btnClose", "Button"},
    {"dlg_reg.xml", "userMobile", "Edit"},
    {"dlg_reg.xml", "verifyCode", "Edit"},
    {"dlg_reg.xml", "btnSendVeryfyCode", "Button"},
    {"dlg_reg.xml", "btnMobileLogin", "Button"},
    {"dlg_reg.xml", "btnWeChat", "Button"},
    {"dlg_reg.xml", "btnQQ", "Button"},
    {"dlg_reg.xml", "frame_protocol", "HorizontalLayout"},
    {"dlg_reg.xml", "btn_service_protocol", "Button"},
    {"dlg_reg.xml", "btn_secret_protocol", "Button"},
    {"dlg_webbrowser.xml", "caption", "Label"},
    {"dlg_webbrowser.xml", "btnClose", "Button"},
    {"dlg_webbrowser.xml", "step", "TabLayout"},
    {"dlg_webbrowser.xml", "ie", "WkeWebkit"},
    {"dlg_webbrowser.xml", "btnRefresh", "Button"},
};

TEST_F(SkinTest, EveryControlTheClientLooksUpExistsWithItsKind) {
    std::map<std::string, BuiltLayout> built;
    for (const NamedControl& expected : kClientControls) {
        auto it = built.find(expected.layout);
        if (it == built.end()) {
            it = built.emplace(expected.layout, Build(expected.layout)).first;
            ASSERT_NE(it->second.root, nullptr) << expected.layout;
        }
        CControlUI* control = it->second.Find(expected.name);
        ASSERT_NE(control, nullptr) << expected.layout << ": " << expected.name;
        EXPECT_EQ(control->GetClass(), expected.kind) << expected.layout << ": " << expected.name;
    }
}

// A second control of the same name would hide itself behind the first one
// that a lookup finds.
TEST_F(SkinTest, NoLayoutNamesTwoControlsAlike) {
    for (const skintest::LayoutInfo& info : skintest::AllLayouts()) {
        BuiltLayout layout = Build(info.file);
        ASSERT_NE(layout.root, nullptr) << info.file;
        std::map<std::string, int> names;
        layout.root->ForEach([&names](CControlUI* control) {
            if (!control->GetName().empty()) {
                ++names[control->GetName()];
            }
        });
        for (const auto& [name, count] : names) {
            EXPECT_EQ(count, 1) << info.file << ": " << name;
        }
    }
}

struct WindowShape {
    const char* layout;
    int width;
    int height;
    int caption;     // height of the caption band, 0: not fixed
    int corner;      // corner radius, -1: not fixed
    int shadowSize;  // 0: no shadow required
    bool shadowImage;
};

TEST_F(SkinTest, WindowsHaveTheirSizesCaptionsCornersAndShadows) {
    const WindowShape shapes[] = {
        {"Form_Main.xml", 870, 578, 38, -1, 0, false},      {"dlg_reg.xml", 408, 480, 30, 20, 5, false},
        {"Form_user_info.xml", 260, 255, 0, -1, 18, true},  {"dlg_download.xml", 470, 185, 38, -1, 0, false},
        {"dlg_webbrowser.xml", 750, 560, 32, -1, 5, false},
    };
    for (const WindowShape& shape : shapes) {
        SCOPED_TRACE(shape.layout);
        BuiltLayout layout = Build(shape.layout);
        ASSERT_NE(layout.root, nullptr);
        EXPECT_EQ(layout.manager->GetInitSize().cx, shape.width);
        EXPECT_EQ(layout.manager->GetInitSize().cy, shape.height);
        if (shape.caption != 0) {
            EXPECT_EQ(layout.manager->GetCaptionRect().bottom, shape.caption);
        }
        if (shape.corner >= 0) {
            EXPECT_EQ(layout.manager->GetRoundCorner().cx, shape.corner);
            EXPECT_EQ(layout.manager->GetRoundCorner().cy, shape.corner);
        }
        if (shape.shadowSize != 0) {
            EXPECT_TRUE(layout.manager->IsShadowEnabled());
            EXPECT_EQ(layout.manager->GetShadowSize(), shape.shadowSize);
        }
        EXPECT_EQ(!layout.manager->GetShadowImage().empty(), shape.shadowImage);
    }
    // The main window can be resized by its border.
    BuiltLayout main = Build("Form_Main.xml");
    const RECT sizeBox = main.manager->GetSizeBox();
    EXPECT_GT(sizeBox.left, 0);
    EXPECT_GT(sizeBox.top, 0);
    EXPECT_GT(sizeBox.right, 0);
    EXPECT_GT(sizeBox.bottom, 0);
}

// Placed in a window of its own size, nothing visible sticks out of the
// window or comes out inside-out: a layout whose parts do not add up would.
TEST_F(SkinTest, EveryVisibleControlFitsInsideItsWindow) {
    for (const skintest::LayoutInfo& info : skintest::AllLayouts()) {
        SCOPED_TRACE(info.file);
        BuiltLayout layout = Build(info.file);
        ASSERT_NE(layout.root, nullptr);
        EXPECT_EQ(layout.manager->GetInitSize().cx, info.width);
        EXPECT_EQ(layout.manager->GetInitSize().cy, info.height);
        layout.Place();
        layout.root->ForEach([&info](CControlUI* control) {
            if (!control->IsVisible()) {
                return;
            }
            const RECT rc = control->GetPos();
            const std::string what =
                control->GetName() + " [" + std::string(control->GetClass()) + "] at " + Describe(rc);
            EXPECT_LE(rc.left, rc.right) << what;
            EXPECT_LE(rc.top, rc.bottom) << what;
            EXPECT_GE(rc.left, 0) << what;
            EXPECT_GE(rc.top, 0) << what;
            EXPECT_LE(rc.right, info.width) << what;
            EXPECT_LE(rc.bottom, info.height) << what;
        });
    }
}

TEST_F(SkinTest, EveryImageOfEveryLayoutLoadsFromTheArchive) {
    std::size_t images = 0;
    for (const skintest::LayoutInfo& info : skintest::AllLayouts()) {
        BuiltLayout layout = Build(info.file);
        ASSERT_NE(layout.root, nullptr) << info.file;
        images += CDialogBuilder::ListImages(layout.root, layout.manager.get()).size();
        for (const DuiLib::TImageReference& missing :
             CDialogBuilder::FindMissingImages(layout.root, layout.manager.get())) {
            ADD_FAILURE() << info.file << ": " << (missing.control ? missing.control->GetName() : "window")
                          << " " << missing.attribute << " -> " << missing.file;
        }
    }
    EXPECT_GT(images, 50u);
}

// ---- the main window ------------------------------------------------------

TEST_F(SkinTest, MainWindowStartsInItsMaximisedForm) {
    BuiltLayout main = Build("Form_Main.xml");
    ASSERT_NE(main.root, nullptr);
    ASSERT_NE(main.Find("restorebtn"), nullptr);
    ASSERT_NE(main.Find("btnMax"), nullptr);
    EXPECT_TRUE(main.Find("restorebtn")->IsOwnVisible());
    EXPECT_FALSE(main.Find("btnMax")->IsOwnVisible());
    for (const char* frame : {"disconnect_frame", "loadingurl_frame"}) {
        CControlUI* control = main.Find(frame);
        ASSERT_NE(control, nullptr) << frame;
        EXPECT_EQ(control->GetAttribute("padding"), "500,200,0,0") << frame;
        EXPECT_TRUE(control->GetPadding() == (RECT{500, 200, 0, 0}))
            << frame << " " << Describe(control->GetPadding());
    }
    // The account area starts in the logged-out display's widths.
    EXPECT_EQ(main.Find("Layout_nameandkefu")->GetFixedWidth(), 145);
    EXPECT_EQ(main.Find("LayoutNickname")->GetFixedWidth(), 80);
    EXPECT_EQ(main.manager->GetFont(5).id, 5);
    EXPECT_EQ(main.manager->GetFont(5).size, 14);
    auto* title = main.FindAs<CLabelUI>("text_title", "Label");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->GetText(), "墨林工坊 - 模板素材大全");
}

// The page-lost and loading frames, shown with the maximised paddings even in
// a window of the layout's own size, keep their content inside the window.
TEST_F(SkinTest, MainWindowFramesFitWithTheirPaddings) {
    BuiltLayout main = Build("Form_Main.xml");
    auto* tabs = main.FindAs<CTabLayoutUI>("switch", "TabLayout");
    ASSERT_NE(tabs, nullptr);
    ASSERT_TRUE(tabs->SelectItem(7));
    main.Place();
    const RECT retry = main.Find("btnRefresh")->GetPos();
    EXPECT_TRUE(main.Find("btnRefresh")->IsVisible());
    EXPECT_GT(retry.right, retry.left);
    EXPECT_LE(retry.right, 870);
    EXPECT_LE(retry.bottom, 578);

    main.Find("switch")->SetVisible(false);
    main.Find("loadingurl_frame")->SetVisible(true);
    main.Place();
    main.Find("loadingurl_frame")->ForEach([](CControlUI* control) {
        const RECT rc = control->GetPos();
        EXPECT_LE(rc.right, 870) << control->GetClass();
        EXPECT_LE(rc.bottom, 578) << control->GetClass();
        EXPECT_GE(rc.left, 132 + 500) << control->GetClass();  // the tab column, then the padding
    });
}

TEST_F(SkinTest, MainWindowTabOptionsStandInTheirColumnAsOneGroupNoneChosen) {
    BuiltLayout main = Build("Form_Main.xml");
    ASSERT_NE(main.root, nullptr);
    const char* columnOrder[] = {"Option01", "Option03", "Option02", "Option04", "Option05", "Option06"};
    auto* first = main.FindAs<COptionUI>("Option01", "Option");
    ASSERT_NE(first, nullptr);
    auto* column = static_cast<CContainerUI*>(first->GetParent()->GetInterface("Container"));
    ASSERT_NE(column, nullptr);
    const int start = column->GetItemIndex(first);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(columnOrder[i]);
        auto* option = main.FindAs<COptionUI>(columnOrder[i], "Option");
        ASSERT_NE(option, nullptr);
        EXPECT_EQ(column->GetItemAt(start + i), option);
        EXPECT_EQ(option->GetGroup(), first->GetGroup());
        // The first "windowinit" checks a tab; a tab checked already would
        // raise no "selectchanged" and its page would never load.
        EXPECT_FALSE(option->IsSelected());
        EXPECT_EQ(option->IsOwnVisible(), i < 4);
    }
    EXPECT_FALSE(first->GetGroup().empty());
}

TEST_F(SkinTest, MainWindowSwitchHoldsTheWebViewsThenTheDisconnectPage) {
    BuiltLayout main = Build("Form_Main.xml");
    auto* tabs = main.FindAs<CTabLayoutUI>("switch", "TabLayout");
    ASSERT_NE(tabs, nullptr);
    const char* items[] = {"web_opt01", "web_opt02", "web_opt03",           "web_opt04",
                           "web_opt05", "web_opt06", "web_register2client", "disconnect_frame"};
    ASSERT_EQ(tabs->GetCount(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(tabs->GetItemAt(i)->GetName(), items[i]) << i;
    }
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_NE(main.manager->FindSubControlByName(main.Find("disconnect_frame"), "btnRefresh"), nullptr);

    auto* user = main.FindAs<CTabLayoutUI>("tabUser", "TabLayout");
    ASSERT_NE(user, nullptr);
    ASSERT_EQ(user->GetCount(), 2);
    EXPECT_EQ(user->GetCurSel(), 0);
    EXPECT_NE(main.manager->FindSubControlByName(user->GetItemAt(0), "btnLogin"), nullptr);
    EXPECT_NE(main.manager->FindSubControlByName(user->GetItemAt(1), "userNickname"), nullptr);
    EXPECT_EQ(main.manager->FindSubControlByName(user->GetItemAt(0), "userNickname"), nullptr);
}

// The logged-in display writes the nickname as markup with the arrow image
// and gives "userNickname" the login-kind icon's frames; all of it must
// resolve in the archive for each kind of login.
TEST_F(SkinTest, LoggedInDisplayImagesResolveForEveryLoginKind) {
    for (const char* icon : {"pic_login_qq", "pic_login_wechat", "pic_login_tel"}) {
        SCOPED_TRACE(icon);
        BuiltLayout main = Build("Form_Main.xml");
        auto* nickname = main.FindAs<CButtonUI>("userNickname", "Button");
        ASSERT_NE(nickname, nullptr);
        EXPECT_TRUE(nickname->IsShowHtml());
        nickname->SetText("{f 5}13800000000{/f}{x 6}{i images/arrow.png}");
        const std::string file = std::string("file='../default/button/") + icon + ".png' dest='0,5,28,33' ";
        nickname->SetAttribute("normalimage", file + "source='0,0,28,28'");
        nickname->SetAttribute("hotimage", file + "source='28,0,56,28'");
        nickname->SetAttribute("pushimage", file + "source='56,0,84,28'");
        std::set<std::string> seen;
        for (const DuiLib::TImageReference& image : CDialogBuilder::ListImages(nickname)) {
            seen.insert(image.attribute);
        }
        EXPECT_EQ(seen.count("text"), 1u);
        EXPECT_EQ(seen.count("normalimage"), 1u);
        EXPECT_TRUE(CDialogBuilder::FindMissingImages(nickname).empty());
    }
}

// ---- the dialogs --------------------------------------------------------------

// Finds a control by its text where the layout gives it no name.
CControlUI* FindByText(CControlUI* root, const std::string& text) {
    CControlUI* found = nullptr;
    root->ForEach([&found, &text](CControlUI* control) {
        if (found == nullptr && control->GetText() == text) {
            found = control;
        }
    });
    return found;
}

TEST_F(SkinTest, LoginDialogFieldsLimitWhatCanBeTyped) {
    BuiltLayout dialog = Build("dlg_reg.xml");
    ASSERT_NE(dialog.root, nullptr);
    auto* mobile = dialog.FindAs<CEditUI>("userMobile", "Edit");
    auto* code = dialog.FindAs<CEditUI>("verifyCode", "Edit");
    ASSERT_NE(mobile, nullptr);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(mobile->GetMaxChar(), 11u);
    EXPECT_TRUE(mobile->IsNumberOnly());
    EXPECT_EQ(mobile->GetTipValue(), "输入手机号码");
    EXPECT_EQ(code->GetMaxChar(), 6u);
    EXPECT_TRUE(code->IsNumberOnly());
    EXPECT_EQ(code->GetTipValue(), "填写验证码");

    EXPECT_EQ(dialog.Find("btnSendVeryfyCode")->GetText(), "发送验证码");
    EXPECT_TRUE(dialog.Find("btnSendVeryfyCode")->IsEnabled());
    EXPECT_EQ(dialog.Find("btnMobileLogin")->GetText(), "登录");
    EXPECT_FALSE(dialog.Find("btnMobileLogin")->IsEnabled());
    EXPECT_NE(FindByText(dialog.root, "3秒登录，即可下载"), nullptr);
    EXPECT_NE(FindByText(dialog.root, "使用其他账号登录"), nullptr);
}

TEST_F(SkinTest, LoginDialogAgreementLineHoldsItsLabelsAndLinks) {
    BuiltLayout dialog = Build("dlg_reg.xml");
    CControlUI* frame = dialog.Find("frame_protocol");
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsOwnVisible());
    CControlUI* service = dialog.manager->FindSubControlByName(frame, "btn_service_protocol");
    CControlUI* secret = dialog.manager->FindSubControlByName(frame, "btn_secret_protocol");
    ASSERT_NE(service, nullptr);
    ASSERT_NE(secret, nullptr);
    EXPECT_EQ(service->GetText(), "《会员服务协议》");
    EXPECT_EQ(secret->GetText(), "《隐私政策》");
    EXPECT_NE(FindByText(frame, "注册即同意"), nullptr);
    EXPECT_NE(FindByText(frame, "&"), nullptr);
}

TEST_F(SkinTest, UserPopupShowsItsTextsAndHidesTheLogoutRowWhenShrunk) {
    BuiltLayout popup = Build("Form_user_info.xml");
    ASSERT_NE(popup.root, nullptr);
    EXPECT_EQ(popup.Find("UserInfoCopyAccount")->GetText(), "复制ID");
    EXPECT_EQ(popup.Find("UserInfoUnLogin")->GetText(), "退出登录");
    EXPECT_EQ(popup.Find("btnLogin")->GetText(), "立即登录");
    for (const char* label : {"海量模板", "高速下载", "每日更新"}) {
        EXPECT_NE(FindByText(popup.root, label), nullptr) << label;
    }
    // The fetched picture replaces the default one in the same place.
    EXPECT_FALSE(popup.Find("UserInfo_Pic")->IsOwnVisible());
    EXPECT_TRUE(popup.Find("UserInfo_defaultPic")->IsOwnVisible());
    EXPECT_EQ(popup.Find("UserInfo_Pic")->GetParent(), popup.Find("UserInfo_defaultPic")->GetParent());
    EXPECT_FALSE(popup.Find("pic_vip")->IsOwnVisible());

    // Logged in: the full height shows the logout row.
    popup.Place();
    const RECT logout = popup.Find("UserInfoUnLogin")->GetPos();
    EXPECT_GT(logout.bottom, logout.top);
    EXPECT_LE(logout.bottom, 255);
    // Logged out the pop-up is 260x220: the row lies below that, out of sight,
    // while the login button and the text fit.
    popup.Find("UserInfoLogin")->SetVisible(false);
    popup.Find("btnLogin")->SetVisible(true);
    popup.manager->UpdateLayout(RECT{0, 0, 260, 220});
    EXPECT_GE(popup.Find("UserInfoUnLogin")->GetPos().top, 220);
    EXPECT_LE(popup.Find("btnLogin")->GetPos().bottom, 220);
    EXPECT_LE(popup.Find("text_vip")->GetPos().bottom, 220);
}

TEST_F(SkinTest, MessageBoxStartsWithIconsAndLeftButtonHidden) {
    BuiltLayout box = Build("dlg_message.xml");
    ASSERT_NE(box.root, nullptr);
    for (const char* hidden : {"infoLogo", "errorLogo", "warnLogo", "btnLeft"}) {
        EXPECT_FALSE(box.Find(hidden)->IsOwnVisible()) << hidden;
    }
    EXPECT_TRUE(box.Find("btnYes")->IsOwnVisible());
    EXPECT_TRUE(box.Find("btnClose")->IsOwnVisible());
    // An information box moves the text of "btnYes" onto "btnClose".
    EXPECT_FALSE(box.Find("btnYes")->GetText().empty());
    // The message label takes the HTML switch of its box.
    EXPECT_NE(box.Find("context")->GetInterface("Label"), nullptr);
}

TEST_F(SkinTest, AboutBoxNamesTheSiteAndThePublisher) {
    BuiltLayout about = Build("dlg_about.xml");
    ASSERT_NE(about.root, nullptr);
    EXPECT_EQ(about.Find("buttonSite")->GetText(), "http://127.0.0.1:47802/");
    EXPECT_NE(about.Find("CompanyName")->GetText().find("Vanto"), std::string::npos);
    EXPECT_FALSE(about.Find("labelSite")->GetText().empty());
}

TEST_F(SkinTest, DownloadDialogStopAndOpenButtonsShareOnePlace) {
    BuiltLayout dialog = Build("dlg_download.xml");
    ASSERT_NE(dialog.root, nullptr);
    auto* progress = dialog.FindAs<CProgressUI>("progress_download", "Progress");
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->GetMinValue(), 0);
    EXPECT_EQ(progress->GetMaxValue(), 100);
    EXPECT_FALSE(dialog.Find("download_title")->GetText().empty());

    CControlUI* stop = dialog.Find("btn_stop_download");
    CControlUI* open = dialog.Find("btn_open_file");
    EXPECT_TRUE(stop->IsOwnVisible());
    EXPECT_FALSE(open->IsOwnVisible());
    EXPECT_EQ(stop->GetParent(), open->GetParent());
    dialog.Place();
    const RECT stopPlace = stop->GetPos();
    EXPECT_GT(stopPlace.right, stopPlace.left);
    // Completion swaps them.
    stop->SetVisible(false);
    open->SetVisible(true);
    dialog.Place();
    EXPECT_TRUE(open->GetPos() == stopPlace) << Describe(open->GetPos()) << " vs " << Describe(stopPlace);
}

TEST_F(SkinTest, BrowserDialogStepsAreTheWebViewAndTheErrorPage) {
    BuiltLayout dialog = Build("dlg_webbrowser.xml");
    auto* step = dialog.FindAs<CTabLayoutUI>("step", "TabLayout");
    ASSERT_NE(step, nullptr);
    ASSERT_EQ(step->GetCount(), 2);
    EXPECT_EQ(step->GetCurSel(), 0);
    EXPECT_EQ(step->GetItemAt(0), dialog.Find("ie"));
    EXPECT_NE(dialog.manager->FindSubControlByName(step->GetItemAt(1), "btnRefresh"), nullptr);
}

TEST_F(SkinTest, MenuListsItsEntriesInOrder) {
    BuiltLayout menu = Build("Form_Menu.xml");
    ASSERT_NE(menu.root, nullptr);
    EXPECT_EQ(menu.root->GetClass(), "Menu");
    auto* list = static_cast<CContainerUI*>(menu.root->GetInterface("Container"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->GetCount(), 3);
    EXPECT_EQ(list->GetItemAt(0)->GetName(), "menuUpdate");
    EXPECT_EQ(list->GetItemAt(1)->GetName(), "menuFeedback");
    EXPECT_EQ(list->GetItemAt(2)->GetName(), "menuAbout");
}

}  // namespace

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UILabel.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/backend/Screen.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {
CControlUI* Sized(int cx, int cy) {
    auto* control = new CControlUI;
    control->SetFixedWidth(cx);
    control->SetFixedHeight(cy);
    return control;
}
}  // namespace

TEST(Layout, VerticalLayoutStacksFixedAndSharesTheRestAmongAutoChildren) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* top = Sized(0, 40);       // full width, 40 high
    auto* autoA = Sized(0, 0);      // shares the rest
    auto* narrow = Sized(100, 20);  // fixed width kept
    auto* autoB = Sized(0, 0);
    auto* hidden = Sized(0, 500);  // takes no space
    hidden->SetVisible(false);
    root->Add(top);
    root->Add(autoA);
    root->Add(hidden);
    root->Add(narrow);
    root->Add(autoB);
    manager.AttachDialog(root);
    manager.UpdateLayout(RECT{0, 0, 300, 161});
    EXPECT_EQ(root->GetPos(), (RECT{0, 0, 300, 161}));
    EXPECT_EQ(top->GetPos(), (RECT{0, 0, 300, 40}));
    // 161 - 40 - 20 = 101 spare: 50 and the last auto child 51.
    EXPECT_EQ(autoA->GetPos(), (RECT{0, 40, 300, 90}));
    EXPECT_EQ(narrow->GetPos(), (RECT{0, 90, 100, 110}));
    EXPECT_EQ(autoB->GetPos(), (RECT{0, 110, 300, 161}));
    EXPECT_FALSE(manager.IsUpdateNeeded());
}

TEST(Layout, NestedLayoutsWithInsetPaddingAndChildPadding) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    root->SetInset(RECT{10, 10, 10, 10});
    root->SetChildPadding(5);
    auto* bar = new CHorizontalLayoutUI;
    bar->SetFixedHeight(30);
    auto* logo = Sized(50, 0);
    logo->SetPadding(RECT{2, 3, 4, 0});
    auto* spacer = Sized(0, 0);
    auto* close = Sized(20, 20);
    bar->Add(logo);
    bar->Add(spacer);
    bar->Add(close);
    auto* body = Sized(0, 0);
    root->Add(bar);
    root->Add(body);
    manager.AttachDialog(root);
    manager.UpdateLayout(RECT{0, 0, 400, 300});

    EXPECT_EQ(bar->GetPos(), (RECT{10, 10, 390, 40}));
    // Padding: 2 before, 4 after along the row; 3 above.
    EXPECT_EQ(logo->GetPos(), (RECT{12, 13, 62, 40}));
    EXPECT_EQ(spacer->GetPos(), (RECT{66, 10, 370, 40}));
    EXPECT_EQ(close->GetPos(), (RECT{370, 10, 390, 30}));
    // Below the bar after the child padding of 5.
    EXPECT_EQ(body->GetPos(), (RECT{10, 45, 390, 290}));
}

TEST(Layout, FloatingChildrenSitAtTheirPosAndTakeNoSpace) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* badge = new CControlUI;
    badge->ApplyAttributeList(R"(float="true" pos="5,6,25,16")");
    auto* filler = Sized(0, 0);
    root->Add(badge);
    root->Add(filler);
    manager.AttachDialog(root);
    manager.UpdateLayout(RECT{100, 200, 300, 400});
    EXPECT_EQ(badge->GetPos(), (RECT{105, 206, 125, 216}));
    EXPECT_EQ(filler->GetPos(), (RECT{100, 200, 300, 400}));
}

TEST(Layout, ShowingAHiddenChildMakesRoomForItOnTheNextPass) {
    CPaintManagerUI manager;
    auto* root = new CHorizontalLayoutUI;
    auto* a = Sized(0, 0);
    auto* b = Sized(60, 0);
    b->SetVisible(false);
    root->Add(a);
    root->Add(b);
    manager.AttachDialog(root);
    manager.UpdateLayout(RECT{0, 0, 200, 10});
    EXPECT_EQ(a->GetPos().Width(), 200);
    b->SetVisible(true);
    EXPECT_TRUE(manager.IsUpdateNeeded());
    manager.UpdateLayout();
    EXPECT_EQ(a->GetPos(), (RECT{0, 0, 140, 10}));
    EXPECT_EQ(b->GetPos(), (RECT{140, 0, 200, 10}));
}

TEST(Layout, OverfullLayoutsNeverProduceNegativeSizes) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* big = Sized(0, 500);
    auto* rest = Sized(0, 0);
    root->Add(big);
    root->Add(rest);
    manager.AttachDialog(root);
    manager.UpdateLayout(RECT{0, 0, 100, 100});
    EXPECT_GE(rest->GetPos().Height(), 0);
    EXPECT_GE(rest->GetPos().Width(), 0);
}

TEST(Layout, ScaleFollowsTheWindowDpi) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* bar = Sized(0, 40);
    root->Add(bar);
    manager.AttachDialog(root);
    CPaintManagerUI::SetAllDPI(144);
    EXPECT_EQ(manager.GetDPIObj().GetScale(), 150);
    EXPECT_TRUE(manager.IsUpdateNeeded());
    manager.UpdateLayout(RECT{0, 0, 300, 300});
    EXPECT_EQ(bar->GetPos().Height(), 60);
    {
        CPaintManagerUI later;  // a window made afterwards takes the same scale
        EXPECT_EQ(later.GetDPIObj().GetDPI(), 144);
    }
    CPaintManagerUI::SetAllDPI(5);  // refused
    EXPECT_EQ(manager.GetDPIObj().GetDPI(), 144);
    CPaintManagerUI::SetAllDPI(96);
    CPaintManagerUI fresh;
    EXPECT_EQ(fresh.GetDPIObj().GetScale(), 100);
}

TEST(DpiScale, ScalesRoundsAndRefusesNonsense) {
    CDPI dpi;
    EXPECT_EQ(dpi.GetDPI(), 96);
    EXPECT_EQ(dpi.Scale(10), 10);
    dpi.SetScale(120);
    EXPECT_EQ(dpi.GetScale(), 125);
    EXPECT_EQ(dpi.Scale(10), 13);  // 12.5 rounds away from zero
    EXPECT_EQ(dpi.Scale(-10), -13);
    EXPECT_EQ(dpi.ScaleBack(125), 100);
    EXPECT_EQ(dpi.Scale(RECT{4, 8, 12, 16}), (RECT{5, 10, 15, 20}));
    dpi.SetScale(0);
    EXPECT_EQ(dpi.GetDPI(), 120);
    dpi.SetScale(100000);
    EXPECT_EQ(dpi.GetDPI(), 120);
}

TEST(DpiScale, MainMonitorDpiAndAwarenessAreProcessWide) {
    const ScreenInfo saved = GetMainScreen();
    ScreenInfo screen = saved;
    screen.dpi = 168;
    SetMainScreen(screen);
    EXPECT_EQ(CDPI::GetMainMonitorDPI(), 168);
    SetMainScreen(saved);
    const int before = CDPI::GetDPIAwareness();
    EXPECT_TRUE(CDPI::SetDPIAwareness(PROCESS_PER_MONITOR_DPI_AWARE));
    EXPECT_EQ(CDPI::GetDPIAwareness(), PROCESS_PER_MONITOR_DPI_AWARE);
    EXPECT_FALSE(CDPI::SetDPIAwareness(7));
    EXPECT_EQ(CDPI::GetDPIAwareness(), PROCESS_PER_MONITOR_DPI_AWARE);
    CDPI::SetDPIAwareness(before);
}

TEST(PaintManagers, RegistryListsLiveManagersOnly) {
    const auto before = CPaintManagerUI::GetPaintManagers().size();
    {
        CPaintManagerUI a;
        CPaintManagerUI b;
        EXPECT_EQ(CPaintManagerUI::GetPaintManagers().size(), before + 2);
    }
    EXPECT_EQ(CPaintManagerUI::GetPaintManagers().size(), before);
}

TEST(Layout, HitTestingFindsTheTopmostVisibleControlUnderThePoint) {
    CPaintManagerUI manager;
    auto* root = new CHorizontalLayoutUI;
    auto* left = Sized(100, 0);
    auto* right = new CVerticalLayoutUI;
    auto* inner = Sized(0, 20);
    auto* overlay = new CControlUI;
    overlay->ApplyAttributeList(R"(float="true" pos="0,0,50,50")");
    root->Add(left);
    root->Add(right);
    right->Add(inner);
    root->Add(overlay);
    manager.AttachDialog(root);
    manager.UpdateLayout(RECT{0, 0, 300, 100});
    EXPECT_EQ(manager.FindControl(POINT{10, 10}), overlay);  // floats over the first child
    EXPECT_EQ(manager.FindControl(POINT{60, 60}), left);
    EXPECT_EQ(manager.FindControl(POINT{150, 10}), inner);
    EXPECT_EQ(manager.FindControl(POINT{150, 50}), right);
    EXPECT_EQ(manager.FindControl(POINT{300, 10}), nullptr);  // right edge is outside
    overlay->SetVisible(false);
    EXPECT_EQ(manager.FindControl(POINT{10, 10}), left);
}

TEST(Layout, LabelsTakeTheirTextHeightInAColumnButFillARow) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* title = new CLabelUI;  // no height: as high as its text
    title->SetText("Title");
    auto* row = new CHorizontalLayoutUI;
    auto* caption = new CLabelUI;  // in a row: the row's height
    caption->SetText("x");
    row->Add(caption);
    root->Add(title);
    root->Add(row);
    manager.AttachDialog(root);
    manager.UpdateLayout(RECT{0, 0, 200, 100});
    EXPECT_EQ(title->GetPos(), (RECT{0, 0, 200, 15}));  // default font: 12 + 12/4
    EXPECT_EQ(row->GetPos(), (RECT{0, 15, 200, 100}));
    EXPECT_EQ(caption->GetPos(), (RECT{0, 15, 200, 100}));
}

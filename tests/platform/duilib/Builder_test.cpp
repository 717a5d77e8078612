#include "TestSupport.h"

#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UILabel.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIOption.h"
#include "platform/os/DebugPrint.h"

#include <gtest/gtest.h>

#include <memory>

using namespace DuiLib;

namespace {

class Builder : public ::testing::Test {
  protected:
    void SetUp() override {
        os::SetDebugSink([this](const std::string& line) { debug.push_back(line); });
    }
    void TearDown() override {
        os::SetDebugSink({});
        CPaintManagerUI::SetResourceZip(nullptr, 0);
    }
    void UseArchive(std::vector<std::pair<std::string, std::string>> files) {
        files_ = std::move(files);
        zip = duitest::MakeZip(files_);
        ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size()));
    }
    int DebugLinesContaining(const std::string& text) const {
        int count = 0;
        for (const auto& line : debug)
            count += line.find(text) != std::string::npos;
        return count;
    }
    std::vector<std::string> debug;
    std::vector<std::pair<std::string, std::string>> files_;
    std::string zip;
};

class KnowsCustom : public IDialogBuilderCallback {
  public:
    CControlUI* CreateControl(const char* cls) override {
        if (std::string_view(cls) == "Custom") {
            auto* control = new CControlUI;
            control->SetName("made-by-callback");
            return control;
        }
        return nullptr;
    }
};

const char* kDialog = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="870,578" caption="0,0,0,38" roundcorner="20,20" mininfo="400,300" sizebox="4,4,4,4"
        showshadow="true" shadowsize="5" shadowimage="shadow.png" bktrans="true">
  <Font id="5" name="Sans" size="14" bold="true" default="true"/>
  <Font id="6" size="18"/>
  <Default name="Button" value="height=&quot;28&quot; textcolor=&quot;#FF123456&quot;"/>
  <VerticalLayout name="root" bkcolor="#FFFFFFFF">
    <HorizontalLayout height="38">
      <Label name="caption" text="Title" font="6"/>
      <Button name="btnClose" width="30" normalimage="file='close.png' source='0,0,30,30'"/>
    </HorizontalLayout>
    <TabLayout name="tabs" selectedid="1">
      <Container name="page0"/>
      <Container name="page1"><Edit name="mobile" maxchar="11" numberonly="true"/></Container>
    </TabLayout>
    <Option name="opt1" group="g" selected="true"/>
    <Option name="opt2" group="g" selected="true"/>
    <Button name="btnTall" height="50"/>
  </VerticalLayout>
</Window>)";

}  // namespace

TEST_F(Builder, BuildsTheTreeAndGivesWindowAttributesFontsAndDefaultsToTheManager) {
    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(kDialog, {}, nullptr, &manager);
    ASSERT_NE(root, nullptr);
    manager.AttachDialog(root);

    EXPECT_EQ(manager.GetInitSize(), (SIZE{870, 578}));
    EXPECT_EQ(manager.GetCaptionRect(), (RECT{0, 0, 0, 38}));
    EXPECT_EQ(manager.GetRoundCorner(), (SIZE{20, 20}));
    EXPECT_EQ(manager.GetMinInfo(), (SIZE{400, 300}));
    EXPECT_EQ(manager.GetSizeBox(), (RECT{4, 4, 4, 4}));
    EXPECT_TRUE(manager.IsShadowEnabled());
    EXPECT_EQ(manager.GetShadowSize(), 5);
    EXPECT_EQ(manager.GetShadowImage(), "shadow.png");
    EXPECT_EQ(manager.GetWindowAttribute("bktrans"), "true");
    EXPECT_EQ(manager.GetDefaultFont().id, 5);
    EXPECT_EQ(manager.GetFont(6).size, 18);
    EXPECT_EQ(manager.GetFont(99).id, 5);  // unknown id: the default font

    auto* close = manager.FindControl<CButtonUI>("btnClose");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->GetFixedHeight(), 28);  // from <Default>
    EXPECT_EQ(close->GetTextColor(), 0xFF123456u);
    EXPECT_EQ(close->GetNormalImage(), "file='close.png' source='0,0,30,30'");
    auto* tall = manager.FindControl("btnTall");
    EXPECT_EQ(tall->GetFixedHeight(), 50);  // the element's own attribute wins

    auto* tabs = manager.FindControl<CTabLayoutUI>("tabs");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->GetCurSel(), 1);
    EXPECT_TRUE(manager.FindControl("mobile")->IsVisible());
    EXPECT_FALSE(manager.FindControl("page0")->IsVisible());
    EXPECT_EQ(manager.FindControl<CEditUI>("mobile")->GetMaxChar(), 11u);

    // Two options of a group both marked selected: the later one wins.
    EXPECT_FALSE(manager.FindControl<COptionUI>("opt1")->IsSelected());
    EXPECT_TRUE(manager.FindControl<COptionUI>("opt2")->IsSelected());

    manager.UpdateLayout(RECT{0, 0, 870, 578});
    EXPECT_EQ(close->GetPos(), (RECT{840, 0, 870, 28}));
}

TEST_F(Builder, TypedLookupFindsTheKindAndWhatDerivesFromItAndNullOtherwise) {
    CPaintManagerUI manager;
    CDialogBuilder builder;
    manager.AttachDialog(builder.Create(kDialog, {}, nullptr, &manager));
    // A button is a label, an option a button; both are controls.
    CControlUI* close = manager.FindControl("btnClose");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(manager.FindControl<CButtonUI>("btnClose"), close);
    EXPECT_EQ(manager.FindControl<CLabelUI>("btnClose"),
              static_cast<CLabelUI*>(manager.FindControl<CButtonUI>("btnClose")));
    EXPECT_EQ(manager.FindControl<CControlUI>("btnClose"), close);
    EXPECT_EQ(manager.FindControl<CButtonUI>("opt1"), manager.FindControl<COptionUI>("opt1"));
    EXPECT_NE(manager.FindControl<CContainerUI>("tabs"), nullptr);
    // Of another kind, or missing: null.
    EXPECT_EQ(manager.FindControl<COptionUI>("btnClose"), nullptr);
    EXPECT_EQ(manager.FindControl<CEditUI>("caption"), nullptr);
    EXPECT_EQ(manager.FindControl<CTabLayoutUI>("root"), nullptr);
    EXPECT_EQ(manager.FindControl<CLabelUI>("missing"), nullptr);
    EXPECT_EQ(manager.FindControl<CLabelUI>(""), nullptr);
}

TEST_F(Builder, BadInputGivesNullWithoutCrashing) {
    CDialogBuilder builder;
    CPaintManagerUI manager;
    EXPECT_EQ(builder.Create("<Window><VerticalLayout></Window>", {}, nullptr, &manager), nullptr);
    EXPECT_EQ(builder.Create("", {}, nullptr, &manager), nullptr);
    EXPECT_EQ(builder.Create("<Window/>", {}, nullptr, &manager), nullptr);
    EXPECT_EQ(builder.Create("<Window><Font id='1'/></Window>", {}, nullptr, &manager), nullptr);
    EXPECT_EQ(builder.Create("<NoSuchRoot/>", {}, nullptr, &manager), nullptr);
    EXPECT_EQ(builder.Create("missing_layout.xml", {}, nullptr, &manager), nullptr);
    EXPECT_EQ(builder.Create("<?xml version='1.0'?>", {}, nullptr, &manager), nullptr);
}

TEST_F(Builder, UnknownNamesAreSkippedOrKeptAndReportedOncePerProcess) {
    CDialogBuilder builder;
    KnowsCustom callback;
    const char* xml = R"(<VerticalLayout>
        <Gadget1234 name="g"><Button name="insideUnknown"/></Gadget1234>
        <Gadget1234/>
        <Custom/>
        <Button name="b" zorbattr5678="7" zorbattr5678x="8"/>
        <Button zorbattr5678="9"/>
      </VerticalLayout>)";
    std::unique_ptr<CControlUI> root(builder.Create(xml, {}, &callback));
    ASSERT_NE(root, nullptr);
    auto* layout = static_cast<CContainerUI*>(root.get());
    ASSERT_EQ(layout->GetCount(), 3);
    EXPECT_EQ(layout->GetItemAt(0)->GetName(), "made-by-callback");
    EXPECT_EQ(root->FindControlByName("insideUnknown"), nullptr);
    EXPECT_EQ(root->FindControlByName("b")->GetAttribute("zorbattr5678"), "7");
    EXPECT_EQ(DebugLinesContaining("Gadget1234"), 1);
    EXPECT_EQ(DebugLinesContaining("'zorbattr5678'"), 1);
    EXPECT_EQ(DebugLinesContaining("'zorbattr5678x'"), 1);
    // A second build reports nothing new.
    std::unique_ptr<CControlUI> again(builder.Create(xml, {}, &callback));
    EXPECT_EQ(DebugLinesContaining("Gadget1234"), 1);
}

TEST_F(Builder, DepthAndSizeBombsAreRejected) {
    CDialogBuilder builder;
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<Container>";
    for (int i = 0; i < 5000; ++i)
        deep += "</Container>";
    EXPECT_EQ(builder.Create(deep), nullptr);

    std::string wide = "<VerticalLayout>";
    for (int i = 0; i < CDialogBuilder::kMaxElements + 10; ++i)
        wide += "<Control/>";
    wide += "</VerticalLayout>";
    EXPECT_EQ(builder.Create(wide), nullptr);

    // Just inside the depth limit still builds.
    std::string ok;
    for (int i = 0; i < 200; ++i)
        ok += "<Container>";
    for (int i = 0; i < 200; ++i)
        ok += "</Container>";
    std::unique_ptr<CControlUI> root(builder.Create(ok));
    EXPECT_NE(root, nullptr);
}

TEST_F(Builder, IncludesBuildInPlaceAndLoopsEnd) {
    UseArchive(
        {{"part.xml", R"(<Button name="fromInclude"/>)"},
         {"loop.xml", R"(<VerticalLayout name="loop"><Include source="loop.xml"/></VerticalLayout>)"},
         {"fonts.xml", R"(<Window><Font id="9" size="30"/><Label name="incLabel" font="9"/></Window>)"},
         {"main.xml",
          R"(<Window><HorizontalLayout name="row"><Include source="part.xml"/>)"
          R"(<Include source="fonts.xml"/><Include source="nowhere.xml"/></HorizontalLayout></Window>)"}});
    CDialogBuilder builder;
    CPaintManagerUI manager;
    CControlUI* root = builder.Create("MAIN.xml", {}, nullptr, &manager);
    ASSERT_NE(root, nullptr);
    manager.AttachDialog(root);
    EXPECT_EQ(static_cast<CContainerUI*>(root)->GetCount(), 2);
    EXPECT_NE(manager.FindControl("fromInclude"), nullptr);
    EXPECT_NE(manager.FindControl("incLabel"), nullptr);
    EXPECT_EQ(manager.GetFont(9).size, 30);

    std::unique_ptr<CControlUI> loop(builder.Create("loop.xml"));
    ASSERT_NE(loop, nullptr);
    int depth = 0;
    loop->ForEach([&](CControlUI*) { ++depth; });
    EXPECT_EQ(depth, CDialogBuilder::kMaxIncludeDepth + 1);
}

TEST_F(Builder, ParentContainerReceivesTheBuiltRoot) {
    CPaintManagerUI manager;
    auto* host = new CVerticalLayoutUI;
    manager.AttachDialog(host);
    CDialogBuilder builder;
    CControlUI* item = builder.Create(R"(<Button name="added"/>)", {}, nullptr, &manager, host);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(host->GetItemAt(0), item);
    EXPECT_EQ(manager.FindControl("added"), item);
}

TEST_F(Builder, ImageListingReportsWhatCannotBeLoaded) {
    UseArchive({{"default/button/x.png", "png"}, {"bg.png", "png"}});
    CDialogBuilder builder;
    CPaintManagerUI manager;
    CControlUI* root = builder.Create(
        R"(<Window shadowimage="noshadow.png"><VerticalLayout bkimage="BG.png">)"
        R"(<Button normalimage="file='../default/button/x.png' source='0,0,1,1'" hotimage="gone.png"/>)"
        R"(<Label showhtml="true" text="a{i inline.png}b"/>)"
        R"(<Picture bitmap="file='/nonexistent/head.jpg' restype='fullpath'"/></VerticalLayout></Window>)",
        {}, nullptr, &manager);
    ASSERT_NE(root, nullptr);
    manager.AttachDialog(root);
    EXPECT_EQ(CDialogBuilder::ListImages(root, &manager).size(), 6u);
    std::vector<std::string> missing;
    for (const auto& image : CDialogBuilder::FindMissingImages(root, &manager))
        missing.push_back(image.file);
    std::sort(missing.begin(), missing.end());
    EXPECT_EQ(missing,
              (std::vector<std::string>{"/nonexistent/head.jpg", "gone.png", "inline.png", "noshadow.png"}));
}

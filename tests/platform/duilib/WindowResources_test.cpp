// Each window reads its images from the archive its layout was built from,
// while another archive is in force, and after the caller let its bytes go.
#include "TestSupport.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIManager.h"

#include <gtest/gtest.h>

#include <memory>

using namespace DuiLib;

namespace {

class WindowResourcesTest : public ::testing::Test {
  protected:
    void TearDown() override { CPaintManagerUI::SetResourceZip(nullptr, 0); }
};

TEST_F(WindowResourcesTest, AWindowKeepsTheArchiveItWasBuiltFrom) {
    const std::string skin = duitest::MakeZip({{"img/logo.png", "skin logo"}, {"only-skin.txt", "s"}});
    auto toolbox = std::make_unique<std::string>(duitest::MakeZip({{"img/logo.png", "toolbox logo"}}));

    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(skin.data(), skin.size()));
    CPaintManagerUI main;
    main.AttachDialog(new CVerticalLayoutUI);

    // The panel switches to its archive, builds, and switches back.
    const TResourceZip saved = CPaintManagerUI::GetResourceZip();
    EXPECT_EQ(saved.data, skin.data());  // the caller's bytes name the archive
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(toolbox->data(), toolbox->size()));
    CPaintManagerUI panel;
    panel.AttachDialog(new CVerticalLayoutUI);
    EXPECT_EQ(main.LoadWindowResource("img/logo.png"), "skin logo");
    EXPECT_EQ(panel.LoadWindowResource("IMG\\Logo.png"), "toolbox logo");
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(saved.data, saved.size));

    // The toolbox's buffer is gone (a new archive was downloaded): the panel
    // still paints from what it was built from.
    toolbox->assign(toolbox->size(), '\0');
    toolbox.reset();
    EXPECT_EQ(panel.LoadWindowResource("img/logo.png"), "toolbox logo");
    EXPECT_EQ(panel.LoadWindowResource("only-skin.txt"), std::nullopt);
    EXPECT_EQ(main.LoadWindowResource("img/logo.png"), "skin logo");
    EXPECT_NE(main.GetResourceArchiveId(), panel.GetResourceArchiveId());
    EXPECT_NE(main.GetResourceArchiveId(), 0u);

    // Dropping the archive in force leaves built windows their images.
    CPaintManagerUI::SetResourceZip(nullptr, 0);
    EXPECT_EQ(main.LoadWindowResource("img/logo.png"), "skin logo");
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("img/logo.png"), std::nullopt);
}

TEST_F(WindowResourcesTest, BeforeItsLayoutAWindowReadsTheArchiveInForce) {
    const std::string first = duitest::MakeZip({{"a.txt", "first"}});
    const std::string second = duitest::MakeZip({{"a.txt", "second"}});
    CPaintManagerUI manager;
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(first.data(), first.size()));
    EXPECT_EQ(manager.LoadWindowResource("a.txt"), "first");
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(second.data(), second.size()));
    EXPECT_EQ(manager.LoadWindowResource("a.txt"), "second");
}

}  // namespace

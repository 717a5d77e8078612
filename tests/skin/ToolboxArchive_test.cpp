// The demo store's toolbox archive, built with our dialog builder the way the
// toolbox panel builds it: "skin.xml" holds the list named "list" whose user
// data names the button captions, and entries that each hold a "button" and a
// "progress" and say, in their user data, what they open or install. Also the
// switch to that archive and back, as the panel does while it is shown.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "SkinFixture.h"
#include "demo-store/ServedFiles.h"
#include "platform/duilib/UIContainer.h"
#include "support/Sandbox.h"

namespace {

using DuiLib::CContainerUI;
using DuiLib::CControlUI;
using DuiLib::CPaintManagerUI;

// The keys of a "key=value;key=value" user-data text, lower case.
std::set<std::string> UserDataKeys(const std::string& text) {
    std::set<std::string> keys;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string item = text.substr(start, end - start);
        const std::size_t equals = item.find('=');
        if (equals != std::string::npos && equals > 0) {
            std::string key = item.substr(0, equals);
            for (char& c : key) {
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            }
            keys.insert(key);
        }
        start = end + 1;
    }
    return keys;
}

class ToolboxArchiveTest : public skintest::SkinTest {
  protected:
    static constexpr const char* kPageUrl = "http://127.0.0.1:40999/";

    void SetUp() override {
        SkinTest::SetUp();
        demostore::ServedFiles files(m_sandbox.Root() + "/store");
        std::string error;
        ASSERT_TRUE(files.EnsureToolboxArchive(kPageUrl, error)) << error;
        const auto path = files.Find(demostore::Service::Toolbox, "/vanto/toolbox.zip");
        ASSERT_TRUE(path.has_value());
        m_toolbox = vtest::ReadFile(*path);
        ASSERT_FALSE(m_toolbox.empty());
    }

    vtest::Sandbox m_sandbox;
    std::string m_toolbox;
};

TEST_F(ToolboxArchiveTest, BuildsWithTheListEntriesAndKeysThePanelReads) {
    const DuiLib::TResourceZip saved = CPaintManagerUI::GetResourceZip();
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(m_toolbox.data(), m_toolbox.size()));
    skintest::BuiltLayout panel = Build("skin.xml");
    ASSERT_NE(panel.root, nullptr);
    EXPECT_GT(panel.manager->GetInitSize().cx, 0);
    EXPECT_GT(panel.manager->GetInitSize().cy, 0);

    CControlUI* list = panel.Find("list");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetClass(), "List");
    const std::set<std::string> captions = UserDataKeys(list->GetUserData());
    for (const char* key : {"open", "get", "learn", "installing"}) {
        EXPECT_EQ(captions.count(key), 1u) << key;
    }

    auto* items = static_cast<CContainerUI*>(list->GetInterface("Container"));
    ASSERT_NE(items, nullptr);
    ASSERT_GE(items->GetCount(), 2);
    const std::set<std::string> entryKeys = {"url", "regedit", "exe", "installer", "setupcommond"};
    bool opensPage = false;
    bool installsTool = false;
    for (int i = 0; i < items->GetCount(); ++i) {
        SCOPED_TRACE(i);
        CControlUI* entry = items->GetItemAt(i);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->GetClass(), "ListContainerElement");
        CControlUI* button = panel.manager->FindSubControlByName(entry, "button");
        CControlUI* progress = panel.manager->FindSubControlByName(entry, "progress");
        ASSERT_NE(button, nullptr);
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(button->GetClass(), "Button");
        EXPECT_EQ(progress->GetClass(), "Progress");
        const std::set<std::string> keys = UserDataKeys(entry->GetUserData());
        ASSERT_FALSE(keys.empty());
        for (const std::string& key : keys) {
            EXPECT_EQ(entryKeys.count(key), 1u) << key;
        }
        if (keys.count("url") != 0) {
            opensPage = true;
            // The store's client pages of this start.
            EXPECT_NE(entry->GetUserData().find(std::string("url=") + kPageUrl), std::string::npos);
        }
        installsTool = installsTool || (keys.count("installer") != 0 && keys.count("regedit") != 0 &&
                                        keys.count("exe") != 0 && keys.count("setupcommond") != 0);
    }
    EXPECT_TRUE(opensPage);
    EXPECT_TRUE(installsTool);
    // The archive carries every image its layout names.
    EXPECT_GE(DuiLib::CDialogBuilder::ListImages(panel.root, panel.manager.get()).size(), 4u);
    EXPECT_TRUE(DuiLib::CDialogBuilder::FindMissingImages(panel.root, panel.manager.get()).empty());
    CPaintManagerUI::SetResourceZip(saved.data, saved.size);
}

TEST_F(ToolboxArchiveTest, TheSampleFollowsThePortsOfEachStartButAnotherArchiveIsKept) {
    demostore::ServedFiles files(m_sandbox.Root() + "/store");
    const auto served = [&] {
        return vtest::ReadFile(files.Find(demostore::Service::Toolbox, "/vanto/toolbox.zip").value_or(""));
    };
    std::string error;
    ASSERT_TRUE(files.EnsureToolboxArchive("http://127.0.0.1:41000/", error)) << error;
    EXPECT_EQ(served(), demostore::ServedFiles::ToolboxSampleArchive("http://127.0.0.1:41000/"));
    EXPECT_NE(served(), m_toolbox);

    ASSERT_TRUE(files.Put(demostore::Service::Toolbox, "/vanto/toolbox.zip", "someone else's", error));
    ASSERT_TRUE(files.EnsureToolboxArchive("http://127.0.0.1:41001/", error)) << error;
    EXPECT_EQ(served(), "someone else's");
}

TEST_F(ToolboxArchiveTest, SwitchingToThePanelArchiveAndBackRestoresTheSkin) {
    const DuiLib::TResourceZip saved = CPaintManagerUI::GetResourceZip();
    EXPECT_EQ(saved.data, m_oem.SkinArchive());
    EXPECT_EQ(saved.size, m_oem.SkinArchiveSize());

    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(m_toolbox.data(), m_toolbox.size()));
    EXPECT_TRUE(CPaintManagerUI::LoadResourceFile("skin.xml").has_value());
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("Form_Main.xml").has_value());
    EXPECT_EQ(Build("Form_Main.xml").root, nullptr);

    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(saved.data, saved.size));
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("skin.xml").has_value());
    EXPECT_NE(Build("Form_Main.xml").root, nullptr);
    EXPECT_EQ(CPaintManagerUI::GetResourceZip().data, m_oem.SkinArchive());
}

}  // namespace

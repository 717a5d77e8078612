#include "TestSupport.h"

#include "platform/duilib/UIManager.h"
#include "platform/os/Paths.h"

#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstring>
#include <thread>

using namespace DuiLib;

namespace {

class ResourceZip : public vtest::SandboxTest {
  protected:
    void TearDown() override {
        CPaintManagerUI::SetResourceZip(nullptr, 0);
        CPaintManagerUI::SetResourcePath("");
    }
};

// Patches the uncompressed size of the first entry in both its local header
// and the central directory, as a lying archive would.
void PatchUncompressedSize(std::string& zip, std::uint32_t size) {
    const std::size_t local = zip.find("PK\x03\x04");
    const std::size_t central = zip.find("PK\x01\x02");
    ASSERT_NE(local, std::string::npos);
    ASSERT_NE(central, std::string::npos);
    std::memcpy(zip.data() + local + 22, &size, 4);
    std::memcpy(zip.data() + central + 24, &size, 4);
}

}  // namespace

TEST_F(ResourceZip, NamesResolveIgnoringCaseSlashesAndDots) {
    const std::string zip = duitest::MakeZip({{"Skin/Main.xml", "<main/>"}, {"default/button/x.png", "img"}});
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size()));
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("skin/MAIN.XML"), "<main/>");
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("skin\\main.xml"), "<main/>");
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("../default/button/x.png"), "img");
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("skin/./other/../main.xml"), "<main/>");
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("skin"));
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile(""));
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("absent.xml"));
    EXPECT_EQ(CPaintManagerUI::GetResourceZip().data, zip.data());
    EXPECT_EQ(CPaintManagerUI::GetResourceZip().size, zip.size());
}

TEST_F(ResourceZip, SwitchingAndRestoringTheArchiveInForce) {
    const std::string skin = duitest::MakeZip({{"dlg.xml", "skin"}});
    const std::string toolbox = duitest::MakeZip({{"dlg.xml", "toolbox"}, {"tool.xml", "t"}});
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(skin.data(), skin.size()));
    const TResourceZip saved = CPaintManagerUI::GetResourceZip();
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(toolbox.data(), toolbox.size()));
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("dlg.xml"), "toolbox");
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("tool.xml"), "t");
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(saved.data, saved.size));
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("dlg.xml"), "skin");
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("tool.xml"));
    EXPECT_TRUE(CPaintManagerUI::SetResourceZip(nullptr, 0));
    EXPECT_EQ(CPaintManagerUI::GetResourceZip().data, nullptr);
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("dlg.xml"));
}

TEST_F(ResourceZip, BytesThatAreNotAZipLeaveNoArchiveInForce) {
    const std::string good = duitest::MakeZip({{"a.xml", "a"}});
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(good.data(), good.size()));
    const std::string junk = "this is not a zip archive at all";
    EXPECT_FALSE(CPaintManagerUI::SetResourceZip(junk.data(), junk.size()));
    EXPECT_EQ(CPaintManagerUI::GetResourceZip().data, nullptr);
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("a.xml"));
    // Cut off before its central directory, the archive is unreadable.
    const std::string truncated = good.substr(0, good.size() / 2);
    EXPECT_FALSE(CPaintManagerUI::SetResourceZip(truncated.data(), truncated.size()));
    EXPECT_FALSE(CPaintManagerUI::SetResourceZip(good.data(), 0));
}

TEST_F(ResourceZip, DamagedEntriesReadAsMissing) {
    const std::string body(64, 'x');
    std::string zip = duitest::MakeZip({{"file.bin", body}}, /*store=*/true);
    // Flip a byte of the stored data: the CRC no longer matches.
    std::string corrupt = zip;
    corrupt[corrupt.find(body)] = 'y';
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(corrupt.data(), corrupt.size()));
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("file.bin"));
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size()));
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("file.bin"), body);
}

TEST_F(ResourceZip, LyingEntrySizesAreRefused) {
    const std::string body(64, 'x');
    std::string huge = duitest::MakeZip({{"file.bin", body}}, true);
    PatchUncompressedSize(huge, 0x7FFFFFFF);  // would be a 2 GiB allocation
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(huge.data(), huge.size()));
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("file.bin"));
    std::string small = duitest::MakeZip({{"file.bin", body}}, true);
    PatchUncompressedSize(small, 3);  // fewer bytes than are really there
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(small.data(), small.size()));
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("file.bin"));
}

TEST_F(ResourceZip, TheResourceFolderAnswersWhatTheArchiveLacks) {
    const std::string skinDir = sandbox.ProgramDir() + "/skin";
    ASSERT_TRUE(os::CreateFolderWithParents(skinDir + "/Default"));
    vtest::WriteFile(skinDir + "/Default/Logo.PNG", "from disk");
    vtest::WriteFile(skinDir + "/both.xml", "disk copy");
    vtest::WriteFile(sandbox.ProgramDir() + "/secret.txt", "outside");
    CPaintManagerUI::SetResourcePath(skinDir);
    EXPECT_EQ(CPaintManagerUI::GetResourcePath(), skinDir + "/");
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("default/Logo.png"), "from disk");
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("../secret.txt"));
    EXPECT_FALSE(CPaintManagerUI::LoadResourceFile("Default"));  // a folder is no file

    const std::string zip = duitest::MakeZip({{"both.xml", "archive copy"}});
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size()));
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("both.xml"), "archive copy");
    EXPECT_EQ(CPaintManagerUI::LoadResourceFile("default/logo.png"), "from disk");
}

TEST_F(ResourceZip, InstancePathIsTheProgramFolderWithASlash) {
    const std::string path = CPaintManagerUI::GetInstancePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.back(), '/');
    EXPECT_EQ(path, os::GetProgramFolder() + "/");
    CPaintManagerUI::SetResourcePath("skin");
    EXPECT_EQ(CPaintManagerUI::GetResourcePath(), path + "skin/");
    int token = 0;
    CPaintManagerUI::SetInstance(&token);
    EXPECT_EQ(CPaintManagerUI::GetInstance(), &token);
    CPaintManagerUI::SetInstance(nullptr);
    auto* name = new std::string("menuAbout");
    CPaintManagerUI::DeletePtr(name);  // ASan reports a leak or a mismatch
}

TEST_F(ResourceZip, LookupsFromWorkersWhileTheArchiveSwitches) {
    const std::string a = duitest::MakeZip({{"f.xml", "a"}});
    const std::string b = duitest::MakeZip({{"f.xml", "b"}});
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(a.data(), a.size()));
    std::atomic<bool> bad{false};
    std::thread reader([&] {
        for (int i = 0; i < 2000; ++i) {
            const auto text = CPaintManagerUI::LoadResourceFile("f.xml");
            if (text && *text != "a" && *text != "b")
                bad = true;
        }
    });
    for (int i = 0; i < 200; ++i) {
        const std::string& next = (i % 2) ? a : b;
        EXPECT_TRUE(CPaintManagerUI::SetResourceZip(next.data(), next.size()));
    }
    reader.join();
    EXPECT_FALSE(bad);
}

// Archives come from whatever tool a partner zips its toolbox with. Other
// writers than libzip (libarchive, behind CMake's and bsdtar's zip output,
// and Info-ZIP) put different extra fields in the local and the central
// headers; such archives are sound and must open.
TEST_F(ResourceZip, ArchivesOfOtherZipWritersOpen) {
    const std::string folder = sandbox.Root() + "/writers";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string layout = "<Window><VerticalLayout name=\"root\"/></Window>";
    vtest::WriteFile(folder + "/skin.xml", layout);
    const vtest::ProcessResult libarchive =
        vtest::RunProcess({"cmake", "-E", "tar", "cf", "libarchive.zip", "--format=zip", "skin.xml"}, folder);
    ASSERT_EQ(libarchive.exitCode, 0) << libarchive.err;
    const vtest::ProcessResult infoZip = vtest::RunProcess({"zip", "-q", "infozip.zip", "skin.xml"}, folder);
    ASSERT_EQ(infoZip.exitCode, 0) << infoZip.err;
    for (const char* name : {"libarchive.zip", "infozip.zip"}) {
        const std::string zip = vtest::ReadFile(folder + "/" + name);
        ASSERT_TRUE(CPaintManagerUI::SetResourceZip(zip.data(), zip.size())) << name;
        EXPECT_EQ(CPaintManagerUI::LoadResourceFile("SKIN.xml"), layout) << name;
    }
}

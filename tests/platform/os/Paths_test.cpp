#include "platform/os/Paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/Sandbox.h"

namespace {

TEST(PathJoin, PutsExactlyOneSeparatorBetweenFolderAndName) {
    EXPECT_EQ(os::PathJoin("/a/b", "c.ini"), "/a/b/c.ini");
    EXPECT_EQ(os::PathJoin("/a/b/", "c.ini"), "/a/b/c.ini");
    EXPECT_EQ(os::PathJoin("/a/b/", "/c.ini"), "/a/b/c.ini");
    EXPECT_EQ(os::PathJoin("", "c.ini"), "/c.ini");
    EXPECT_EQ(os::PathJoin("/a", "language/cn.dat"), "/a/language/cn.dat");
}

TEST(ParentFolder, DropsTheLastComponent) {
    EXPECT_EQ(os::ParentFolder("/opt/vanto/vanto"), "/opt/vanto");
    EXPECT_EQ(os::ParentFolder("/opt/vanto/"), "/opt");
    EXPECT_EQ(os::ParentFolder("/vanto"), "/");
    EXPECT_EQ(os::ParentFolder("vanto"), ".");
    EXPECT_EQ(os::FileNamePart("/opt/vanto/oem.ini"), "oem.ini");
    EXPECT_EQ(os::FileNamePart("oem.ini"), "oem.ini");
}

class PathsTest : public vtest::SandboxTest {};

TEST_F(PathsTest, FoldersComeFromTheEnvironment) {
    EXPECT_EQ(os::GetUserDataFolder(), sandbox.ConfigHome() + "/vanto");
    EXPECT_EQ(os::GetMachineDataFolder(), sandbox.MachineDir());
    EXPECT_EQ(os::GetProgramFolder(), sandbox.ProgramDir());

    sandbox.SetEnv("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(os::GetUserDataFolder(), sandbox.Home() + "/.config/vanto");
    sandbox.SetEnv("XDG_CONFIG_HOME", "relative/dir");  // not absolute: ignored, as the XDG rules say
    EXPECT_EQ(os::GetUserDataFolder(), sandbox.Home() + "/.config/vanto");
    sandbox.SetEnv("VANTO_MACHINE_DIR", std::nullopt);
    EXPECT_EQ(os::GetMachineDataFolder(), "/var/lib/vanto");
}

TEST_F(PathsTest, TheDocumentsFolderIsTheDesktopsWhenItExistsAndElseHome) {
    const std::string dirs = sandbox.ConfigHome() + "/user-dirs.dirs";
    EXPECT_EQ(os::GetDocumentsFolder(), sandbox.Home());  // no user-dirs.dirs
    ASSERT_TRUE(os::CreateFolderWithParents(sandbox.Home() + "/文档"));
    const struct {
        std::string line;
        std::string folder;
    } cases[] = {
        {"XDG_DOCUMENTS_DIR=\"$HOME/文档\"", sandbox.Home() + "/文档"},
        {"XDG_DOCUMENTS_DIR=\"" + sandbox.Root() + "\"", sandbox.Root()},
        {"XDG_DOCUMENTS_DIR=\"$HOME/missing\"", sandbox.Home()},
        {"XDG_DOCUMENTS_DIR=\"relative\"", sandbox.Home()},
        {"XDG_DOCUMENTS_DIR=\"$HOME/文档", sandbox.Home()},
        {"# XDG_DOCUMENTS_DIR=\"/\"", sandbox.Home()},
    };
    for (const auto& c : cases) {
        vtest::WriteFile(dirs, "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n" + c.line + "\n");
        EXPECT_EQ(os::GetDocumentsFolder(), c.folder) << c.line;
    }
}

TEST_F(PathsTest, ProgramFolderWithoutOverrideIsTheExecutablesFolder) {
    os::OverrideProgramFolder({});
    EXPECT_EQ(os::GetProgramFolder(), VANTO_BINARY_DIR "/tests");
    EXPECT_EQ(os::GetProgramPath(), VANTO_BINARY_DIR "/tests/os_test");
}

TEST_F(PathsTest, CreatesMissingParents) {
    const std::string deep = sandbox.Root() + "/a/b/c/vanto";
    EXPECT_TRUE(os::CreateFolderWithParents(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(os::CreateFolderWithParents(deep));  // already there
    vtest::WriteFile(sandbox.Root() + "/file", "x");
    EXPECT_FALSE(os::CreateFolderWithParents(sandbox.Root() + "/file"));
    EXPECT_FALSE(os::CreateFolderWithParents(sandbox.Root() + "/file/below"));
    EXPECT_FALSE(os::CreateFolderWithParents(""));
}

TEST_F(PathsTest, NewFoldersArePrivateToTheUser) {
    const std::string folder = sandbox.Root() + "/p/vanto";
    ASSERT_TRUE(os::CreateFolderWithParents(folder));
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(PathsTest, ResolvesTheLastComponentWithoutRegardToCase) {
    const std::string dir = sandbox.ProgramDir();
    EXPECT_EQ(os::ResolveCaseInsensitive(dir + "/OEM.ini"), dir + "/OEM.ini");  // nothing there: as given
    vtest::WriteFile(dir + "/oem.ini", "[Partner]\n");
    EXPECT_EQ(os::ResolveCaseInsensitive(dir + "/OEM.ini"), dir + "/oem.ini");
    EXPECT_EQ(os::ResolveCaseInsensitive(dir + "/oem.ini"), dir + "/oem.ini");
    // Two spellings on a case-sensitive file system: every caller settles on the same one.
    vtest::WriteFile(dir + "/Oem.ini", "[Partner]\n");
    EXPECT_EQ(os::ResolveCaseInsensitive(dir + "/OEM.INI"), dir + "/Oem.ini");
    EXPECT_EQ(os::ResolveCaseInsensitive(dir + "/oEm.InI"), dir + "/Oem.ini");
    EXPECT_EQ(os::ResolveCaseInsensitive(sandbox.Root() + "/missing/OEM.ini"),
              sandbox.Root() + "/missing/OEM.ini");
}

}  // namespace

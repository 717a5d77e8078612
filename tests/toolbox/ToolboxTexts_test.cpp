// The texts the toolbox reads from its archive: the user-data items of the
// list and its entries, and the names and addresses an entry may hand the
// client. (The version file's rules are the config tests'.)

#include <gtest/gtest.h>

#include <string>

#include "toolbox/ServerNames.h"
#include "toolbox/UserData.h"

namespace {

TEST(UserDataValueTest, KeysMatchWithoutCaseAndValuesKeepSpacesAndEquals) {
    const std::string captions = "OPEN=Open it;get=Get = it now ;;installing=…";
    EXPECT_EQ(UserDataValue(captions, "open"), "Open it");
    EXPECT_EQ(UserDataValue(captions, "get"), "Get = it now ");
    EXPECT_EQ(UserDataValue(captions, "installing"), "…");
    EXPECT_EQ(UserDataValue(captions, "learn"), "");
    // The first item with the key wins; a key must be followed by "=".
    EXPECT_EQ(UserDataValue("url2=x;url=a;URL=b", "url"), "a");
    EXPECT_EQ(UserDataValue("url;url =x", "url"), "");
    // The text after the last ";" is an item; an empty value is a value.
    EXPECT_EQ(UserDataValue("a=1;exe=", "exe"), "");
    EXPECT_EQ(UserDataValue("a=1;exe=tool", "exe"), "tool");
    EXPECT_EQ(UserDataValue("", "exe"), "");
    EXPECT_EQ(UserDataValue(";;;", "exe"), "");
}

TEST(ServerNamesTest, AnInstallerNameIsOnePlainFileNameOfNoneOfTheClientsFiles) {
    EXPECT_TRUE(IsPlainServerFileName("DemoToolSetup.exe"));
    EXPECT_TRUE(IsPlainServerFileName("工具 安装.exe"));
    EXPECT_TRUE(IsPlainServerFileName("..."));
    for (const std::string bad :
         {"", ".", "..", "a/b.exe", "../x", "/etc/passwd", "a\\b.exe", "x\ny", "x\x7f"})
        EXPECT_FALSE(IsPlainServerFileName(bad)) << bad;
    for (const std::string own :
         {"registry.db", "config.ini", "toolbox.dat", "pic_head.jpg", "VANTOSetup.exe", "Error.tmp",
          "KD_template", "CONFIG.INI", "vantosetup.EXE"})
        EXPECT_FALSE(IsPlainServerFileName(own)) << own;
    EXPECT_TRUE(IsPlainServerFileName(std::string(255, 'a')));
    EXPECT_FALSE(IsPlainServerFileName(std::string(256, 'a')));
}

TEST(ServerNamesTest, TheToolProgramStaysInsideItsFolder) {
    EXPECT_EQ(ToolProgramPath("/opt/tool", "demotool"), "/opt/tool/demotool");
    EXPECT_EQ(ToolProgramPath("/opt/tool/", "bin\\run.sh"), "/opt/tool/bin/run.sh");
    EXPECT_EQ(ToolProgramPath("/opt/tool", "./bin//run"), "/opt/tool/bin/run");
    for (const std::string bad :
         {"", ".", "./", "/bin/sh", "\\bin\\sh", "../x", "bin/../../x", "a\\..\\..\\x", "a\tb"})
        EXPECT_FALSE(ToolProgramPath("/opt/tool", bad)) << bad;
    EXPECT_FALSE(ToolProgramPath("", "demotool"));
}

TEST(ServerNamesTest, OnlyWebAddressesAreOpened) {
    EXPECT_TRUE(IsWebAddress("http://127.0.0.1:47802/"));
    EXPECT_TRUE(IsWebAddress("HTTPS://example.com/a?b=c"));
    for (const std::string bad : {"", "http://", "https://", "file:///etc/passwd", "javascript:alert(1)",
                                  "ftp://x/", "/usr/bin/xterm", "--help", "http://a b/", "http://a\n"})
        EXPECT_FALSE(IsWebAddress(bad)) << bad;
}

}  // namespace

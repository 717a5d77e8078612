#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, ArgumentsAreJoinedWithSingleSpacesWithoutTheProgramName) {
    const char* argv[] = {"/opt/vanto/vanto", "/uninstall", "x y", "中文", nullptr};
    EXPECT_EQ(JoinCommandLine(4, argv), u"/uninstall x y 中文");
    const char* alone[] = {"vanto", nullptr};
    EXPECT_EQ(JoinCommandLine(1, alone), u"");
}

TEST(CommandLine, SwitchIsACaseSensitiveSearchAnywhereInTheLine) {
    EXPECT_TRUE(CommandLineHas(u"/uninstall", u"/uninstall"));
    EXPECT_TRUE(CommandLineHas(u"--x=/uninstallnow", u"/uninstall"));
    EXPECT_FALSE(CommandLineHas(u"/UNINSTALL", u"/uninstall"));
    EXPECT_FALSE(CommandLineHas(u"/uninstal", u"/uninstall"));
    EXPECT_FALSE(CommandLineHas(u"", u"/makemachine"));
}

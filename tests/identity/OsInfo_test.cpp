#include "identity/OsInfo.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <string>

#include "platform/os/Text.h"

namespace {

std::optional<std::string> NameOf(DWORD major, DWORD minor) {
    char16_t buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    if (!GetOsName(buffer, std::size(buffer), WindowsVersion{major, minor})) {
        EXPECT_EQ(buffer[0], u'#') << "buffer changed for " << major << "." << minor;
        return std::nullopt;
    }
    return os::Utf16ToUtf8(buffer);
}

TEST(OsName, KnownReleasesHaveTheirReportNames) {
    EXPECT_EQ(NameOf(5, 0), "Windows2000");
    EXPECT_EQ(NameOf(5, 1), "WindowsXP");
    EXPECT_EQ(NameOf(5, 2), "Windows2003");
    EXPECT_EQ(NameOf(6, 0), "Vista");
    EXPECT_EQ(NameOf(6, 1), "Windows7");
    EXPECT_EQ(NameOf(6, 2), "Windows8");
    EXPECT_EQ(NameOf(6, 3), "Windows8.1");
    // Windows 10 and 11 (both 10.0) are spelled with a lower-case w.
    EXPECT_EQ(NameOf(10, 0), "windows10");
}

TEST(OsName, UnknownPairsLeaveTheBufferUnchanged) {
    EXPECT_EQ(NameOf(6, 4), std::nullopt);
    EXPECT_EQ(NameOf(10, 1), std::nullopt);
    EXPECT_EQ(NameOf(4, 0), std::nullopt);
    EXPECT_EQ(NameOf(11, 0), std::nullopt);
    EXPECT_EQ(OsNameForVersion(3, 51), "");
}

TEST(OsName, LinuxHasNoWindowsNameAndNoBufferIsOverrun) {
    char16_t buffer[8] = {u'k', u'e', u'e', u'p', 0};
    EXPECT_FALSE(GetOsName(buffer, std::size(buffer)));
    EXPECT_EQ(std::u16string(buffer), u"keep");

    char16_t small[6];
    ASSERT_TRUE(GetOsName(small, std::size(small), WindowsVersion{5, 0}));
    EXPECT_EQ(std::u16string(small), u"Windo");
    EXPECT_FALSE(GetOsName(small, 0, WindowsVersion{5, 0}));
    EXPECT_FALSE(GetOsName(nullptr, 10, WindowsVersion{5, 0}));
}

TEST(OsBits, FollowTheKernelsMachineName) {
    EXPECT_EQ(OsBitsForMachine("x86_64"), 64);
    EXPECT_EQ(OsBitsForMachine("aarch64"), 64);
    EXPECT_EQ(OsBitsForMachine("ppc64le"), 64);
    EXPECT_EQ(OsBitsForMachine("s390x"), 64);
    EXPECT_EQ(OsBitsForMachine("riscv64"), 64);
    EXPECT_EQ(OsBitsForMachine("i686"), 32);
    EXPECT_EQ(OsBitsForMachine("armv7l"), 32);
    EXPECT_EQ(OsBitsForMachine(""), 32);

    utsname info{};
    ASSERT_EQ(uname(&info), 0);
    EXPECT_EQ(GetOsBits(), OsBitsForMachine(info.machine));
}

}  // namespace

// The version files of the update and toolbox hosts: what a file offers,
// how versions compare, and the once-a-day rule on the stored day.
#include "config/VersionFile.h"

#include "config/Settings.h"
#include "platform/os/Registry.h"

#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

TEST(VersionFileTest, VersionsCompareAsUtf16TextsCodeUnitByCodeUnitWithTheShorterTextSmaller) {
    struct Case {
        const char* server;
        const char* local;
        bool newer;
    };
    const Case cases[] = {
        {"1.2.3", "1.2.3", false},
        {"1.2.3", "1.2.10", true},
        {"1.2.10", "1.2.3", false},
        {"1.2.3\r", "1.2.3", true},
        {"1.10", "1.9", false},
        {"1.2", "1.2.0", false},
        {"1.2.0", "1.2", true},
        {"2", "10", true},
        {"10", "2", false},
        {"1.0", "1.0", false},
        {"1.0.1", "1.0", true},
        {"1", "", true},
        {"0", "", true},
        {"", "", false},
        {"", "1.0", false},
        {"V2", "v1", false},
        {"1.0 ", "1.0", true},
        // A character beyond U+FFFF is a surrogate pair (0xD83D…), which sorts
        // below U+FF01 in UTF-16 although its code point (and UTF-8) is higher.
        {"\xEF\xBC\x81", "\xF0\x9F\x98\x80", true},
        {"\xF0\x9F\x98\x80", "\xEF\xBC\x81", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionFile::IsNewer(c.server, c.local), c.newer) << c.server << " vs " << c.local;
}

TEST(VersionFileTest, LineFeedsAndTabsGoFirstAndOnlyAnExactLowerCasePrefixOffersAVersion) {
    EXPECT_EQ(VersionFile::ReadVersion("version=1.2.3"), "1.2.3");
    EXPECT_EQ(VersionFile::ReadVersion("version=2"), "2");
    // The carriage return stays and belongs to the version.
    EXPECT_EQ(VersionFile::ReadVersion("version=1.2.3\r\n"), "1.2.3\r");
    EXPECT_EQ(VersionFile::ReadVersion("ver\nsion=\t1.2\n.3\n"), "1.2.3");
    EXPECT_EQ(VersionFile::ReadVersion("ver\tsion=1.\n2\n"), "1.2");
    EXPECT_EQ(VersionFile::ReadVersion("version="), "");
    EXPECT_EQ(VersionFile::ReadVersion("version= 1.2 beta"), " 1.2 beta");
    EXPECT_EQ(VersionFile::ReadVersion("version=a=b"), "a=b");
    EXPECT_FALSE(VersionFile::ReadVersion("Version=1.2.3"));
    EXPECT_FALSE(VersionFile::ReadVersion("VERSION=1.2.3"));
    EXPECT_FALSE(VersionFile::ReadVersion(" version=1.2.3"));
    EXPECT_FALSE(VersionFile::ReadVersion("\rversion=1.2.3"));
    EXPECT_FALSE(VersionFile::ReadVersion("version"));
    EXPECT_FALSE(VersionFile::ReadVersion(""));
    EXPECT_EQ(VersionFile::ReadVersion(std::string("version=1\0002", 11)), std::string("1\0002", 3));
}

class VersionFileDayTest : public vtest::SandboxTest {
  protected:
    static std::optional<DWORD> Stored() {
        return os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay);
    }
};

TEST_F(VersionFileDayTest, TheLowSixteenBitsOfTheStoredDayTellACheckOfTodayWhateverTheMonth) {
    const VersionFile file{std::string(settings::kToolboxDay)};
    // Nothing stored reads as day 0, which no day of a month is.
    EXPECT_FALSE(file.CheckedOn(5));
    EXPECT_TRUE(file.CheckedOn(0));
    for (const DWORD stored : {DWORD{5}, DWORD{0x00070005}, DWORD{0xFFFF0005}}) {
        ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay, stored));
        EXPECT_TRUE(file.CheckedOn(5)) << stored;
        EXPECT_FALSE(file.CheckedOn(4)) << stored;
    }
    // Recording writes the plain day, and only the value the object names.
    ASSERT_TRUE(file.RecordDay(31));
    EXPECT_EQ(Stored(), 31u);
    EXPECT_TRUE(file.CheckedOn(31));
    EXPECT_FALSE(os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay));
}

TEST_F(VersionFileDayTest, TodayIsTheLocalDayUnlessASourceIsSetAndACopyKeepsItsSource) {
    VersionFile file{std::string(settings::kUpdateDay)};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // Around midnight the two readings may differ by a day.
    const int today = file.Today();
    EXPECT_TRUE(today == local.tm_mday || today == VersionFile::LocalDayOfMonth()) << today;
    EXPECT_GE(today, 1);
    EXPECT_LE(today, 31);
    file.SetDayOfMonthSource([] { return 17; });
    const VersionFile copy = file;  // what a worker takes along
    file.SetDayOfMonthSource({});
    EXPECT_EQ(copy.Today(), 17);
    EXPECT_GE(file.Today(), 1);
}

}  // namespace

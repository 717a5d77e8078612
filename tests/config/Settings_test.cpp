#include "config/Settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Sandbox.h"

namespace {

using settings::kAdId;
using settings::kClientKey;
using settings::kInstallerName;

TEST(AdIdFromInstallerName, FollowsTheInstallerNamingRule) {
    struct Case {
        const char* installer;
        const char* adId;
    };
    const Case cases[] = {
        {"C:\\Temp\\Setup_1234.exe", "1234"},
        {"/opt/downloads/Setup_1234.exe", "1234"},
        {"Setup_1234.exe", "1234"},
        {"Setup.exe", ""},           // no underscore, no hyphen
        {"Setup-0.exe", ""},         // number not greater than 0
        {"Setup-15.exe", "15"},      // hyphen when there is no underscore
        {"a_b_3.exe", ""},           // text after the first underscore has no leading number
        {"Setup_77x.exe", "77x"},    // the whole remainder is kept
        {"Setup_.exe", ""},          // nothing after the underscore
        {"Setup_-5.exe", ""},        // negative
        {"Setup_12", "12"},          // no extension
        {"Setup_3.1.exe", "3.1"},    // only the last extension is removed
        {"C:\\a_9\\Setup.exe", ""},  // folders do not count
        {"Setup-a_5.exe", "5"},      // the underscore wins over an earlier hyphen
        {"Setup_99999999999999999999.exe", "99999999999999999999"},  // saturates, still > 0
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AdIdFromInstallerName(c.installer), c.adId) << c.installer;
    }
}

class ReadAdIdTest : public vtest::SandboxTest {};

TEST_F(ReadAdIdTest, PerUserValueWinsEvenWhenEmpty) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kClientKey, kInstallerName, "Setup_1234.exe"));
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, kAdId, ""));
    EXPECT_EQ(ReadAdId(true), "");
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, kAdId, "42"));
    EXPECT_EQ(ReadAdId(true), "42");
    EXPECT_EQ(ReadAdId(false), "42");
}

TEST_F(ReadAdIdTest, FallbackDerivesAndStoresTheInstallerId) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kClientKey, kInstallerName, "C:\\Temp\\Setup_1234.exe"));
    EXPECT_EQ(ReadAdId(false), "");  // not allowed: nothing derived, nothing stored
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, kClientKey, kAdId));

    EXPECT_EQ(ReadAdId(true), "1234");
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, kClientKey, kAdId), "1234");
    // From now on every caller sees it.
    EXPECT_EQ(ReadAdId(false), "1234");
}

TEST_F(ReadAdIdTest, FallbackStoresTheWholeRemainder) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kClientKey, kInstallerName, "Setup_77x.exe"));
    EXPECT_EQ(ReadAdId(true), "77x");
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, kClientKey, kAdId), "77x");
}

TEST_F(ReadAdIdTest, UnusableInstallerNameStoresNothing) {
    for (const char* name : {"Setup.exe", "Setup-0.exe", "a_b_3.exe"}) {
        ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kClientKey, kInstallerName, name));
        EXPECT_EQ(ReadAdId(true), "") << name;
        EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, kClientKey, kAdId)) << name;
    }
}

TEST_F(ReadAdIdTest, NothingStoredGivesEmpty) {
    EXPECT_EQ(ReadAdId(true), "");
    EXPECT_EQ(ReadAdId(false), "");
}

TEST_F(ReadAdIdTest, OverlongPerUserValueFailsTheReadAndFallsBack) {
    // 261 characters take 522 bytes: more than the 520-byte buffer, so the
    // read fails as if the value were missing.
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, kAdId, std::string(261, '7')));
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kClientKey, kInstallerName, "Setup_5.exe"));
    EXPECT_EQ(ReadAdId(false), "");
    EXPECT_EQ(ReadAdId(true), "5");
}

TEST_F(ReadAdIdTest, ProgramVersionIsThePerUserVersionText) {
    EXPECT_EQ(ReadProgramVersion(), "");
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, "version", "2.3.0.11"));
    EXPECT_EQ(ReadProgramVersion(), "2.3.0.11");
}

// The package records the version for the machine; a user's own value (the
// installer's) still decides, even an empty one.
TEST_F(ReadAdIdTest, ProgramVersionFallsBackToTheMachineOnlyWhenTheUserHasNone) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kClientKey, settings::kVersion, "1.0.0"));
    EXPECT_EQ(ReadProgramVersion(), "1.0.0");
    // Too long for the read: as if missing.
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, settings::kVersion, std::string(261, '9')));
    EXPECT_EQ(ReadProgramVersion(), "1.0.0");
    for (const char* own : {"", "2.3.0.11"}) {
        ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, settings::kVersion, own));
        EXPECT_EQ(ReadProgramVersion(), own);
    }
}

}  // namespace

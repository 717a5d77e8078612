#include "identity/InstallUuid.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/os/Registry.h"
#include "support/Sandbox.h"

namespace {

class InstallUuidStore : public vtest::SandboxTest {
  protected:
    static std::optional<std::string> Stored() {
        return os::RegGetString(HKEY_LOCAL_MACHINE, kInstallUuidKey, kInstallUuidValue, 520);
    }
    static DWORD StoredBytes() {
        DWORD size = 0;
        SHGetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext", u"kduuid",
                    nullptr, nullptr, &size);
        return size;
    }
};

TEST(InstallUuidFormat, FieldsAreUpperCaseHexWithoutSeparators) {
    const GUID guid{0x0A1B2C3D, 0x00EF, 0xABCD, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    EXPECT_EQ(FormatGuid(guid), "0A1B2C3D00EFABCD0123456789ABCDEF");
    const GUID zero{};
    EXPECT_EQ(FormatGuid(zero), std::string(32, '0'));
}

TEST_F(InstallUuidStore, MissingIdentifierIsCreatedAsThirtyTwoUpperCaseHexDigits) {
    EXPECT_EQ(ReadInstallUuid(), "");
    EnsureInstallUuid();
    const std::string created = ReadInstallUuid();
    EXPECT_TRUE(std::regex_match(created, std::regex("[0-9A-F]{32}"))) << created;
    EXPECT_EQ(StoredBytes(), 64u);

    // Once there, it stays.
    EnsureInstallUuid();
    EXPECT_EQ(ReadInstallUuid(), created);
}

TEST_F(InstallUuidStore, AnyNonEmptyIdentifierIsKeptEvenWhenNotHex) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kInstallUuidKey, kInstallUuidValue, "not a guid"));
    EnsureInstallUuid();
    EXPECT_EQ(ReadInstallUuid(), "not a guid");
}

TEST_F(InstallUuidStore, EmptyIdentifierIsReplaced) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kInstallUuidKey, kInstallUuidValue, ""));
    const GUID fixed{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    EnsureInstallUuid([&fixed](GUID* guid) {
        *guid = fixed;
        return true;
    });
    EXPECT_EQ(ReadInstallUuid(), "123456789ABCDEF00102030405060708");
}

TEST_F(InstallUuidStore, FailedGuidLeavesAnEmptyValueThatALaterRunReplaces) {
    EnsureInstallUuid([](GUID*) { return false; });
    EXPECT_EQ(Stored(), std::optional<std::string>(""));
    EXPECT_EQ(ReadInstallUuid(), "");
    EnsureInstallUuid();
    EXPECT_EQ(ReadInstallUuid().size(), 32u);
}

TEST_F(InstallUuidStore, UnwritableMachineHiveFailsQuietly) {
    // A plain file where the machine folder should be: nothing can be created there.
    const std::string blocked = sandbox.Root() + "/blocked";
    vtest::WriteFile(blocked, "not a folder");
    sandbox.SetEnv("VANTO_MACHINE_DIR", blocked + "/machine");
    EnsureInstallUuid();
    EXPECT_EQ(ReadInstallUuid(), "");
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os/Registry.h"
#include "support/Sandbox.h"

namespace {

const std::string kTool = VANTO_BIN_DIR "/vanto-reg";

vtest::ProcessResult Reg(std::vector<std::string> args) {
    args.insert(args.begin(), kTool);
    return vtest::RunProcess(args);
}

class VantoReg : public vtest::SandboxTest {};

TEST_F(VantoReg, QueryShowsValuesWrittenByTheLibraryLikeReg) {
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid", "0123456789ABCDEF"));
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, "Software\\vanto", "UpdateDay", 5));
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, "Software\\vanto", "Big", 0xDEADBEEF));
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "NickName", "墨林"));
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "", "default"));
    const unsigned char blob[] = {0x00, 0x1F, 0xAB};
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\vanto", u"Marker", REG_BINARY, blob, 3),
              ERROR_SUCCESS);
    const char16_t terminated[] = u"1.2\0";
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\vanto", u"Version", REG_SZ, terminated, 8),
              ERROR_SUCCESS);

    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"query", "HKLM", "Software\\vanto", "uid"},
         "\nHKEY_LOCAL_MACHINE\\Software\\vanto\n    uid    REG_SZ    0123456789ABCDEF\n\n"},
        {{"query", "hkey_current_user", "SOFTWARE\\VANTO", "updateday"},
         "\nHKEY_CURRENT_USER\\Software\\vanto\n    UpdateDay    REG_DWORD    0x5\n\n"},
        {{"query", "HKCU", "Software\\vanto", "Big"},
         "\nHKEY_CURRENT_USER\\Software\\vanto\n    Big    REG_DWORD    0xdeadbeef\n\n"},
        {{"query", "HKCU", "Software\\vanto", "NickName"},
         "\nHKEY_CURRENT_USER\\Software\\vanto\n    NickName    REG_SZ    墨林\n\n"},
        {{"query", "HKCU", "Software\\vanto", ""},
         "\nHKEY_CURRENT_USER\\Software\\vanto\n    (Default)    REG_SZ    default\n\n"},
        {{"query", "HKCU", "Software\\vanto", "Marker"},
         "\nHKEY_CURRENT_USER\\Software\\vanto\n    Marker    REG_BINARY    001FAB\n\n"},
        {{"query", "HKCU", "Software\\vanto", "Version"},
         "\nHKEY_CURRENT_USER\\Software\\vanto\n    Version    REG_SZ    1.2\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[3]);
        const auto result = Reg(c.args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(VantoReg, ValuesItSetsAreReadBackByTheLibrary) {
    struct Case {
        std::vector<std::string> args;
        DWORD type;
        std::vector<unsigned char> data;
    };
    const Case cases[] = {
        {{"set", "HKCU", "Software\\vanto", "UpdateDay", "REG_DWORD", "5"}, REG_DWORD, {5, 0, 0, 0}},
        {{"set", "HKCU", "Software\\vanto", "ToolboxDay", "REG_DWORD", "0x1F"}, REG_DWORD, {0x1F, 0, 0, 0}},
        {{"set", "HKCU", "Software\\vanto", "Max", "reg_dword", "4294967295"},
         REG_DWORD,
         {0xFF, 0xFF, 0xFF, 0xFF}},
        {{"set", "HKEY_LOCAL_MACHINE", "Software\\vanto", "uid", "REG_SZ", "AB"}, REG_SZ, {'A', 0, 'B', 0}},
        {{"set", "HKCU", "Software\\vanto", "Empty", "REG_SZ", ""}, REG_SZ, {}},
        {{"set", "HKCU", "Software\\vanto", "Raw", "REG_BINARY", "00ff7A"}, REG_BINARY, {0x00, 0xFF, 0x7A}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[3]);
        const auto result = Reg(c.args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const HKEY root = c.args[1] == "HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const auto value = os::RegReadValue(root, c.args[2], c.args[3]);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, c.type);
        EXPECT_EQ(value->data, c.data);
    }
    ASSERT_EQ(Reg({"set", "HKLM", "Software\\vanto", "uid", "REG_SZ", "0123456789ABCDEF"}).exitCode, 0);
    EXPECT_EQ(os::RegGetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid"), "0123456789ABCDEF");
    EXPECT_EQ(os::RegGetDword(HKEY_CURRENT_USER, "Software\\vanto", "UpdateDay"), 5u);
}

TEST_F(VantoReg, DeleteRemovesTheValueAndMissingValuesExitWithOne) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Account", "token"));
    auto result = Reg({"delete", "HKCU", "Software\\vanto", "account"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, "Software\\vanto", "Account"));

    for (const auto& args : {std::vector<std::string>{"delete", "HKCU", "Software\\vanto", "Account"},
                             std::vector<std::string>{"query", "HKCU", "Software\\vanto", "Account"},
                             std::vector<std::string>{"query", "HKLM", "Software\\vanto", "uid"}}) {
        result = Reg(args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("unable to find"), std::string::npos) << result.err;
    }
    EXPECT_FALSE(vtest::Exists(os::HivePath(HKEY_LOCAL_MACHINE)));
}

TEST_F(VantoReg, FailedWriteExitsWithOneAndLeavesTheFileAlone) {
    const std::string hive = os::HivePath(HKEY_LOCAL_MACHINE);
    vtest::WriteFile(hive, "not a database, but someone's file\n");
    const auto result = Reg({"set", "HKLM", "Software\\vanto", "uid", "REG_SZ", "0123456789ABCDEF"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(hive), std::string::npos) << result.err;
    EXPECT_EQ(vtest::ReadFile(hive), "not a database, but someone's file\n");
}

TEST_F(VantoReg, BadUsageExitsWithTwoAndWritesNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"query", "HKCU", "Software\\vanto"},
        {"query", "HKCU", "Software\\vanto", "a", "extra"},
        {"list", "HKCU", "Software\\vanto", "a"},
        {"query", "HKCR", "Software\\vanto", "a"},
        {"set", "HKCU", "Software\\vanto", "a", "REG_DWORD"},
        {"set", "HKCU", "Software\\vanto", "a", "REG_QWORD", "1"},
        {"set", "HKCU", "Software\\vanto", "a", "REG_DWORD", "12x"},
        {"set", "HKCU", "Software\\vanto", "a", "REG_DWORD", "-1"},
        {"set", "HKCU", "Software\\vanto", "a", "REG_DWORD", "4294967296"},
        {"set", "HKCU", "Software\\vanto", "a", "REG_DWORD", "0x"},
        {"set", "HKCU", "Software\\vanto", "a", "REG_DWORD", ""},
        {"set", "HKCU", "Software\\vanto", "a", "REG_BINARY", "ABC"},
        {"set", "HKCU", "Software\\vanto", "a", "REG_BINARY", "zz"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        SCOPED_TRACE(joined);
        const auto result = Reg(args);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("usage: vanto-reg"), std::string::npos);
    }
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder()));
}

}  // namespace

#include "identity/MachineCode.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "platform/os/LinuxDeviceSource.h"
#include "platform/os/Registry.h"
#include "platform/os/Text.h"
#include "support/FakeDeviceSource.h"
#include "support/Sandbox.h"

namespace {

using vtest::FakeDeviceSource;

// A BIOS area whose first checksum (bytes 0-2047) is 0x797, below 0x1000,
// and whose second (bytes 1024-3071) is 0xB9D45861.
os::BiosArea PatternedBios() {
    os::BiosArea area{};
    for (std::size_t i = 0; i < area.size(); ++i) {
        area[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const std::uint32_t patch = 458764;
    for (int i = 0; i < 4; ++i) {
        area[i] = static_cast<std::uint8_t>(patch >> (8 * i));
    }
    return area;
}

TEST(HardwareText, DrivesJoinInDriveOrderWithTrailingSpacesTrimmedAndLeadingKept) {
    FakeDeviceSource devices;
    devices.SetDrive(3, FakeDeviceSource::MakeIdentify("S3"));
    devices.SetDrive(1, FakeDeviceSource::MakeIdentify("  S1 LEAD"));
    devices.SetDrive(0, FakeDeviceSource::MakeIdentify("S0-SERIAL"));
    EXPECT_EQ(BuildHardwareText(devices), "S0-SERIAL  S1 LEADS3");
    EXPECT_EQ(devices.DriveQueries(), 4);
    EXPECT_EQ(devices.ScsiQueries(), 0);
}

TEST(HardwareText, SerialIsReadHighByteFirstAndEndsAtANul) {
    os::IdentifyData data{};
    // Word 10 = 0x4142 stored little-endian: "AB". Word 11 = 0x4344: "CD".
    data[20] = 0x42;
    data[21] = 0x41;
    data[22] = 0x44;
    data[23] = 0x43;
    // Word 12 is zero; what follows it is not part of the serial.
    data[26] = 'F';
    data[27] = 'E';
    FakeDeviceSource devices;
    devices.SetDrive(0, data);
    EXPECT_EQ(BuildDiskPart(devices), "ABCD");

    FakeDeviceSource full;
    full.SetDrive(0, FakeDeviceSource::MakeIdentify("12345678901234567890"));
    EXPECT_EQ(BuildDiskPart(full), "12345678901234567890");
}

TEST(HardwareText, ScsiRouteIsTakenOnlyWhenNoDriveAnswered) {
    FakeDeviceSource devices;
    devices.SetScsiTarget(0, 1, FakeDeviceSource::MakeIdentify("P0T1"));
    devices.SetScsiTarget(1, 0, FakeDeviceSource::MakeIdentify("EMPTY-SLOT", ""));
    devices.SetScsiTarget(1, 1, FakeDeviceSource::MakeIdentify("  P1T1  "));
    EXPECT_EQ(BuildDiskPart(devices), "P0T1  P1T1");
    EXPECT_EQ(devices.ScsiQueries(), 4);

    // A drive that answers with a blank serial still counts as an answer.
    FakeDeviceSource answered = devices;
    answered.SetDrive(2, FakeDeviceSource::MakeIdentify(""));
    const int queriesBefore = answered.ScsiQueries();
    EXPECT_EQ(BuildDiskPart(answered), "");
    EXPECT_EQ(answered.ScsiQueries(), queriesBefore);
}

TEST(HardwareText, BiosPartIsTwoChecksumsWithAtLeastFourDigits) {
    FakeDeviceSource devices;
    devices.SetBios(PatternedBios());
    EXPECT_EQ(BuildBiosPart(devices), "0797B9D45861");

    devices.SetDrive(0, FakeDeviceSource::MakeIdentify("S0-SERIAL"));
    devices.SetDrive(1, FakeDeviceSource::MakeIdentify("  S1 LEAD"));
    EXPECT_EQ(BuildHardwareText(devices), "S0-SERIAL  S1 LEAD0797B9D45861");

    FakeDeviceSource noBios;
    EXPECT_EQ(BuildBiosPart(noBios), "");
}

TEST(HardwareString, IsTheLowerCaseDigestCutToTheBuffer) {
    FakeDeviceSource devices;
    devices.SetDrive(0, FakeDeviceSource::MakeIdentify("S0-SERIAL"));
    devices.SetDrive(1, FakeDeviceSource::MakeIdentify("  S1 LEAD"));
    devices.SetBios(PatternedBios());

    char16_t buffer[64];
    ASSERT_TRUE(GetHardwareString(buffer, std::size(buffer), devices));
    EXPECT_EQ(os::Utf16ToUtf8(buffer), "89a8a6639613eddb84afbe6f9d3805f1");

    char16_t small[9];
    ASSERT_TRUE(GetHardwareString(small, std::size(small), devices));
    EXPECT_EQ(os::Utf16ToUtf8(small), "89a8a663");

    char16_t untouched[2] = {u'x', u'y'};
    EXPECT_FALSE(GetHardwareString(untouched, 0, devices));
    EXPECT_FALSE(GetHardwareString(nullptr, 10, devices));
    EXPECT_EQ(untouched[0], u'x');

    FakeDeviceSource nothing;
    ASSERT_TRUE(GetHardwareString(buffer, std::size(buffer), nothing));
    EXPECT_EQ(os::Utf16ToUtf8(buffer), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(MachineCodeComposition, IsTheUpperCaseHalfOfTheDigestOfTheHexDigest) {
    FakeDeviceSource devices;
    devices.SetDrive(0, FakeDeviceSource::MakeIdentify("S0-SERIAL"));
    devices.SetDrive(1, FakeDeviceSource::MakeIdentify("  S1 LEAD"));
    devices.SetBios(PatternedBios());
    EXPECT_EQ(ComputeMachineCode(devices), "647C44FE9063C3CD");

    // No readable disk and no BIOS: the digest of the empty text, not "1".
    FakeDeviceSource nothing;
    EXPECT_EQ(ComputeMachineCode(nothing), "74BE16979710D4C4");
}

TEST(HardwareText, AReadableSerialIsPreferredAndTheDriveIsThenNotAsked) {
    FakeDeviceSource devices;
    devices.SetReadableSerial(0, "READABLE0");
    devices.SetDrive(0, FakeDeviceSource::MakeIdentify("IDENTIFY0"));
    devices.SetDrive(2, FakeDeviceSource::MakeIdentify("  IDENTIFY2"));
    devices.SetReadableSerial(3, "READABLE3");
    devices.SetScsiTarget(0, 0, FakeDeviceSource::MakeIdentify("NVME"));
    EXPECT_EQ(BuildDiskPart(devices), "READABLE0  IDENTIFY2READABLE3");
    EXPECT_EQ(devices.DriveQueries(), 2);  // drives 1 and 2
    EXPECT_EQ(devices.ScsiQueries(), 0);
}

TEST(HardwareText, TheMachineIdStandsInOnlyWhenNothingElseIsThere) {
    FakeDeviceSource devices;
    devices.SetMachineId("3d1219c7c4c5404aaa1f6d2a48adfda4");
    EXPECT_EQ(BuildHardwareText(devices), "3d1219c7c4c5404aaa1f6d2a48adfda4");
    EXPECT_NE(ComputeMachineCode(devices), "74BE16979710D4C4");

    FakeDeviceSource withBios = devices;
    withBios.SetBios(PatternedBios());
    EXPECT_EQ(BuildHardwareText(withBios), "0797B9D45861");
    FakeDeviceSource withSerial = devices;
    withSerial.SetReadableSerial(1, "S1");
    EXPECT_EQ(BuildHardwareText(withSerial), "S1");
    FakeDeviceSource withNvme = devices;
    withNvme.SetScsiTarget(1, 1, FakeDeviceSource::MakeIdentify("P1T1"));
    EXPECT_EQ(BuildHardwareText(withNvme), "P1T1");

    // An overlong identity text is cut like any hardware text.
    FakeDeviceSource huge;
    huge.SetMachineId(std::string(5000, 'm'));
    EXPECT_EQ(BuildHardwareText(huge).size(), 4096u);
}

// The machine code composed from a fake tree of the files the Linux device
// source reads.
class MachineCodeFromDeviceTree : public vtest::SandboxTest {
  protected:
    std::string CodeOfTree(const std::string& name,
                           const std::vector<std::pair<std::string, std::string>>& files) {
        const std::string root = sandbox.Root() + "/" + name;
        std::filesystem::create_directories(root + "/sys/block");
        for (const auto& [path, text] : files) {
            vtest::WriteFile(root + path, text);
        }
        const os::LinuxDeviceSource devices(os::LinuxDeviceSource::Locations::Under(root));
        return ComputeMachineCode(devices);
    }
};

TEST_F(MachineCodeFromDeviceTree, SerialsAnyUserCanReadEachMakeTheirOwnCode) {
    const std::string empty = CodeOfTree("empty", {});
    EXPECT_EQ(empty, "74BE16979710D4C4");  // no source at all, not even a machine id
    const std::string virtio = CodeOfTree("virtio", {{"/sys/block/vda/serial", "1806632879167965\n"}});
    const std::string card = CodeOfTree("card", {{"/sys/block/mmcblk0/device/serial", "0x1a2b3c4d\n"}});
    const std::string sata = CodeOfTree(
        "sata",
        {{"/sys/block/sda/dev", "8:0\n"}, {"/run/udev/data/b8:0", "E:ID_SERIAL_SHORT=WD-WCC4N1234567\n"}});
    const std::string nvme = CodeOfTree("nvme", {{"/sys/class/nvme/nvme0/serial", "S4EWNX0R123456      \n"},
                                                 {"/sys/class/nvme/nvme0/model", "SSD\n"}});
    const std::set<std::string> codes = {empty, virtio, card, sata, nvme};
    EXPECT_EQ(codes.size(), 5u);
    // The same serial gives the same code whichever way it was read.
    FakeDeviceSource identify;
    identify.SetDrive(0, FakeDeviceSource::MakeIdentify("1806632879167965"));
    EXPECT_EQ(ComputeMachineCode(identify), virtio);
}

TEST_F(MachineCodeFromDeviceTree, WithNothingReadableTheCodeFollowsTheMachineId) {
    const std::string first = CodeOfTree(
        "first", {{"/etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n"}, {"/sys/block/vda/serial", ""}});
    const std::string second =
        CodeOfTree("second", {{"/etc/machine-id", "0f5e8b3ac1d24e7f9a6b2c3d4e5f6a7b\n"}});
    EXPECT_NE(first, second);
    EXPECT_NE(first, "74BE16979710D4C4");
    EXPECT_NE(second, "74BE16979710D4C4");
    FakeDeviceSource same;
    same.SetMachineId("3d1219c7c4c5404aaa1f6d2a48adfda4");
    EXPECT_EQ(ComputeMachineCode(same), first);
}

class MachineCodeStore : public vtest::SandboxTest {
  protected:
    static void StoreUid(std::string_view text) {
        ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, kMachineKey, kMachineCodeValue, text));
    }
};

TEST_F(MachineCodeStore, BuildWritesSixteenCharactersAsThirtyTwoBytesWithoutNul) {
    FakeDeviceSource devices;
    devices.SetDrive(0, FakeDeviceSource::MakeIdentify("S0-SERIAL"));
    devices.SetDrive(1, FakeDeviceSource::MakeIdentify("  S1 LEAD"));
    devices.SetBios(PatternedBios());
    const std::string before =
        MachineCode();  // NOLINT(performance-unnecessary-copy-initialization): a snapshot
    BuildMachineCode(devices);

    DWORD type = 0;
    char16_t data[40] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, u"software\\VANTO", u"UID", &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 32u);
    EXPECT_EQ(std::u16string(data, 16), u"647C44FE9063C3CD");
    EXPECT_EQ(LoadMachineCode(), "647C44FE9063C3CD");
    // The process-wide copy belongs to the start of the run.
    EXPECT_EQ(MachineCode(), before);
}

TEST_F(MachineCodeStore, OnlyAValueOfExactlySixteenCharactersIsAccepted) {
    EXPECT_EQ(LoadMachineCode(), "");
    StoreUid("0123456789ABCDE");
    EXPECT_EQ(LoadMachineCode(), "");
    StoreUid("0123456789ABCDEF0");
    EXPECT_EQ(LoadMachineCode(), "");
    StoreUid("");
    EXPECT_EQ(LoadMachineCode(), "");
    StoreUid("0123456789ABCDEF");
    EXPECT_EQ(LoadMachineCode(), "0123456789ABCDEF");
    // Sixteen characters are counted, not bytes.
    StoreUid("模板模板模板模板模板模板模板模板");
    EXPECT_EQ(LoadMachineCode(), "模板模板模板模板模板模板模板模板");
    // A value too large for the 520-byte buffer cannot be read.
    StoreUid(std::string(300, 'A'));
    EXPECT_EQ(LoadMachineCode(), "");
}

TEST_F(MachineCodeStore, AValueWithATerminatorIsReadUpToIt) {
    const char16_t withNul[] = u"FEDCBA9876543210";
    ASSERT_EQ(SHSetValueW(HKEY_LOCAL_MACHINE, u"Software\\vanto", u"uid", REG_SZ, withNul, sizeof withNul),
              ERROR_SUCCESS);
    EXPECT_EQ(LoadMachineCode(), "FEDCBA9876543210");
}

// When started with VANTO_IDENTITY_PROBE set, this program prints the
// process-wide copy during static initialisation and ends there, so a test
// can see what a fresh process loads before main.
[[maybe_unused]] const bool g_probe = [] {
    if (std::getenv("VANTO_IDENTITY_PROBE") != nullptr) {
        std::printf("[%s]", MachineCode().c_str());
        std::fflush(stdout);
        _exit(0);
    }
    return true;
}();

std::string ProbeFreshProcess() {
    const vtest::ProcessResult result = vtest::RunProcess({std::filesystem::read_symlink("/proc/self/exe")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

TEST_F(MachineCodeStore, AFreshProcessLoadsTheCopyBeforeMain) {
    sandbox.SetEnv("VANTO_IDENTITY_PROBE", "1");
    EXPECT_EQ(ProbeFreshProcess(), "[]");
    StoreUid("0123456789ABCDEF");
    EXPECT_EQ(ProbeFreshProcess(), "[0123456789ABCDEF]");
    StoreUid("0123456789ABCDEF0");
    EXPECT_EQ(ProbeFreshProcess(), "[]");
}

}  // namespace

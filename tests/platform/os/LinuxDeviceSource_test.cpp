#include "platform/os/LinuxDeviceSource.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "support/Sandbox.h"

namespace {

using os::linuxdev::AtaPassThroughSucceeded;

std::string Serial(const os::IdentifyData& data) {
    std::string text;
    for (std::size_t i = 20; i < 40; i += 2) {
        text += static_cast<char>(data[i + 1]);
        text += static_cast<char>(data[i]);
    }
    return text;
}

TEST(LinuxDrives, FirstFourWholeDisksInKernelNameOrder) {
    EXPECT_EQ(
        os::linuxdev::SelectPhysicalDrives({"sdb", "loop0", "sda", "nvme0n1", "sr0", "sdaa", "sdc", "dm-0"}),
        (std::vector<std::string>{"sda", "sdb", "sdc", "sdaa"}));
    EXPECT_EQ(os::linuxdev::SelectPhysicalDrives({"sdz", "sdaa", "hdb", "sda", "hda", "sda1", "sd"}),
              (std::vector<std::string>{"hda", "hdb", "sda", "sdz"}));
    EXPECT_TRUE(os::linuxdev::SelectPhysicalDrives({".", "..", "vda", "mmcblk0"}).empty());
}

TEST(LinuxDrives, NvmeControllersInNumericOrder) {
    EXPECT_EQ(os::linuxdev::SelectNvmeControllers(
                  {"nvme10", "nvme2", "nvme0n1", "nvme-fabrics", "nvme0", "nvme1", "nvme3", "nvme"}),
              (std::vector<std::string>{"nvme0", "nvme1", "nvme2", "nvme3"}));
}

TEST(LinuxDrives, NvmeTextsFillTheIdentifyFieldsInDriveByteOrder) {
    const os::IdentifyData data =
        os::linuxdev::IdentifyFromNvmeTexts("S4EWNX0R123456      \n", "Fast SSD 1TB\n");
    EXPECT_EQ(Serial(data), "S4EWNX0R123456      ");
    EXPECT_EQ(data[os::kIdentifyModelOffset], 'a');  // "Fa": 'F' high byte, 'a' low byte
    EXPECT_EQ(data[os::kIdentifyModelOffset + 1], 'F');
    EXPECT_EQ(data[os::kIdentifyModelOffset + 39], ' ');

    const os::IdentifyData longSerial = os::linuxdev::IdentifyFromNvmeTexts("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "");
    EXPECT_EQ(Serial(longSerial), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(longSerial[os::kIdentifyModelOffset], 0);
}

TEST(LinuxDrives, KernelIdentityTextsAreSwappedBackToDriveOrder) {
    os::IdentifyData kernel{};
    const std::string serial = "WD-WCC4N1234567     ";
    std::copy(serial.begin(), serial.end(), kernel.begin() + 20);
    kernel[0] = 0x40;
    kernel[1] = 0x0C;
    const os::IdentifyData data = os::linuxdev::IdentifyFromKernelIdentity(kernel);
    EXPECT_EQ(Serial(data), serial);
    EXPECT_EQ(data[0], 0x40);  // numeric words stay as they are
    EXPECT_EQ(data[1], 0x0C);
}

TEST(LinuxDrives, IdentifyCommandBlockAsksForOneBlockFromTheDevice) {
    const auto cdb = os::linuxdev::AtaIdentifyCdb(0xA1);
    EXPECT_EQ(cdb[0], 0x85);
    EXPECT_EQ(cdb[1], 0x08);
    EXPECT_EQ(cdb[2], 0x0E);
    EXPECT_EQ(cdb[6], 1);
    EXPECT_EQ(cdb[14], 0xA1);
}

TEST(LinuxDrives, PassThroughOutcomeReadFromStatusAndSense) {
    EXPECT_TRUE(AtaPassThroughSucceeded(0, 0, 0, nullptr, 0));
    EXPECT_FALSE(AtaPassThroughSucceeded(0, 7, 0, nullptr, 0));  // host error
    EXPECT_FALSE(AtaPassThroughSucceeded(0x02, 0, 0x08, nullptr, 0));

    std::uint8_t sense[22] = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C};
    sense[8 + 13] = 0x50;  // ATA status: ready, seek complete
    EXPECT_TRUE(AtaPassThroughSucceeded(0x02, 0, 0x08, sense, sizeof sense));
    sense[8 + 13] = 0x51;  // error bit set
    EXPECT_FALSE(AtaPassThroughSucceeded(0x02, 0, 0x08, sense, sizeof sense));
    // Truncated sense never reads past its length.
    EXPECT_FALSE(AtaPassThroughSucceeded(0x02, 0, 0x08, sense, 12));
    std::uint8_t aborted[18] = {0x72, 0x0B, 0x00, 0x00};
    EXPECT_FALSE(AtaPassThroughSucceeded(0x02, 0, 0x08, aborted, sizeof aborted));
}

class LinuxDeviceTree : public vtest::SandboxTest {
  protected:
    os::LinuxDeviceSource Source() const {
        const std::string root = sandbox.Root();
        return os::LinuxDeviceSource(
            {root + "/sys/block", root + "/dev", root + "/sys/class/nvme", root + "/mem"});
    }
};

TEST_F(LinuxDeviceTree, NvmeControllersAnswerAsScsiTargets) {
    const std::string nvme = sandbox.Root() + "/sys/class/nvme";
    vtest::WriteFile(nvme + "/nvme1/serial", "SECOND              \n");
    vtest::WriteFile(nvme + "/nvme1/model", "Model Two\n");
    vtest::WriteFile(nvme + "/nvme0/serial", "FIRST               \n");
    const os::LinuxDeviceSource source = Source();

    const auto first = source.IdentifyScsiTarget(0, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(Serial(*first), "FIRST               ");
    EXPECT_EQ((*first)[os::kIdentifyModelOffset], 0);  // model unreadable
    const auto second = source.IdentifyScsiTarget(0, 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(Serial(*second), "SECOND              ");
    EXPECT_FALSE(source.IdentifyScsiTarget(1, 0));
    EXPECT_FALSE(source.IdentifyScsiTarget(2, 0));
    EXPECT_FALSE(source.IdentifyScsiTarget(0, -1));
}

TEST_F(LinuxDeviceTree, DrivesThatAreNoDevicesGiveNothing) {
    vtest::WriteFile(sandbox.Root() + "/sys/block/sda/size", "100\n");
    vtest::WriteFile(sandbox.Root() + "/dev/sda", std::string(4096, 'x'));  // a plain file refuses the ioctls
    const os::LinuxDeviceSource source = Source();
    EXPECT_FALSE(source.IdentifyPhysicalDrive(0));
    EXPECT_FALSE(source.IdentifyPhysicalDrive(1));
    EXPECT_FALSE(source.IdentifyPhysicalDrive(-1));
    EXPECT_FALSE(source.IdentifyPhysicalDrive(4));
}

TEST_F(LinuxDeviceTree, BiosAreaIsReadAtItsPhysicalOffset) {
    std::string memory(0xFE000 + 4096, '\0');
    for (std::size_t i = 0; i < 4096; ++i) {
        memory[0xFE000 + i] = static_cast<char>(i % 251);
    }
    vtest::WriteFile(sandbox.Root() + "/mem", memory);
    const auto area = Source().ReadBiosArea();
    ASSERT_TRUE(area);
    EXPECT_EQ((*area)[0], 0);
    EXPECT_EQ((*area)[300], 300 % 251);
    EXPECT_EQ((*area)[4095], 4095 % 251);

    // One byte short, or no file at all: no BIOS area.
    vtest::WriteFile(sandbox.Root() + "/mem", memory.substr(0, memory.size() - 1));
    EXPECT_FALSE(Source().ReadBiosArea());
    EXPECT_FALSE(os::linuxdev::ReadBiosAreaFrom(sandbox.Root() + "/absent", 0xFE000));
}

TEST(LinuxDeviceSource, RealDevicesNeverFail) {
    // Whatever this machine allows, every query just answers or not.
    const os::DeviceSource& source = os::SystemDeviceSource();
    for (int drive = -1; drive <= 4; ++drive) {
        (void)source.IdentifyPhysicalDrive(drive);
    }
    (void)source.IdentifyScsiTarget(0, 0);
    if (getuid() != 0) {
        EXPECT_FALSE(source.ReadBiosArea());
    }
}

}  // namespace

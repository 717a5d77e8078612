#include "platform/os/LinuxDeviceSource.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

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
    EXPECT_TRUE(os::linuxdev::SelectPhysicalDrives({".", "..", "loop0", "zram0", "xvda", "md0"}).empty());
}

TEST(LinuxDrives, VirtioDisksAndCardsFollowTheAtaAndScsiDisks) {
    EXPECT_EQ(os::linuxdev::SelectPhysicalDrives(
                  {"mmcblk0", "vdb", "mmcblk0boot0", "vda", "mmcblk0rpmb", "sdb", "vdaa", "hda"}),
              (std::vector<std::string>{"hda", "sdb", "vda", "vdb"}));
    EXPECT_EQ(os::linuxdev::SelectPhysicalDrives({"mmcblk10", "mmcblk2", "mmcblk0boot1", "vdz", "vdaa"}),
              (std::vector<std::string>{"vdz", "vdaa", "mmcblk2", "mmcblk10"}));
}

TEST(LinuxDrives, SerialTextsLoseTrailingBlanksAndEndAtANul) {
    EXPECT_EQ(os::linuxdev::CleanSerial("  S1 LEAD  \n"), "  S1 LEAD");
    EXPECT_EQ(os::linuxdev::CleanSerial(std::string_view("AB\0CD", 5)), "AB");
    EXPECT_EQ(os::linuxdev::CleanSerial(" \t\r\n"), std::nullopt);
    EXPECT_EQ(os::linuxdev::CleanSerial(""), std::nullopt);
}

TEST(LinuxDrives, UdevRecordGivesTheFirstShortSerial) {
    const std::string record =
        "S:disk/by-id/ata-WDC_WD10EZEX_WD-WCC4N1234567\n"
        "E:ID_SERIAL=WDC_WD10EZEX_WD-WCC4N1234567\n"
        "E:ID_SERIAL_SHORT=WD-WCC4N1234567\n"
        "E:ID_SERIAL_SHORT=second\n";
    EXPECT_EQ(os::linuxdev::UdevSerial(record), "WD-WCC4N1234567");
    // Not a line start, another key, no value, a last line without line feed.
    EXPECT_EQ(os::linuxdev::UdevSerial("S:x E:ID_SERIAL_SHORT=no\nE:ID_SERIAL_SHORTER=no\n"), std::nullopt);
    EXPECT_EQ(os::linuxdev::UdevSerial("E:ID_SERIAL_SHORT=\nE:ID_SERIAL_SHORT=late"), std::nullopt);
    EXPECT_EQ(os::linuxdev::UdevSerial("I:1\nE:ID_SERIAL_SHORT=QM00001\r"), "QM00001");
    EXPECT_EQ(os::linuxdev::UdevSerial(""), std::nullopt);
}

TEST(LinuxDrives, RecordNamesComeOnlyFromPlainDeviceNumbers) {
    EXPECT_EQ(os::linuxdev::UdevRecordName("8:0\n"), "b8:0");
    EXPECT_EQ(os::linuxdev::UdevRecordName("259:12"), "b259:12");
    for (const char* bad :
         {"", "8", "8:", ":0", "8:0:1", "-8:0", "8: 0", "8:0\n\n", "../8:0", "8:0/x", "1234567890:0"}) {
        EXPECT_EQ(os::linuxdev::UdevRecordName(bad), std::nullopt) << bad;
    }
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
        return os::LinuxDeviceSource(os::LinuxDeviceSource::Locations::Under(sandbox.Root()));
    }
    void Put(const std::string& path, const std::string& text) const {
        vtest::WriteFile(sandbox.Root() + path, text);
    }
};

TEST_F(LinuxDeviceTree, EveryLocationLiesBelowTheRoot) {
    const auto where = os::LinuxDeviceSource::Locations::Under("/r");
    EXPECT_EQ(where.sysBlock, "/r/sys/block");
    EXPECT_EQ(where.devFolder, "/r/dev");
    EXPECT_EQ(where.nvmeClass, "/r/sys/class/nvme");
    EXPECT_EQ(where.physicalMemory, "/r/dev/mem");
    EXPECT_EQ(where.udevData, "/r/run/udev/data");
    EXPECT_EQ(where.machineId, "/r/etc/machine-id");
}

TEST_F(LinuxDeviceTree, ReadableSerialsComeFromSysfsAttributesThenTheUdevRecord) {
    // sda: a SATA disk whose serial only the device manager's record tells.
    Put("/sys/block/sda/dev", "8:0\n");
    Put("/run/udev/data/b8:0", "S:disk/by-id/ata-X\nE:ID_SERIAL_SHORT=WD-WCC4N1234567\nE:ID_TYPE=disk\n");
    // sdb: no record; vda: virtio, serial on the disk; vdb: an empty serial,
    // but a record (the kernel attribute comes first, then the record).
    Put("/sys/block/sdb/dev", "8:16\n");
    Put("/sys/block/vda/serial", "1806632879167965\n");
    Put("/sys/block/vdb/serial", "");
    Put("/sys/block/vdb/dev", "254:16\n");
    Put("/run/udev/data/b254:16", "E:ID_SERIAL_SHORT=FROM-RECORD\n");
    const os::LinuxDeviceSource source = Source();
    EXPECT_EQ(source.ReadableDriveSerial(0), "WD-WCC4N1234567");
    EXPECT_EQ(source.ReadableDriveSerial(1), std::nullopt);
    EXPECT_EQ(source.ReadableDriveSerial(2), "1806632879167965");
    EXPECT_EQ(source.ReadableDriveSerial(3), "FROM-RECORD");
    EXPECT_EQ(source.ReadableDriveSerial(4), std::nullopt);
    EXPECT_EQ(source.ReadableDriveSerial(-1), std::nullopt);
    // The virtio disk is no ATA disk: nothing asks it for IDENTIFY data.
    Put("/dev/vda", std::string(4096, 'x'));
    EXPECT_FALSE(source.IdentifyPhysicalDrive(2));
}

TEST_F(LinuxDeviceTree, CardSerialsSitOnTheirDevice) {
    Put("/sys/block/mmcblk0/device/serial", "0x1a2b3c4d\n");
    Put("/sys/block/mmcblk0boot0/device/serial", "0x1a2b3c4d\n");
    const os::LinuxDeviceSource source = Source();
    EXPECT_EQ(source.ReadableDriveSerial(0), "0x1a2b3c4d");
    EXPECT_EQ(source.ReadableDriveSerial(1), std::nullopt);
}

TEST_F(LinuxDeviceTree, ARecordThatIsNoRegularFileIsNotRead) {
    Put("/sys/block/sda/dev", "8:0\n");
    std::filesystem::create_directories(sandbox.Root() + "/run/udev/data");
    // Nobody writes into the FIFO: a reader that waited for a writer would hang here.
    ASSERT_EQ(mkfifo((sandbox.Root() + "/run/udev/data/b8:0").c_str(), 0600), 0);
    EXPECT_EQ(Source().ReadableDriveSerial(0), std::nullopt);
}

TEST_F(LinuxDeviceTree, MachineIdIsTheFileTextWithoutItsLineFeed) {
    EXPECT_EQ(Source().MachineIdText(), std::nullopt);
    Put("/etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    EXPECT_EQ(Source().MachineIdText(), "3d1219c7c4c5404aaa1f6d2a48adfda4");
    Put("/etc/machine-id", "\n");
    EXPECT_EQ(Source().MachineIdText(), std::nullopt);
}

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
    vtest::WriteFile(sandbox.Root() + "/dev/mem", memory);
    const auto area = Source().ReadBiosArea();
    ASSERT_TRUE(area);
    EXPECT_EQ((*area)[0], 0);
    EXPECT_EQ((*area)[300], 300 % 251);
    EXPECT_EQ((*area)[4095], 4095 % 251);

    // One byte short, or no file at all: no BIOS area.
    vtest::WriteFile(sandbox.Root() + "/dev/mem", memory.substr(0, memory.size() - 1));
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
    for (int drive = -1; drive <= 4; ++drive) {
        if (const std::optional<std::string> serial = source.ReadableDriveSerial(drive)) {
            EXPECT_FALSE(serial->empty());
        }
    }
    (void)source.MachineIdText();
    if (getuid() != 0) {
        EXPECT_FALSE(source.ReadBiosArea());
    }
}

}  // namespace

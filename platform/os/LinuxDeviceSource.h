#pragma once
// The device source on Linux.
//
// Physical drives 0-3 are the first four whole disks in /sys/block named
// hd<letters>, sd<letters> (the ATA and SCSI disks), vd<letters> (virtio) or
// mmcblk<N> (eMMC and SD cards), ordered by that kind (hd, sd, vd, mmcblk),
// then by the length of the letter suffix, then alphabetically (hda, hdb,
// sda, ..., sdz, sdaa, vda), the cards by their number. The numbering
// therefore follows the kernel's names and does not depend on the order in
// which the directory lists them.
//
// The readable serial of a drive is, in this order: the kernel's `serial`
// attribute of the disk (virtio: /sys/block/vda/serial) or of its device
// (eMMC, NVMe: /sys/block/<name>/device/serial), then the device manager's
// record /run/udev/data/b<major>:<minor> ("E:ID_SERIAL_SHORT=<serial>"
// lines), which holds the serials of ATA and SCSI disks for every user to
// read. Both need no rights, so root and an ordinary user read the same.
//
// An hd or sd drive is asked for its IDENTIFY data through the kernel's
// identify ioctl (HDIO_GET_IDENTITY) and, when that fails, through an SG_IO
// ATA PASS-THROUGH of IDENTIFY DEVICE and then IDENTIFY PACKET DEVICE. Both
// need root.
//
// The SCSI-port route is served by NVMe controllers, whose serial and model
// the kernel publishes in /sys/class/nvme/nvme<N>/{serial,model}: controller
// k of the numerically ordered list is port k / 2, target k % 2. Both fields
// have the same widths as the IDENTIFY fields and are placed there.
//
// The BIOS area is read from /dev/mem at offset 0xFE000; without root the
// kernel refuses and the area is absent. The machine id is the text of
// /etc/machine-id.
//
// The locations are parameters so that tests can point the source at a fake
// tree of files (Locations::Under a root folder).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/os/DeviceSource.h"

namespace os {

class LinuxDeviceSource : public DeviceSource {
  public:
    struct Locations {
        std::string sysBlock = "/sys/block";
        std::string devFolder = "/dev";
        std::string nvmeClass = "/sys/class/nvme";
        std::string physicalMemory = "/dev/mem";
        std::string udevData = "/run/udev/data";
        std::string machineId = "/etc/machine-id";

        // Every location below `root`, e.g. <root>/sys/block.
        static Locations Under(const std::string& root);
    };

    LinuxDeviceSource() = default;
    explicit LinuxDeviceSource(Locations locations) : m_locations(std::move(locations)) {}

    std::optional<std::string> ReadableDriveSerial(int drive) const override;
    std::optional<IdentifyData> IdentifyPhysicalDrive(int drive) const override;
    std::optional<IdentifyData> IdentifyScsiTarget(int port, int target) const override;
    std::optional<BiosArea> ReadBiosArea() const override;
    std::optional<std::string> MachineIdText() const override;

  private:
    // The block device name of physical drive 0-3, or nothing.
    std::optional<std::string> DriveName(int drive) const;

    Locations m_locations;
};

namespace linuxdev {

// The block device names that become physical drives 0-3, in drive order.
std::vector<std::string> SelectPhysicalDrives(std::vector<std::string> blockNames);

// A serial as an attribute or record holds it: cut at the first NUL, trailing
// blanks and line ends removed; nothing when no text is left.
std::optional<std::string> CleanSerial(std::string_view text);

// The ID_SERIAL_SHORT value of a device manager record (lines "E:KEY=VALUE"
// among lines of other kinds), cleaned as above; the first such line counts.
std::optional<std::string> UdevSerial(std::string_view record);

// The name of a block device's record in the device manager's data folder,
// "b<major>:<minor>", made from the device number in the disk's sysfs "dev"
// attribute ("8:0\n"); nothing when that text is no device number.
std::optional<std::string> UdevRecordName(std::string_view deviceNumber);

// The NVMe controller names (nvme<N>) in numeric order, at most four.
std::vector<std::string> SelectNvmeControllers(std::vector<std::string> names);

// IDENTIFY data made of an NVMe controller's sysfs "serial" and "model"
// texts (trailing line feed removed). An empty model leaves the model field
// zero, which the SCSI route reads as "no device".
IdentifyData IdentifyFromNvmeTexts(std::string_view serial, std::string_view model);

// HDIO_GET_IDENTITY hands the text fields back in reading order (the kernel
// swaps each word's bytes); this restores the drive's own layout so that all
// routes deliver the same bytes.
IdentifyData IdentifyFromKernelIdentity(const IdentifyData& kernelData);

// The ATA PASS-THROUGH (16) command block of an IDENTIFY command (0xEC or
// 0xA1): PIO data-in, 512 bytes in one block, length in the sector count.
std::array<std::uint8_t, 16> AtaIdentifyCdb(std::uint8_t command);

// Whether an SG_IO ATA PASS-THROUGH completed without error, from the SCSI
// status, the host and driver status and the sense data. A translator may
// answer CHECK CONDITION with "ATA pass-through information available"; that
// counts as success when the returned ATA status has no error bit.
bool AtaPassThroughSucceeded(std::uint8_t scsiStatus, std::uint16_t hostStatus, std::uint16_t driverStatus,
                             const std::uint8_t* sense, std::size_t senseLength);

// 4096 bytes read at `offset` of a file; nullopt when it cannot be opened or
// holds fewer bytes there.
std::optional<BiosArea> ReadBiosAreaFrom(const std::string& path, std::uint64_t offset);

}  // namespace linuxdev
}  // namespace os

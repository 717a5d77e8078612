#pragma once
// The hardware that the machine code is made from: the serials of the
// physical drives as any process can read them, the IDENTIFY data of those
// drives, the same data asked for through the SCSI-port route, the BIOS
// bytes at physical address 0xFE000, and the machine's identity text for a
// machine that offers none of these.
//
// Every query answers nothing (nullopt) when the device cannot be opened or
// refuses the request; no failure is ever reported otherwise. The machine
// code composition takes a source as a parameter so that tests can hand it
// fake devices.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace os {

// The 512 bytes of an ATA IDENTIFY (PACKET) DEVICE answer, as the drive sends
// them: 256 little-endian words. Text fields (serial: words 10-19, model:
// words 27-46) hold two characters per word, the first in the high byte.
using IdentifyData = std::array<std::uint8_t, 512>;

// The BIOS area: 4096 bytes from physical address 0xFE000.
using BiosArea = std::array<std::uint8_t, 4096>;

constexpr int kPhysicalDriveCount = 4;  // drives 0-3
constexpr int kScsiPortCount = 2;       // ports 0-1
constexpr int kScsiTargetCount = 2;     // targets 0-1 on each port
constexpr std::uint64_t kBiosAreaAddress = 0xFE000;

// Byte offsets of the IDENTIFY text fields.
constexpr std::size_t kIdentifySerialOffset = 20;  // words 10-19, 20 characters
constexpr std::size_t kIdentifySerialLength = 20;
constexpr std::size_t kIdentifyModelOffset = 54;  // words 27-46, 40 characters
constexpr std::size_t kIdentifyModelLength = 40;

class DeviceSource {
  public:
    virtual ~DeviceSource() = default;

    // The serial of physical drive 0-3 as any process may read it (no
    // administrator rights needed), as text without trailing
    // blanks. Nothing when the drive has no such serial or it is empty.
    virtual std::optional<std::string> ReadableDriveSerial(int drive) const = 0;

    // IDENTIFY data of physical drive 0-3.
    virtual std::optional<IdentifyData> IdentifyPhysicalDrive(int drive) const = 0;

    // IDENTIFY data of a target (0-1) behind a SCSI port (0-1).
    virtual std::optional<IdentifyData> IdentifyScsiTarget(int port, int target) const = 0;

    // The 4096 BIOS bytes, when the physical memory can be read.
    virtual std::optional<BiosArea> ReadBiosArea() const = 0;

    // The text that names this installation of the system (its machine id),
    // without trailing blanks; nothing when it is missing or empty.
    virtual std::optional<std::string> MachineIdText() const = 0;
};

// The machine's own devices (the Linux implementation); lives for the whole
// process.
const DeviceSource& SystemDeviceSource();

// Writes `text` into an IDENTIFY text field the way a drive does: two
// characters per word, the first in the high byte, padded with spaces to
// `length` characters (an even number). A longer text is cut.
void PutIdentifyText(IdentifyData& data, std::size_t offset, std::size_t length, std::string_view text);

}  // namespace os

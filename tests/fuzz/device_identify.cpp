// Fuzzes what the devices hand back: readable serials, IDENTIFY blocks of
// drives and SCSI targets, BIOS bytes, the machine id, SG_IO sense data and
// NVMe sysfs texts.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "identity/MachineCode.h"
#include "platform/os/LinuxDeviceSource.h"

namespace {

// Devices whose answers are cut from the fuzz input: two control bytes say
// which of them answer, then 512-byte blocks, texts and the BIOS bytes follow.
class InputDevices : public os::DeviceSource {
  public:
    InputDevices(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::optional<std::string> ReadableDriveSerial(int drive) const override { return Text(8 + drive); }
    std::optional<os::IdentifyData> IdentifyPhysicalDrive(int drive) const override { return Block(drive); }
    std::optional<os::IdentifyData> IdentifyScsiTarget(int port, int target) const override {
        return Block(4 + port * 2 + target);
    }
    std::optional<os::BiosArea> ReadBiosArea() const override {
        if (m_size == 0 || (m_data[0] & 0x80) == 0) {
            return std::nullopt;
        }
        os::BiosArea area{};
        std::memcpy(area.data(), m_data, std::min(m_size, area.size()));
        return area;
    }
    std::optional<std::string> MachineIdText() const override { return Text(12); }

  private:
    bool Answers(int slot) const {
        if (m_size < 2) {
            return false;
        }
        const unsigned mask = static_cast<unsigned>(m_data[0]) | (static_cast<unsigned>(m_data[1]) << 8);
        return (mask & (1u << slot)) != 0;
    }

    // Up to 64 bytes of the input as a text, which may hold any byte.
    std::optional<std::string> Text(int slot) const {
        if (!Answers(slot)) {
            return std::nullopt;
        }
        const std::size_t start = std::min(m_size, 2 + static_cast<std::size_t>(slot) * 37);
        return std::string(reinterpret_cast<const char*>(m_data + start),
                           std::min<std::size_t>(m_size - start, 64));
    }

    std::optional<os::IdentifyData> Block(int slot) const {
        if (!Answers(slot)) {
            return std::nullopt;
        }
        os::IdentifyData block{};
        const std::size_t start = std::min(m_size, 2 + static_cast<std::size_t>(slot) * 64);
        std::memcpy(block.data(), m_data + start, std::min(m_size - start, block.size()));
        return block;
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const InputDevices devices(data, size);
    const std::string text = BuildHardwareText(devices);
    if (text.size() > 4096) {
        __builtin_trap();
    }
    char16_t buffer[33];
    GetHardwareString(buffer, std::size(buffer), devices);

    std::uint8_t status = size > 0 ? data[0] : 0;
    (void)os::linuxdev::AtaPassThroughSucceeded(status, 0, 0x08, data, size);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const os::IdentifyData nvme =
        os::linuxdev::IdentifyFromNvmeTexts(input.substr(0, size / 2), input.substr(size / 2));
    (void)os::linuxdev::IdentifyFromKernelIdentity(nvme);
    return 0;
}

#include "support/FakeDeviceSource.h"

namespace vtest {

os::IdentifyData FakeDeviceSource::MakeIdentify(std::string_view serial, std::string_view model) {
    os::IdentifyData data{};
    // Spelled out here rather than borrowed from the code under test, so a
    // byte-order slip there cannot cancel out.
    const auto put = [&data](std::size_t offset, std::size_t length, std::string_view text) {
        for (std::size_t i = 0; i < length; i += 2) {
            data[offset + i + 1] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
            data[offset + i] = i + 1 < text.size() ? static_cast<std::uint8_t>(text[i + 1]) : ' ';
        }
    };
    put(20, 20, serial);
    if (!model.empty()) {
        put(54, 40, model);
    }
    return data;
}

std::optional<std::string> FakeDeviceSource::ReadableDriveSerial(int drive) const {
    const auto it = m_serials.find(drive);
    return it == m_serials.end() ? std::nullopt : std::optional(it->second);
}

std::optional<os::IdentifyData> FakeDeviceSource::IdentifyPhysicalDrive(int drive) const {
    ++m_driveQueries;
    const auto it = m_drives.find(drive);
    return it == m_drives.end() ? std::nullopt : std::optional(it->second);
}

std::optional<os::IdentifyData> FakeDeviceSource::IdentifyScsiTarget(int port, int target) const {
    ++m_scsiQueries;
    const auto it = m_scsi.find({port, target});
    return it == m_scsi.end() ? std::nullopt : std::optional(it->second);
}

std::optional<os::BiosArea> FakeDeviceSource::ReadBiosArea() const {
    return m_bios;
}

}  // namespace vtest

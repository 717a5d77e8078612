#pragma once
// Fake hardware for the machine-code tests: readable drive serials, drives,
// SCSI targets, a BIOS area and a machine id that a test sets up, and a
// count of the questions asked.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/os/DeviceSource.h"

namespace vtest {

class FakeDeviceSource : public os::DeviceSource {
  public:
    // IDENTIFY data whose serial field holds `serial` as a drive stores it
    // (two characters per word, high byte first), padded with spaces to 20
    // characters, and whose model field holds `model` (nothing when empty).
    static os::IdentifyData MakeIdentify(std::string_view serial, std::string_view model = "FAKE DISK");

    void SetReadableSerial(int drive, std::string serial) { m_serials[drive] = std::move(serial); }
    void SetDrive(int drive, const os::IdentifyData& data) { m_drives[drive] = data; }
    void SetScsiTarget(int port, int target, const os::IdentifyData& data) { m_scsi[{port, target}] = data; }
    void SetBios(const os::BiosArea& area) { m_bios = area; }
    void SetMachineId(std::string text) { m_machineId = std::move(text); }

    std::optional<std::string> ReadableDriveSerial(int drive) const override;
    std::optional<os::IdentifyData> IdentifyPhysicalDrive(int drive) const override;
    std::optional<os::IdentifyData> IdentifyScsiTarget(int port, int target) const override;
    std::optional<os::BiosArea> ReadBiosArea() const override;
    std::optional<std::string> MachineIdText() const override { return m_machineId; }

    int DriveQueries() const { return m_driveQueries; }
    int ScsiQueries() const { return m_scsiQueries; }

  private:
    std::map<int, std::string> m_serials;
    std::map<int, os::IdentifyData> m_drives;
    std::map<std::pair<int, int>, os::IdentifyData> m_scsi;
    std::optional<os::BiosArea> m_bios;
    std::optional<std::string> m_machineId;
    mutable int m_driveQueries = 0;
    mutable int m_scsiQueries = 0;
};

}  // namespace vtest

#include "platform/os/LinuxDeviceSource.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hdreg.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/os/FileIo.h"
#include "platform/os/UniqueFd.h"

namespace os {
namespace {

// Attributes and records are a line or a few dozen lines; anything larger
// is no attribute of ours.
constexpr std::size_t kAttributeLimit = 4096;
constexpr std::size_t kUdevRecordLimit = 65536;

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

std::optional<std::string> ReadAttribute(const std::string& path) {
    return ReadWholeFile(path, kAttributeLimit);
}

bool AllZero(const IdentifyData& data) {
    return std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b == 0; });
}

bool IsLowerLetters(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool IsDigits(std::string_view text) {
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The kinds of whole disks that count as physical drives, in drive order.
enum class DiskKind { Ide, Scsi, Virtio, Card, None };

DiskKind KindOf(std::string_view name) {
    if (name.starts_with("hd") && IsLowerLetters(name.substr(2))) {
        return DiskKind::Ide;
    }
    if (name.starts_with("sd") && IsLowerLetters(name.substr(2))) {
        return DiskKind::Scsi;
    }
    if (name.starts_with("vd") && IsLowerLetters(name.substr(2))) {
        return DiskKind::Virtio;
    }
    // mmcblk0boot0 and mmcblk0rpmb are parts of card 0, not cards.
    if (name.starts_with("mmcblk") && IsDigits(name.substr(6))) {
        return DiskKind::Card;
    }
    return DiskKind::None;
}

std::optional<IdentifyData> IdentifyThroughSgIo(int fd, std::uint8_t command) {
    IdentifyData data{};
    std::array<std::uint8_t, 16> cdb = linuxdev::AtaIdentifyCdb(command);
    std::uint8_t sense[32] = {};
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = SG_DXFER_FROM_DEV;
    header.cmd_len = static_cast<unsigned char>(cdb.size());
    header.mx_sb_len = sizeof sense;
    header.dxfer_len = static_cast<unsigned int>(data.size());
    header.dxferp = data.data();
    header.cmdp = cdb.data();
    header.sbp = sense;
    header.timeout = 10000;  // milliseconds, as the miniport request allows
    if (ioctl(fd, SG_IO, &header) != 0 || header.resid != 0) {
        return std::nullopt;
    }
    if (!linuxdev::AtaPassThroughSucceeded(header.status, header.host_status, header.driver_status, sense,
                                           header.sb_len_wr)) {
        return std::nullopt;
    }
    return data;
}

}  // namespace

LinuxDeviceSource::Locations LinuxDeviceSource::Locations::Under(const std::string& root) {
    Locations locations;
    for (std::string* path : {&locations.sysBlock, &locations.devFolder, &locations.nvmeClass,
                              &locations.physicalMemory, &locations.udevData, &locations.machineId}) {
        *path = root + *path;
    }
    return locations;
}

std::optional<std::string> LinuxDeviceSource::DriveName(int drive) const {
    if (drive < 0 || drive >= kPhysicalDriveCount) {
        return std::nullopt;
    }
    std::vector<std::string> drives = linuxdev::SelectPhysicalDrives(ListFolder(m_locations.sysBlock));
    if (static_cast<std::size_t>(drive) >= drives.size()) {
        return std::nullopt;
    }
    return std::move(drives[static_cast<std::size_t>(drive)]);
}

std::optional<std::string> LinuxDeviceSource::ReadableDriveSerial(int drive) const {
    const std::optional<std::string> name = DriveName(drive);
    if (!name) {
        return std::nullopt;
    }
    const std::string disk = m_locations.sysBlock + "/" + *name;
    for (const char* attribute : {"/serial", "/device/serial"}) {
        if (const std::optional<std::string> text = ReadAttribute(disk + attribute)) {
            if (std::optional<std::string> serial = linuxdev::CleanSerial(*text)) {
                return serial;
            }
        }
    }
    const std::optional<std::string> number = ReadAttribute(disk + "/dev");
    const std::optional<std::string> record = number ? linuxdev::UdevRecordName(*number) : std::nullopt;
    if (!record) {
        return std::nullopt;
    }
    const std::optional<std::string> text =
        ReadWholeFile(m_locations.udevData + "/" + *record, kUdevRecordLimit);
    return text ? linuxdev::UdevSerial(*text) : std::nullopt;
}

std::optional<IdentifyData> LinuxDeviceSource::IdentifyPhysicalDrive(int drive) const {
    const std::optional<std::string> name = DriveName(drive);
    // The ATA commands are for ATA and SCSI disks only.
    if (!name || (KindOf(*name) != DiskKind::Ide && KindOf(*name) != DiskKind::Scsi)) {
        return std::nullopt;
    }
    const std::string path = m_locations.devFolder + "/" + *name;
    // Read-only and non-blocking: an empty removable drive must not hold us up.
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.Valid()) {
        return std::nullopt;
    }
    IdentifyData kernelData{};
    if (ioctl(fd.Get(), HDIO_GET_IDENTITY, kernelData.data()) == 0 && !AllZero(kernelData)) {
        return linuxdev::IdentifyFromKernelIdentity(kernelData);
    }
    for (std::uint8_t command : {std::uint8_t{0xEC}, std::uint8_t{0xA1}}) {
        std::optional<IdentifyData> data = IdentifyThroughSgIo(fd.Get(), command);
        // Some bridges report success and deliver nothing; that is no answer.
        if (data && !AllZero(*data)) {
            return data;
        }
    }
    return std::nullopt;
}

std::optional<IdentifyData> LinuxDeviceSource::IdentifyScsiTarget(int port, int target) const {
    if (port < 0 || port >= kScsiPortCount || target < 0 || target >= kScsiTargetCount) {
        return std::nullopt;
    }
    const std::vector<std::string> controllers =
        linuxdev::SelectNvmeControllers(ListFolder(m_locations.nvmeClass));
    const std::size_t index =
        static_cast<std::size_t>(port) * kScsiTargetCount + static_cast<std::size_t>(target);
    if (index >= controllers.size()) {
        return std::nullopt;
    }
    const std::string folder = m_locations.nvmeClass + "/" + controllers[index];
    const std::optional<std::string> serial = ReadAttribute(folder + "/serial");
    if (!serial) {
        return std::nullopt;
    }
    const std::optional<std::string> model = ReadAttribute(folder + "/model");
    return linuxdev::IdentifyFromNvmeTexts(*serial, model.value_or(std::string()));
}

std::optional<BiosArea> LinuxDeviceSource::ReadBiosArea() const {
    return linuxdev::ReadBiosAreaFrom(m_locations.physicalMemory, kBiosAreaAddress);
}

std::optional<std::string> LinuxDeviceSource::MachineIdText() const {
    const std::optional<std::string> text = ReadAttribute(m_locations.machineId);
    return text ? linuxdev::CleanSerial(*text) : std::nullopt;
}

namespace linuxdev {

std::vector<std::string> SelectPhysicalDrives(std::vector<std::string> blockNames) {
    std::erase_if(blockNames, [](const std::string& name) { return KindOf(name) == DiskKind::None; });
    std::sort(blockNames.begin(), blockNames.end(), [](const std::string& a, const std::string& b) {
        const DiskKind aKind = KindOf(a);
        const DiskKind bKind = KindOf(b);
        if (aKind != bKind) {
            return aKind < bKind;
        }
        // Letter suffixes: shorter first, then alphabetically (sdz before
        // sdaa); card numbers of up to nine digits compare the same way.
        if (a.size() != b.size()) {
            return a.size() < b.size();
        }
        return a < b;
    });
    blockNames.erase(std::unique(blockNames.begin(), blockNames.end()), blockNames.end());
    if (blockNames.size() > static_cast<std::size_t>(kPhysicalDriveCount)) {
        blockNames.resize(kPhysicalDriveCount);
    }
    return blockNames;
}

std::optional<std::string> CleanSerial(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r' || text.back() == '\v' || text.back() == '\f')) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    return std::string(text);
}

std::optional<std::string> UdevSerial(std::string_view record) {
    constexpr std::string_view kKey = "E:ID_SERIAL_SHORT=";
    while (!record.empty()) {
        const std::size_t end = std::min(record.find('\n'), record.size());
        const std::string_view line = record.substr(0, end);
        if (line.starts_with(kKey)) {
            return CleanSerial(line.substr(kKey.size()));
        }
        record.remove_prefix(std::min(end + 1, record.size()));
    }
    return std::nullopt;
}

std::optional<std::string> UdevRecordName(std::string_view deviceNumber) {
    if (deviceNumber.ends_with('\n')) {
        deviceNumber.remove_suffix(1);
    }
    const std::size_t colon = deviceNumber.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view major = deviceNumber.substr(0, colon);
    const std::string_view minor = deviceNumber.substr(colon + 1);
    // Plain decimal numbers only: no sign, blank or other character that could
    // lead the record name out of its folder.
    if (!IsDigits(major) || !IsDigits(minor)) {
        return std::nullopt;
    }
    return "b" + std::string(major) + ":" + std::string(minor);
}

std::vector<std::string> SelectNvmeControllers(std::vector<std::string> names) {
    std::erase_if(names, [](const std::string& name) {
        return !name.starts_with("nvme") || !IsDigits(std::string_view(name).substr(4));
    });
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::stol(a.substr(4)) < std::stol(b.substr(4));
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    const std::size_t limit = std::size_t{kScsiPortCount} * kScsiTargetCount;
    if (names.size() > limit) {
        names.resize(limit);
    }
    return names;
}

IdentifyData IdentifyFromNvmeTexts(std::string_view serial, std::string_view model) {
    const auto withoutLineFeed = [](std::string_view text) {
        if (text.ends_with('\n')) {
            text.remove_suffix(1);
        }
        return text;
    };
    serial = withoutLineFeed(serial);
    model = withoutLineFeed(model);
    IdentifyData data{};
    PutIdentifyText(data, kIdentifySerialOffset, kIdentifySerialLength, serial);
    if (!model.empty()) {
        PutIdentifyText(data, kIdentifyModelOffset, kIdentifyModelLength, model);
    }
    return data;
}

IdentifyData IdentifyFromKernelIdentity(const IdentifyData& kernelData) {
    IdentifyData data = kernelData;
    // Serial (words 10-19), firmware revision (23-26) and model (27-46).
    const std::pair<std::size_t, std::size_t> textWords[] = {{10, 20}, {23, 47}};
    for (const auto& [first, end] : textWords) {
        for (std::size_t word = first; word < end; ++word) {
            std::swap(data[2 * word], data[2 * word + 1]);
        }
    }
    return data;
}

std::array<std::uint8_t, 16> AtaIdentifyCdb(std::uint8_t command) {
    std::array<std::uint8_t, 16> cdb{};
    cdb[0] = 0x85;                // ATA PASS-THROUGH (16)
    cdb[1] = 4 << 1;              // protocol: PIO data-in
    cdb[2] = 0x08 | 0x04 | 0x02;  // T_DIR from device, length in blocks, T_LENGTH in sector count
    cdb[6] = 1;                   // sector count: one 512-byte block
    cdb[14] = command;
    return cdb;
}

bool AtaPassThroughSucceeded(std::uint8_t scsiStatus, std::uint16_t hostStatus, std::uint16_t driverStatus,
                             const std::uint8_t* sense, std::size_t senseLength) {
    constexpr std::uint16_t kDriverSense = 0x08;
    if (hostStatus != 0 || (driverStatus & ~kDriverSense) != 0) {
        return false;
    }
    if (scsiStatus == 0) {
        return true;
    }
    // CHECK CONDITION with descriptor-format sense: RECOVERED ERROR, "ATA
    // pass-through information available" (00h/1Dh), and the ATA status
    // return descriptor (09h) saying the command did not fail.
    constexpr std::uint8_t kCheckCondition = 0x02;
    if (scsiStatus != kCheckCondition || sense == nullptr || senseLength < 8) {
        return false;
    }
    if ((sense[0] & 0x7F) != 0x72 || (sense[1] & 0x0F) != 0x01 || sense[2] != 0x00 || sense[3] != 0x1D) {
        return false;
    }
    const std::size_t end = std::min<std::size_t>(senseLength, 8 + static_cast<std::size_t>(sense[7]));
    for (std::size_t at = 8; at + 2 <= end;) {
        const std::uint8_t code = sense[at];
        const std::size_t length = 2 + static_cast<std::size_t>(sense[at + 1]);
        if (code == 0x09 && length >= 14 && at + 14 <= end) {
            const std::uint8_t status = sense[at + 13];
            constexpr std::uint8_t kErr = 0x01;
            constexpr std::uint8_t kDf = 0x20;
            return (status & (kErr | kDf)) == 0;
        }
        at += length;
    }
    return false;
}

std::optional<BiosArea> ReadBiosAreaFrom(const std::string& path, std::uint64_t offset) {
    // Physical memory is a character device: no regular-file check here.
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.Valid()) {
        return std::nullopt;
    }
    BiosArea area{};
    std::size_t done = 0;
    while (done < area.size()) {
        const ssize_t n =
            pread(fd.Get(), area.data() + done, area.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    return area;
}

}  // namespace linuxdev
}  // namespace os

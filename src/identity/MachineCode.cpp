#include "identity/MachineCode.h"

#include <algorithm>
#include <cstdio>

#include "identity/Crc32.h"
#include "identity/MD5_CTX.h"
#include "platform/os/Registry.h"
#include "platform/os/Text.h"

namespace {

// The hardware text never exceeds the 4096-byte buffer it was built in.
constexpr std::size_t kHardwareTextLimit = 4096;

// Words 10-19 of the IDENTIFY data, each word's high byte first. The text
// ends at a NUL, as the narrow text it is appended to would; trailing spaces
// go, leading spaces stay.
std::string SerialOf(const os::IdentifyData& data) {
    std::string serial;
    for (std::size_t i = 0; i < os::kIdentifySerialLength; i += 2) {
        const std::size_t word = os::kIdentifySerialOffset + i;
        serial.push_back(static_cast<char>(data[word + 1]));
        serial.push_back(static_cast<char>(data[word]));
    }
    serial.resize(std::min(serial.size(), serial.find('\0')));
    while (!serial.empty() && serial.back() == ' ') {
        serial.pop_back();
    }
    return serial;
}

std::string Crc32Hex(const std::uint8_t* data, std::size_t size) {
    char text[9];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(Crc32(data, size)));
    return text;
}

}  // namespace

std::string BuildDiskPart(const os::DeviceSource& devices) {
    std::string part;
    bool anyAnswered = false;
    // Every drive is asked, so several serials join in drive order. The
    // serial any process can read comes first, so that root and an ordinary
    // user compose the same text; the drive itself is asked only without it.
    for (int drive = 0; drive < os::kPhysicalDriveCount; ++drive) {
        if (std::optional<std::string> serial = devices.ReadableDriveSerial(drive)) {
            anyAnswered = true;
            part += *serial;
        } else if (std::optional<os::IdentifyData> data = devices.IdentifyPhysicalDrive(drive)) {
            anyAnswered = true;
            part += SerialOf(*data);
        }
    }
    if (anyAnswered) {
        return part;
    }
    for (int port = 0; port < os::kScsiPortCount; ++port) {
        for (int target = 0; target < os::kScsiTargetCount; ++target) {
            std::optional<os::IdentifyData> data = devices.IdentifyScsiTarget(port, target);
            // A target without a model name is an empty slot.
            if (data && (*data)[os::kIdentifyModelOffset] != 0) {
                part += SerialOf(*data);
            }
        }
    }
    return part;
}

std::string BuildBiosPart(const os::DeviceSource& devices) {
    const std::optional<os::BiosArea> area = devices.ReadBiosArea();
    if (!area) {
        return {};
    }
    return Crc32Hex(area->data(), 2048) + Crc32Hex(area->data() + 1024, 2048);
}

std::string BuildHardwareText(const os::DeviceSource& devices) {
    std::string text = BuildDiskPart(devices);
    text.resize(std::min(text.size(), kHardwareTextLimit));
    text += BuildBiosPart(devices);
    if (text.empty()) {
        text = devices.MachineIdText().value_or(std::string());
    }
    text.resize(std::min(text.size(), kHardwareTextLimit));
    return text;
}

bool GetHardwareString(LPWSTR buffer, std::size_t capacity, const os::DeviceSource& devices) {
    if (buffer == nullptr || capacity == 0) {
        return false;
    }
    const std::u16string hex = os::Utf8ToUtf16(MD5Hex(BuildHardwareText(devices)));
    const std::size_t length = std::min(hex.size(), capacity - 1);
    std::copy_n(hex.begin(), length, buffer);
    buffer[length] = u'\0';
    return true;
}

std::string ComputeMachineCode(const os::DeviceSource& devices) {
    char16_t hardware[256] = {};
    GetHardwareString(hardware, std::size(hardware), devices);
    std::string narrow = os::Utf16ToUtf8(hardware);
    if (narrow.empty()) {
        narrow = "1";
    }
    // The second digest is taken over the 32 hex characters of the first.
    return os::AsciiUpperCopy(MD5Hex(narrow).substr(0, kMachineCodeLength));
}

void BuildMachineCode(const os::DeviceSource& devices) {
    os::RegSetString(HKEY_LOCAL_MACHINE, kMachineKey, kMachineCodeValue, ComputeMachineCode(devices));
}

std::string LoadMachineCode() {
    const std::optional<std::string> text =
        os::RegGetString(HKEY_LOCAL_MACHINE, kMachineKey, kMachineCodeValue, 520);
    if (!text || os::Utf16Length(*text) != kMachineCodeLength) {
        return {};
    }
    return *text;
}

const std::string& MachineCode() {
    static const std::string code = LoadMachineCode();
    return code;
}

namespace {

// Loads the copy during static initialisation, before main runs.
[[maybe_unused]] const bool g_machineCodeLoaded = (MachineCode(), true);

}  // namespace

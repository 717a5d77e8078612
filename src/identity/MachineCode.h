#pragma once
// The machine code: 16 upper-case hexadecimal digits derived from the disk
// serials and the BIOS bytes, kept in the per-machine registry key as "uid".
//
// Composition of the hardware text (at most 4096 characters):
//   disk part  for each physical drive 0-3 in drive order: its serial as any
//              process can read it; for a drive without one, the serial of
//              its IDENTIFY data when it answers (words 10-19, high byte
//              first, cut at a NUL, trailing spaces removed, leading kept).
//              Only when no drive gave either, the IDENTIFY serials of the
//              SCSI-port targets (port 0-1, target 0-1) whose model field's
//              first byte is not 0.
//   BIOS part  "%04X" of the CRC-32 of BIOS bytes 0-2047, then of bytes
//              1024-3071; empty when the BIOS area cannot be read.
// When both parts are empty, the machine's identity text stands in for
// them, so that machines without any readable serial (virtual machines, an
// ordinary user without the rights for the drives) still get codes of their
// own rather than all the digest of the empty text.
// The machine code is the first 16 characters, upper-cased, of the MD5 hex
// of the MD5 hex of that text.

#include <cstddef>
#include <string>
#include <string_view>

#include "config/Settings.h"
#include "platform/os/DeviceSource.h"
#include "platform/os/WinTypes.h"

// Where the machine code lives: HKEY_LOCAL_MACHINE "Software\vanto" "uid".
inline constexpr std::string_view kMachineKey = settings::kClientKey;
inline constexpr std::string_view kMachineCodeValue = settings::kMachineCodeValue;
inline constexpr std::size_t kMachineCodeLength = 16;

// The serials of the drives (or SCSI targets) as the disk part joins them.
std::string BuildDiskPart(const os::DeviceSource& devices);

// The two BIOS checksums, or empty.
std::string BuildBiosPart(const os::DeviceSource& devices);

// Disk part followed by BIOS part, or the machine's identity text when
// both are empty.
std::string BuildHardwareText(const os::DeviceSource& devices);

// Fills `buffer` with the 32-character lower-case MD5 hex of the hardware
// text, cut to capacity - 1 characters and NUL-terminated. Returns false,
// writing nothing, when there is no buffer to write to.
bool GetHardwareString(LPWSTR buffer, std::size_t capacity,
                       const os::DeviceSource& devices = os::SystemDeviceSource());

// The 16-character machine code of these devices.
std::string ComputeMachineCode(const os::DeviceSource& devices = os::SystemDeviceSource());

// Computes the machine code and writes it as "uid" (REG_SZ, 32 bytes, no
// NUL). A failed write is silent. The process-wide copy is not touched.
void BuildMachineCode(const os::DeviceSource& devices = os::SystemDeviceSource());

// Reads "uid" now: the text when the read succeeds with a non-zero size and
// it is exactly 16 characters long, else empty.
std::string LoadMachineCode();

// The process-wide copy, read once before main runs and never changed
// during the run. Safe to read from any thread.
const std::string& MachineCode();

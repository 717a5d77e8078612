#pragma once
// The installation identifier: 32 upper-case hexadecimal digits of a random
// GUID, kept as "kduuid" in the per-machine identifier key. Written once by
// the machine-code preparation run and never replaced by the client.

#include <functional>
#include <string>
#include <string_view>

#include "config/Settings.h"
#include "platform/os/Guid.h"

// Where the identifier lives: HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Ext" "kduuid".
inline constexpr std::string_view kInstallUuidKey = settings::kMachineIdKey;
inline constexpr std::string_view kInstallUuidValue = settings::kInstallUuidValue;

// "%08X%04X%04X" followed by the eight last bytes as "%02X": 32 upper-case
// hexadecimal digits, no dashes, no braces.
std::string FormatGuid(const GUID& guid);

using GuidMaker = std::function<bool(GUID*)>;

// Leaves a readable, non-empty "kduuid" as it is (whatever its text);
// otherwise writes a new one (REG_SZ, 64 bytes, no NUL). When no GUID can be
// made, an empty value is written, which later runs treat as missing.
void EnsureInstallUuid(const GuidMaker& makeGuid = os::CreateGuid);

// The "kduuid" text; empty when it cannot be read.
std::string ReadInstallUuid();

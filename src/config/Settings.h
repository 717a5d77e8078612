#pragma once
// The client's registry values: where each lives, and the shared reads.
// Every value of the client is named here; the component that owns a value's
// behaviour reads and writes it through these names.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/os/Registry.h"

namespace settings {

// The client's own key, under HKEY_CURRENT_USER (per user) and
// HKEY_LOCAL_MACHINE (per machine).
inline constexpr std::string_view kClientKey = "Software\\vanto";
// The per-machine key of the installation identifier.
inline constexpr std::string_view kMachineIdKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext";

// Per user.
inline constexpr std::string_view kAccount = "Account";      // REG_SZ, login token
inline constexpr std::string_view kNickName = "NickName";    // REG_SZ, display name
inline constexpr std::string_view kLoginType = "LoginType";  // REG_DWORD, 1 code, 2 QQ, 3 WeChat
inline constexpr std::string_view kAdId = "AdId";            // REG_SZ, decimal text
inline constexpr std::string_view kVersion = "Version";      // REG_SZ, installed version (also per machine)
inline constexpr std::string_view kSendInstallMessage = "SendInstallMessage";  // presence only
inline constexpr std::string_view kUpdateDay = "UpdateDay";                    // REG_DWORD, day of month
inline constexpr std::string_view kToolboxDay = "ToolboxDay";                  // REG_DWORD, day of month
inline constexpr std::string_view kToolboxVersion = "ToolboxVersion";          // REG_SZ

// Per machine.
inline constexpr std::string_view kInstallerName = "InstallerName";  // REG_SZ, written by the installer
inline constexpr std::string_view kMachineCodeValue = "uid";         // REG_SZ, 16 characters
inline constexpr std::string_view kInstallUuidValue = "kduuid";      // REG_SZ, 32 characters (kMachineIdKey)

// Read buffers in bytes: 259 characters and a NUL, and the token's larger one.
inline constexpr std::size_t kDefaultReadBuffer = 520;
inline constexpr std::size_t kAccountReadBuffer = 8192;

}  // namespace settings

// The advertising id of the installation as text, possibly empty. When the
// per-user "AdId" is missing and `allowInstallerFallback` is set, the id is
// derived from the per-machine "InstallerName" ("Setup_1234.exe" gives
// "1234") and stored as "AdId".
std::string ReadAdId(bool allowInstallerFallback);

// The installer-name rule on its own: the text after the first underscore
// (else the first hyphen) of the file name without its extension, when its
// leading number is greater than 0; empty otherwise.
std::string AdIdFromInstallerName(std::string_view installerName);

// The installed version ("Version"): the per-user value, else the one the
// system package recorded for the machine; empty when neither is there.
std::string ReadProgramVersion();

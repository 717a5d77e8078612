#pragma once
// The registry: the shell's light-weight value functions over two root keys,
// each kept in one SQLite database file.
//
//   HKEY_CURRENT_USER   <per-user data folder>/registry.db
//   HKEY_LOCAL_MACHINE  $VANTO_MACHINE_DIR/registry.db (default /var/lib/vanto)
//
// Key paths ("Software\vanto") and value names compare without regard to
// case. REG_SZ data are UTF-16LE bytes without a terminator, REG_DWORD data 4
// little-endian bytes. Every single operation is atomic across threads and
// processes. A hive that cannot be written makes writes fail quietly, as a
// per-machine write without administrator rights does on Windows. Hive
// locations are taken from the environment at each call.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os/WinTypes.h"

enum class HKEY : std::uintptr_t { };
inline const HKEY HKEY_CURRENT_USER = static_cast<HKEY>(0x80000001u);
inline const HKEY HKEY_LOCAL_MACHINE = static_cast<HKEY>(0x80000002u);

// Reads one value. `data` may be null to ask for the size only. On entry
// *cbData is the buffer's size in bytes; on return it is the value's size.
// A value larger than the buffer fails with ERROR_MORE_DATA and leaves the
// buffer untouched. A missing hive, key or value gives ERROR_FILE_NOT_FOUND.
// `type` may be null.
LSTATUS SHGetValueW(HKEY root, LPCWSTR subKey, LPCWSTR value, DWORD* type, void* data, DWORD* cbData);

// Creates the key when needed and writes one value of the given type and size.
LSTATUS SHSetValueW(HKEY root, LPCWSTR subKey, LPCWSTR value, DWORD type, const void* data, DWORD cbData);

// Deletes one value; a missing value gives ERROR_FILE_NOT_FOUND.
LSTATUS SHDeleteValueW(HKEY root, LPCWSTR subKey, LPCWSTR value);

namespace os {

// Path of the database file that holds a root key.
std::string HivePath(HKEY root);

// UTF-8 conveniences over the functions above, for the client's own code.

// A REG_SZ (or any) value read into a buffer of `bufferBytes` bytes, as the
// client's fixed buffers do: nullopt when the read fails (missing, or larger
// than the buffer). The text stops at the first NUL; a value without
// terminator is taken whole.
std::optional<std::string> RegGetString(HKEY root, std::string_view subKey, std::string_view value,
                                        std::size_t bufferBytes = 520);

// Writes a REG_SZ value: the UTF-16 code units of the text, no terminator.
bool RegSetString(HKEY root, std::string_view subKey, std::string_view value, std::string_view text);

// A REG_DWORD read into a 4-byte buffer; nullopt when the read fails.
std::optional<DWORD> RegGetDword(HKEY root, std::string_view subKey, std::string_view value);

bool RegSetDword(HKEY root, std::string_view subKey, std::string_view value, DWORD data);

// True when the value exists (whatever its type and size).
bool RegValueExists(HKEY root, std::string_view subKey, std::string_view value);

bool RegDeleteValue(HKEY root, std::string_view subKey, std::string_view value);

}  // namespace os

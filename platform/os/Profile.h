#pragma once
// Private-profile (INI) files with the behaviour of the Windows functions:
// section and key names compare without regard to case, blanks around names
// and values are trimmed, one pair of surrounding quotes is removed, the first
// match wins, and the buffer and return-value rules are those of Windows.
//
// Files this code creates are UTF-8; a file that starts with a UTF-16LE byte
// order mark is read and written as UTF-16LE. The last path component is
// matched without regard to letter case ("oem.ini" and "OEM.ini" are one
// file). Writes replace the file atomically (temporary file and rename) and are
// serialised across processes; every line not being changed is kept byte for
// byte.

#include <optional>
#include <string>
#include <string_view>

#include "platform/os/WinTypes.h"

// `section` null: every section name, each NUL-terminated, then one more NUL.
// `key` null: every key of the section, the same way. Otherwise the value of
// the key, or `defaultValue` (null counts as "") when the file, section or key
// is missing. Returns the number of characters copied, without the final NUL;
// see the Windows documentation for the truncation rules (size − 1 for a
// value, size − 2 for the lists).
DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               const char* fileName);

// The value read as an integer the way Windows does it; `defaultValue` when the
// file, section or key is missing.
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, int defaultValue, const char* fileName);

// Writes `value` under `key`. A null value deletes the key; a null key deletes
// the whole section. Creates the file and the section when needed. Returns
// false (and writes nothing) when the file cannot be written, or when a name
// or value could not be read back as written (a line break anywhere, an "="
// in the key).
BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, const char* fileName);

namespace os {

// UTF-8 conveniences for the client's own code.

// The value of [section] key read into a buffer of `capacity` characters, or
// `defaultValue` (both cut to capacity − 1 UTF-16 code units).
std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              const std::string& fileName, std::size_t capacity = 260);

int ReadProfileInt(std::string_view section, std::string_view key, int defaultValue, const std::string& fileName);

// value nullopt deletes the key.
bool WriteProfileString(std::string_view section, std::string_view key, std::optional<std::string_view> value,
                        const std::string& fileName);

}  // namespace os

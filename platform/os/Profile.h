#pragma once
// Private-profile (INI) files with the behaviour of the Windows functions.
//
// Reading: a line's first non-blank character decides what it is: "[" with a
// later "]" opens a section (the name between them, trimmed), ";" starts a
// comment, otherwise the line is a key when it holds an "=" (name before the
// first "=", value after it, both trimmed). Lines without "=" and lines before
// the first section belong to no key. Lines end at CR LF, LF or a lone CR.
// Section and key names compare without regard to case, and the names the
// caller passes are trimmed too. Only the first section of a given name is
// searched, and its first key of a given name wins. A value enclosed in one
// pair of matching quotes (" or ') loses them; an unbalanced quote stays.
//
// Files this code creates are UTF-8 with CR LF line ends; a file that starts
// with a UTF-16LE byte order mark is read and written as UTF-16LE, and a UTF-8
// byte order mark is skipped on reading and kept on writing. The last path
// component is matched without regard to letter case ("oem.ini" and "OEM.ini"
// are one file). Writes replace the file atomically (temporary file in the
// same folder, then rename, the file's mode kept), are serialised across
// processes and threads by a lock on the folder, and keep every line not being
// changed byte for byte. Readers never lock: they see the old or the new file.

#include <optional>
#include <string>
#include <string_view>

#include "platform/os/WinTypes.h"

// `section` null: every section name, each NUL-terminated, then one more NUL.
// `key` null: every key name of the section, the same way; when the section is
// missing or has no keys, the default is copied instead. Otherwise the value of
// the key, or `defaultValue` (null counts as "", trailing spaces removed) when
// the file, section or key is missing.
//
// A value or default is cut to size − 1 characters and NUL-terminated; the
// return value is the number of characters copied without the NUL. A list that
// does not fit, or fits exactly, is cut so that the buffer ends with two NULs,
// and the function returns size − 2. A null buffer or size 0 returns 0 and
// writes nothing.
DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               const char* fileName);

// The value read as an integer the way Windows does it: leading blanks and
// control characters skipped, one optional sign, then "0x", "0o" or "0b" (lower
// case) choose base 16, 8 or 2, otherwise base 10; digits up to the first one
// that does not belong to the base; the result wraps modulo 2^32, so negative
// numbers come back as large UINTs. A value with no digits gives 0.
// `defaultValue` when the file, section or key is missing or the value is
// empty.
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, int defaultValue, const char* fileName);

// Writes `value` under `key`: replaces the value of the first matching key in
// place, or appends the key after the last entry of the first matching section,
// or appends the section at the end of the file (creating the file). A null
// value deletes the key; a null key deletes every section of that name with all
// its lines. Section null with key and value null does nothing and succeeds
// (the Windows cache flush); section null otherwise fails.
//
// Returns FALSE and writes nothing when the file or its folder cannot be
// written, or when the text could not be read back as written: a line break in
// any of the three, an "=" in the key, a key that would read as a comment (";")
// or a section header ("[...]"), a "]" in the section name, or an unpaired
// surrogate bound for a UTF-8 file.
BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, const char* fileName);

namespace os {

// UTF-8 conveniences for the client's own code.

// The value of [section] key read into a buffer of `capacity` characters, or
// `defaultValue` (both cut to capacity − 1 UTF-16 code units, never inside a
// surrogate pair).
std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                              const std::string& fileName, std::size_t capacity = 260);

int ReadProfileInt(std::string_view section, std::string_view key, int defaultValue,
                   const std::string& fileName);

// value nullopt deletes the key.
bool WriteProfileString(std::string_view section, std::string_view key, std::optional<std::string_view> value,
                        const std::string& fileName);

}  // namespace os

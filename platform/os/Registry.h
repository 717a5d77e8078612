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
//
// A hive is an ordinary SQLite database (rollback journal, so that a hive in
// a folder the user cannot write can still be read) that `sqlite3` can
// inspect:
//
//   PRAGMA application_id = 0x56524547 ('VREG'); PRAGMA user_version = 1;
//   reg_keys(id INTEGER PRIMARY KEY, path TEXT, fold TEXT UNIQUE)
//   reg_values(key_id INTEGER REFERENCES reg_keys(id), name TEXT, fold TEXT,
//              type INTEGER, data BLOB NOT NULL, PRIMARY KEY(key_id, fold))
//
// `path` and `name` keep the spelling of the first write; `fold` is the
// upper-case form (per character, Unicode-aware) that lookups compare. A key
// path has no leading or trailing backslash; the empty name is the key's
// default value. `data` holds the bytes exactly as written.
//
//   sqlite3 registry.db "SELECT k.path, v.name, v.type, hex(v.data)
//                        FROM reg_values v JOIN reg_keys k ON k.id = v.key_id"
//
// Reads never create a hive. A file that is not a hive of ours (another
// database, a corrupt file) is never changed: reads find nothing in it and
// writes fail.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/WinTypes.h"

enum class HKEY : std::uintptr_t {};
inline const HKEY HKEY_CURRENT_USER = static_cast<HKEY>(0x80000001u);
inline const HKEY HKEY_LOCAL_MACHINE = static_cast<HKEY>(0x80000002u);

// Reads one value. `data` may be null to ask for the size only. On entry
// *cbData is the buffer's size in bytes; on return it is the value's size.
// A value larger than the buffer fails with ERROR_MORE_DATA and leaves the
// buffer untouched. A missing hive, key or value gives ERROR_FILE_NOT_FOUND.
// `type` may be null; it is set whenever the value exists. `data` without
// `cbData` is ERROR_INVALID_PARAMETER; both null only test for the value.
LSTATUS SHGetValueW(HKEY root, LPCWSTR subKey, LPCWSTR value, DWORD* type, void* data, DWORD* cbData);

// Creates the key when needed and writes one value of the given type and size.
// Writing an existing value keeps the spelling of its name. Errors:
// ERROR_ACCESS_DENIED (folder or hive not writable), ERROR_BADDB,
// ERROR_LOCK_VIOLATION, ERROR_INVALID_PARAMETER (null data with a size).
LSTATUS SHSetValueW(HKEY root, LPCWSTR subKey, LPCWSTR value, DWORD type, const void* data, DWORD cbData);

// Deletes one value; a missing value (or hive) gives ERROR_FILE_NOT_FOUND.
// The key itself stays, as on Windows.
LSTATUS SHDeleteValueW(HKEY root, LPCWSTR subKey, LPCWSTR value);

namespace os {

// Path of the database file that holds a root key; empty for another root.
std::string HivePath(HKEY root);

// One stored value with the spellings of its key path and name as first
// written (for display, e.g. by vanto-reg).
struct RegValue {
    std::string keyPath;
    std::string name;
    DWORD type = REG_NONE;
    std::vector<unsigned char> data;
};

// The whole value, whatever its size; nullopt when it cannot be read.
std::optional<RegValue> RegReadValue(HKEY root, std::string_view subKey, std::string_view value);

// UTF-8 conveniences over the functions above, for the client's own code.

// A REG_SZ (or any) value read into a buffer of `bufferBytes` bytes, as the
// client's fixed buffers do: nullopt when the read fails (missing, or larger
// than the buffer). The text stops at the first NUL; a value without
// terminator is taken whole, and an odd last byte is ignored.
std::optional<std::string> RegGetString(HKEY root, std::string_view subKey, std::string_view value,
                                        std::size_t bufferBytes = 520);

// Writes a REG_SZ value: the UTF-16 code units of the text, no terminator.
bool RegSetString(HKEY root, std::string_view subKey, std::string_view value, std::string_view text);

// A REG_DWORD read into a zeroed 4-byte buffer, as the client reads straight
// into its integers: nullopt when the read fails (missing, or longer than 4
// bytes); a shorter value fills the low bytes.
std::optional<DWORD> RegGetDword(HKEY root, std::string_view subKey, std::string_view value);

bool RegSetDword(HKEY root, std::string_view subKey, std::string_view value, DWORD data);

// True when the value exists (whatever its type and size).
bool RegValueExists(HKEY root, std::string_view subKey, std::string_view value);

bool RegDeleteValue(HKEY root, std::string_view subKey, std::string_view value);

}  // namespace os

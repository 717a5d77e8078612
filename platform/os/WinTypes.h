#pragma once
// The Windows-shaped scalar types and status codes that the client's code is
// written against. Text parameters of the "...W" functions are UTF-16
// (`const char16_t*`), exactly as the Windows functions take them; the
// client's own code holds UTF-8 and goes through the helpers in Text.h.

#include <cstdint>

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using LSTATUS = long;
using UINT = unsigned int;
using BOOL = int;
using WCHAR = char16_t;
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;

constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_LOCK_VIOLATION = 33;  // another writer held the file too long
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_MORE_DATA = 234;
constexpr LSTATUS ERROR_BADDB = 1009;  // a registry hive that is corrupt or not ours

using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

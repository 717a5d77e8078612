#pragma once
// Resources linked into the program: byte blocks that a build step embeds
// (the skin archive is one) and registers under a type name and a numeric
// id, found again the way the Windows resource functions find them. A
// program built without a block links all the same and finds nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/WinTypes.h"

namespace os {

// The bytes of one resource; {nullptr, 0} when the program carries none.
struct ResourceBytes {
    const void* data = nullptr;
    std::size_t size = 0;
};

// Records an embedded block under (type, id); called by the embedding
// object's static initialiser (and by tests). Type names compare without
// regard to ASCII letter case, as Windows resource types do. Registering a
// pair again replaces its bytes. The bytes are not copied: they must live as
// long as the program. A null type, or data null with a non-zero size, is
// refused (false). Safe from any thread.
bool RegisterResource(std::string_view type, unsigned id, const void* data, std::size_t size);

// The block registered under (type, id), or {nullptr, 0}. Safe from any thread.
ResourceBytes FindResourceBytes(std::string_view type, unsigned id);

}  // namespace os

// ---- the Windows resource functions over the table above -----------------

namespace os {
struct ProgramModule;  // never defined: a module handle is only a token
struct ResourceEntry;  // one entry of the table (Resource.cpp)
}  // namespace os

using LPCSTR = const char*;
using HMODULE = os::ProgramModule*;
using HRSRC = os::ResourceEntry*;
using HGLOBAL = void*;

// A numeric resource name or type in a text parameter, as Windows encodes it:
// the number itself in the pointer's place (the low 16 bits).
inline LPCSTR MAKEINTRESOURCEA(WORD id) {
    return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(id));  // NOLINT(performance-no-int-to-ptr)
}
inline bool IS_INTRESOURCE(LPCSTR p) {
    return (reinterpret_cast<std::uintptr_t>(p) >> 16) == 0;
}

// The program has one module: `module` is accepted as null (the program) or
// any handle and always means the program. `name` is a numeric id
// (MAKEINTRESOURCEA) or its text form "#202"; `type` a type name such as
// "DATA" (or a numeric type, looked up as "#n"). Null when there is none.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
// The handle whose bytes LockResource gives; null for a null `info`.
HGLOBAL LoadResource(HMODULE module, HRSRC info);
// The size in bytes; 0 for a null `info`.
DWORD SizeofResource(HMODULE module, HRSRC info);
// The first byte of the resource; null for a null handle.
void* LockResource(HGLOBAL data);

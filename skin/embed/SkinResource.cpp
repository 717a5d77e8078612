// The built-in skin archive, linked into the program as the resource of type
// "DATA", id 202 (what the start-up's skin lookup asks for).

#include <cstdint>

#include "platform/os/Resource.h"

#ifndef VANTO_SKIN_ARCHIVE
#error "VANTO_SKIN_ARCHIVE must name the zipped skin"
#endif

// The archive's bytes in this object's read-only data. The build makes the
// object depend on the archive, so a layout edit re-assembles it.
asm(".pushsection .rodata.vanto_skin_archive,\"a\",@progbits\n"
    ".balign 16\n"
    ".globl vanto_skin_archive_begin\n"
    ".hidden vanto_skin_archive_begin\n"
    "vanto_skin_archive_begin:\n"
    ".incbin \"" VANTO_SKIN_ARCHIVE
    "\"\n"
    ".globl vanto_skin_archive_end\n"
    ".hidden vanto_skin_archive_end\n"
    "vanto_skin_archive_end:\n"
    ".popsection\n");

extern "C" const unsigned char vanto_skin_archive_begin[];
extern "C" const unsigned char vanto_skin_archive_end[];

namespace {

constexpr const char* kSkinResourceType = "DATA";
constexpr unsigned kSkinResourceId = 202;

std::size_t ArchiveSize() {
    // Two labels of one block: their distance is its size (compared as
    // addresses, since they are distinct objects to the compiler).
    return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(vanto_skin_archive_end) -
                                    reinterpret_cast<std::uintptr_t>(vanto_skin_archive_begin));
}

[[maybe_unused]] const bool kRegistered =
    os::RegisterResource(kSkinResourceType, kSkinResourceId, vanto_skin_archive_begin, ArchiveSize());

}  // namespace

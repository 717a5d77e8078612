#include "platform/os/Resource.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <list>
#include <mutex>

#include "platform/os/Text.h"

// Every registered block. An entry, once made, stays where it is for the
// life of the program (a std::list never moves its elements), because the
// Windows-shaped functions hand out pointers to it as HRSRC and HGLOBAL.
struct os::ResourceEntry {
    std::string type;  // upper case
    unsigned id = 0;
    const void* data = nullptr;
    std::size_t size = 0;
};

namespace {

struct ResourceTable {
    std::mutex lock;
    std::list<os::ResourceEntry> entries;
};

// Built on first use, so registrations from other objects' static
// initialisers never run before it exists.
ResourceTable& Table() {
    static ResourceTable table;
    return table;
}

HRSRC FindEntry(std::string_view type, unsigned id) {
    const std::string key = os::AsciiUpperCopy(type);
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (os::ResourceEntry& entry : table.entries) {
        if (entry.id == id && entry.type == key) {
            return &entry;
        }
    }
    return nullptr;
}

// "#202" → 202; anything else (no digits, a sign, junk, overflow) → false.
bool ParseNumericName(LPCSTR text, unsigned& id) {
    if (text == nullptr || text[0] != '#' || text[1] < '0' || text[1] > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text + 1, &end, 10);
    if (errno != 0 || *end != '\0' || value > std::numeric_limits<WORD>::max()) {
        return false;
    }
    id = static_cast<unsigned>(value);
    return true;
}

}  // namespace

namespace os {

bool RegisterResource(std::string_view type, unsigned id, const void* data, std::size_t size) {
    if (type.empty() || (data == nullptr && size != 0)) {
        return false;
    }
    const std::string key = os::AsciiUpperCopy(type);
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (os::ResourceEntry& entry : table.entries) {
        if (entry.id == id && entry.type == key) {
            entry.data = data;
            entry.size = size;
            return true;
        }
    }
    table.entries.push_back(os::ResourceEntry{key, id, data, size});
    return true;
}

ResourceBytes FindResourceBytes(std::string_view type, unsigned id) {
    const HRSRC entry = FindEntry(type, id);
    if (entry == nullptr) {
        return {};
    }
    std::lock_guard<std::mutex> guard(Table().lock);
    return {entry->data, entry->size};
}

}  // namespace os

HRSRC FindResourceA(HMODULE /*module*/, LPCSTR name, LPCSTR type) {
    if (name == nullptr || type == nullptr) {
        return nullptr;
    }
    unsigned id = 0;
    if (IS_INTRESOURCE(name)) {
        id = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(name));
    } else if (!ParseNumericName(name, id)) {
        // Only numbered resources are ever registered.
        return nullptr;
    }
    const std::string typeName = IS_INTRESOURCE(type)
                                     ? "#" + std::to_string(reinterpret_cast<std::uintptr_t>(type))
                                     : std::string(type);
    return FindEntry(typeName, id);
}

HGLOBAL LoadResource(HMODULE /*module*/, HRSRC info) {
    return info;
}

DWORD SizeofResource(HMODULE /*module*/, HRSRC info) {
    if (info == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(Table().lock);
    // A block beyond 4 GiB cannot be described by the Windows size type.
    return info->size > std::numeric_limits<DWORD>::max() ? 0 : static_cast<DWORD>(info->size);
}

void* LockResource(HGLOBAL data) {
    if (data == nullptr) {
        return nullptr;
    }
    const auto* entry = static_cast<const os::ResourceEntry*>(data);
    std::lock_guard<std::mutex> guard(Table().lock);
    // The Windows function hands out a writable pointer to read-only pages
    // as well; callers only read.
    return const_cast<void*>(entry->data);
}

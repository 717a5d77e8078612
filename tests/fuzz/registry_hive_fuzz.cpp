// A hive file is outside input: another program, a disk fault or a user may
// leave anything at its path. Whatever the bytes, reads and writes must not
// crash, and a write that fails must leave the file exactly as it was.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/os/Registry.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A temporary machine folder for the whole run, removed at exit. Plain
// storage, so that it outlives every static destructor the exit runs.
char g_machineFolder[256];

void RemoveMachineFolder() {
    std::error_code ec;
    std::filesystem::remove_all(g_machineFolder, ec);
}

void MakeMachineFolder() {
    if (g_machineFolder[0] != '\0') {
        return;
    }
    const std::string pattern = (std::filesystem::temp_directory_path() / "vanto-fuzz-XXXXXX").string();
    if (pattern.size() >= sizeof g_machineFolder) {
        std::abort();
    }
    pattern.copy(g_machineFolder, pattern.size());
    if (mkdtemp(g_machineFolder) == nullptr) {
        std::abort();
    }
    setenv("VANTO_MACHINE_DIR", g_machineFolder, 1);
    std::atexit(RemoveMachineFolder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MakeMachineFolder();
    const std::string hive = os::HivePath(HKEY_LOCAL_MACHINE);
    std::remove((hive + "-journal").c_str());
    {
        std::ofstream out(hive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string before(reinterpret_cast<const char*>(data), size);

    os::RegGetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid");
    os::RegGetDword(HKEY_LOCAL_MACHINE, "Software\\vanto", "UpdateDay");
    DWORD needed = 0;
    SHGetValueW(HKEY_LOCAL_MACHINE, u"Software\\vanto", u"", nullptr, nullptr, &needed);

    if (!os::RegSetString(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid", "0123456789ABCDEF")) {
        if (ReadAll(hive) != before) {
            std::fputs("a failed write changed the hive file\n", stderr);
            std::abort();
        }
    } else if (os::RegGetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\VANTO", "UID") != "0123456789ABCDEF") {
        std::fputs("a successful write cannot be read back\n", stderr);
        std::abort();
    }
    os::RegDeleteValue(HKEY_LOCAL_MACHINE, "Software\\vanto", "uid");
    return 0;
}

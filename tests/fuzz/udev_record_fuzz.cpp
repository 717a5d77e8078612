// Fuzzes the device manager's records and the sysfs texts that the readable
// drive serials come from: the input is written as the record of a fake
// disk and read back through the device source, and is also handed to the
// parsers directly as a record, a device number and a serial attribute.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/FileIo.h"
#include "platform/os/LinuxDeviceSource.h"

namespace {

// A plain overwrite: fast enough for every input, unlike an atomic replace.
bool Overwrite(const std::string& path, std::string_view bytes) {
    const os::UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    return fd.Valid() && os::WriteAll(fd.Get(), bytes);
}

// A fake tree made once per process: disk sda, device number 8:0, whose
// record the input becomes.
struct FakeTree {
    FakeTree() {
        char pattern[] = "/tmp/vanto-udev-fuzz-XXXXXX";
        root = mkdtemp(pattern) != nullptr ? pattern : "";
        for (const char* folder :
             {"/sys", "/sys/block", "/sys/block/sda", "/run", "/run/udev", "/run/udev/data"}) {
            mkdir((root + folder).c_str(), 0700);
        }
        Overwrite(root + "/sys/block/sda/dev", "8:0\n");
    }
    ~FakeTree() {
        if (root.empty()) {
            return;
        }
        unlink((root + "/sys/block/sda/dev").c_str());
        unlink((root + "/run/udev/data/b8:0").c_str());
        for (const char* folder :
             {"/sys/block/sda", "/sys/block", "/sys", "/run/udev/data", "/run/udev", "/run", ""}) {
            rmdir((root + folder).c_str());
        }
    }
    FakeTree(const FakeTree&) = delete;
    FakeTree& operator=(const FakeTree&) = delete;
    std::string root;
};

void CheckSerial(const std::optional<std::string>& serial, std::size_t inputSize) {
    if (!serial) {
        return;
    }
    const std::string_view text = *serial;
    if (text.empty() || text.size() > inputSize || text.find('\0') != std::string_view::npos ||
        text.back() == ' ' || text.back() == '\n') {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FakeTree tree;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    CheckSerial(os::linuxdev::UdevSerial(input), size);
    CheckSerial(os::linuxdev::CleanSerial(input), size);
    if (const std::optional<std::string> name = os::linuxdev::UdevRecordName(input)) {
        // Only "b<digits>:<digits>": nothing that could leave the data folder.
        if (name->size() < 4 || (*name)[0] != 'b' ||
            name->find_first_not_of("b0123456789:") != std::string::npos) {
            __builtin_trap();
        }
    }

    if (!tree.root.empty() && Overwrite(tree.root + "/run/udev/data/b8:0", input)) {
        const os::LinuxDeviceSource source(os::LinuxDeviceSource::Locations::Under(tree.root));
        const std::optional<std::string> serial = source.ReadableDriveSerial(0);
        if (serial != os::linuxdev::UdevSerial(input)) {
            __builtin_trap();
        }
    }
    return 0;
}
